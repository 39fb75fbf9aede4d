#!/usr/bin/env bash
# Makes filesystem.qix and filesystem.cfg from the tree filesystem/ beside this script.
#   examples/make-filesystem.sh
# The configuration is CP1252 with CR LF lines; the image is the files' bytes back to back in
# the order of their FILE_NAME lines. Names are sorted bytewise, so the same tree always gives
# the same two files. Hidden names (.gitkeep, which keeps "empty" in git) are left out.
set -euo pipefail
cd "$(dirname "$0")"
export LC_ALL=C

tree=filesystem
version="ZRK410 EXAMPLE"  # at most 16 bytes, padded with blanks
release="R1.00"           # at most 12 bytes, padded with blanks
if [ ${#version} -gt 16 ] || [ ${#release} -gt 12 ]; then
    echo "version or release version too long" >&2
    exit 1
fi

# Paths on the phone, from its root: "/docs", "/docs/notes.txt". Sorting puts every directory
# before its children.
list() {
    find "$tree" -mindepth 1 -type "$1" ! -path '*/.*' -printf '/%P\0' | sort -z
}

cfg=$(mktemp)
qix=$(mktemp)
trap 'rm -f "$cfg" "$qix" filesystem.cfg.new' EXIT

printf 'QIXVERSION : %-16s\r\n' "$version" >"$cfg"
printf 'QIXRELEASEVERSION : %-12s\r\n' "$release" >>"$cfg"
while IFS= read -r -d '' dir; do
    # The downloader takes directory names of up to 61 bytes in UTF-8.
    [ ${#dir} -le 61 ] || { echo "directory name too long: $dir" >&2; exit 1; }
    printf 'DIR_NAME : %s\r\n' "$dir" >>"$cfg"
done < <(list d)
while IFS= read -r -d '' file; do
    [ ${#file} -le 499 ] || { echo "file name too long: $file" >&2; exit 1; }
    printf 'FILE_NAME : %s\r\nFILE_SIZE : %d\r\n' "$file" "$(wc -c <"$tree$file")" >>"$cfg"
    cat "$tree$file" >>"$qix"
done < <(list f)

# Fails on a name that CP1252 cannot hold rather than writing a configuration that lies.
iconv -f UTF-8 -t CP1252 "$cfg" >filesystem.cfg.new
mv filesystem.cfg.new filesystem.cfg
cp "$qix" filesystem.qix
echo "filesystem.cfg and filesystem.qix ($(wc -c <filesystem.qix) bytes)"
