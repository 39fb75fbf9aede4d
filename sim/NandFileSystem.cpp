#include "sim/NandFileSystem.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace zrk::sim {

namespace fs = std::filesystem;

namespace {
constexpr std::uint32_t kPageSize = 2048;
constexpr std::uint32_t kFileNodes = 1024;
constexpr std::uint32_t kFsType = 0x51495846;  // "QIXF"

void putLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putBe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putBe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
bool isTrailingBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
}  // namespace

PackedTime packTime(int year, int month, int day, int hour, int minute, int second) {
    PackedTime t;
    t.date =
        static_cast<std::uint16_t>(((year - 1980) & 0x7F) << 9 | (month & 0xF) << 5 | (day & 0x1F));
    t.time = static_cast<std::uint16_t>((hour & 0x1F) << 11 | (minute & 0x3F) << 5 |
                                        ((second / 2) & 0x1F));
    return t;
}

NandFileSystem::NandFileSystem(std::uint32_t pageCount, std::uint32_t seed)
    : m_PageCount(pageCount), m_Seed(seed) {
    format();
}

std::string NandFileSystem::normalise(std::string_view raw) {
    if (auto nul = raw.find('\0'); nul != std::string_view::npos)
        raw = raw.substr(0, nul);
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= raw.size()) {
        std::size_t end = raw.find('/', pos);
        if (end == std::string_view::npos)
            end = raw.size();
        std::string part(raw.substr(pos, end - pos));
        while (!part.empty() && isTrailingBlank(part.back()))
            part.pop_back();
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        pos = end + 1;
    }
    std::string out;
    for (const auto& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

std::string NandFileSystem::parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool NandFileSystem::makeDirectory(const std::string& path, PackedTime when) {
    const std::string p = normalise(path);
    if (auto it = m_Nodes.find(p); it != m_Nodes.end())
        return it->second.directory;
    if (!makeDirectory(parentOf(p), when))
        return false;
    Node node;
    node.directory = true;
    node.modified = when;
    node.inode = m_NextInode++;
    m_Nodes.emplace(p, std::move(node));
    return true;
}

bool NandFileSystem::writeFile(const std::string& path, std::vector<std::uint8_t> data,
                               PackedTime when) {
    const std::string p = normalise(path);
    if (p == "/" || !makeDirectory(parentOf(p), when))
        return false;
    auto it = m_Nodes.find(p);
    if (it != m_Nodes.end() && it->second.directory)
        return false;
    Node& node = m_Nodes[p];
    if (node.inode == 0)
        node.inode = m_NextInode++;
    node.data = std::move(data);
    node.modified = when;
    return true;
}

bool NandFileSystem::removeFile(const std::string& path) {
    auto it = m_Nodes.find(normalise(path));
    if (it == m_Nodes.end() || it->second.directory)
        return false;
    m_Nodes.erase(it);
    return true;
}

const NandFileSystem::Node* NandFileSystem::find(const std::string& path) const {
    auto it = m_Nodes.find(normalise(path));
    return it == m_Nodes.end() ? nullptr : &it->second;
}

std::optional<std::vector<NandEntry>> NandFileSystem::list(const std::string& path) const {
    const std::string p = normalise(path);
    const Node* dir = find(p);
    if (!dir || !dir->directory)
        return std::nullopt;
    std::vector<NandEntry> entries{{".", true}, {"..", true}};
    const std::string prefix = p == "/" ? "/" : p + "/";
    for (auto it = m_Nodes.lower_bound(prefix); it != m_Nodes.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0)
            break;
        const std::string rest = it->first.substr(prefix.size());
        if (rest.empty() || rest.find('/') != std::string::npos)
            continue;
        entries.push_back({rest, it->second.directory});
    }
    return entries;
}

void NandFileSystem::format() {
    m_Nodes.clear();
    Node root;
    root.directory = true;
    root.inode = 1;
    m_Nodes.emplace("/", root);
    m_NextInode = 2;
}

std::vector<std::uint8_t> NandFileSystem::statusRecord() const {
    std::uint64_t usedPages = 0;
    for (const auto& [path, node] : m_Nodes)
        usedPages += 1 + (node.data.size() + kPageSize - 1) / kPageSize;
    const std::uint32_t blocks = m_PageCount;
    const auto freeBlocks =
        static_cast<std::uint32_t>(usedPages >= blocks ? 0 : blocks - usedPages);
    const auto nodes = static_cast<std::uint32_t>(m_Nodes.size());
    std::vector<std::uint8_t> out;
    putLe32(out, kFsType);
    putLe32(out, kPageSize);
    putLe32(out, 11);
    putLe32(out, blocks);
    putLe32(out, freeBlocks);
    putLe32(out, freeBlocks);
    putLe32(out, kFileNodes);
    putLe32(out, nodes >= kFileNodes ? 0 : kFileNodes - nodes);
    putLe32(out, kFsType);  // the id, printed high byte first: "QIXF"
    putLe32(out, 64u * 1024 * 1024);
    out.push_back(255);  // name length, 16-bit little-endian
    out.push_back(0);
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::vector<std::uint8_t> NandFileSystem::fileStatusRecord(const Node& node) const {
    std::vector<std::uint8_t> out;
    putBe32(out, node.directory ? 0x41FF : 0x81FF);
    putBe32(out, node.inode);
    putBe16(out, 0);  // device id
    putBe16(out, 0);  // dummy entry
    putBe32(out, static_cast<std::uint32_t>(node.data.size()));
    const std::uint32_t stamp = std::uint32_t{node.modified.date} << 16 | node.modified.time;
    putBe32(out, node.modified.date);
    putBe32(out, stamp);
    putBe32(out, stamp);
    return out;
}

std::vector<std::uint8_t> NandFileSystem::page(std::uint32_t index) const {
    std::vector<std::uint8_t> out(kPageSize);
    // A page number in the first bytes makes a misplaced page easy to spot in a dump.
    std::uint32_t x = m_Seed * 2654435761u ^ (index + 1) * 40503u;
    for (std::uint32_t i = 0; i < kPageSize; ++i) {
        x = x * 1664525u + 1013904223u;
        out[i] = static_cast<std::uint8_t>(x >> 24);
    }
    for (int i = 0; i < 4; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(index >> (24 - 8 * i));
    return out;
}

bool NandFileSystem::saveTo(const std::string& dir, std::string* error) const {
    std::error_code ec;
    fs::create_directories(dir, ec);
    for (const auto& [path, node] : m_Nodes) {
        const fs::path target = fs::path(dir) / path.substr(1);
        if (node.directory) {
            fs::create_directories(target, ec);
        } else {
            fs::create_directories(target.parent_path(), ec);
            std::ofstream out(target, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(node.data.data()),
                      static_cast<std::streamsize>(node.data.size()));
            if (!out) {
                if (error)
                    *error = "cannot write " + target.string();
                return false;
            }
        }
    }
    return true;
}

bool NandFileSystem::loadFrom(const std::string& dir, std::string* error) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        if (error)
            *error = dir + " is not a directory";
        return false;
    }
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        const std::string rel = "/" + fs::relative(it->path(), dir, ec).generic_string();
        if (it->is_directory(ec)) {
            makeDirectory(rel, PackedTime{});
        } else if (it->is_regular_file(ec)) {
            std::ifstream in(it->path(), std::ios::binary);
            std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
            writeFile(rel, std::move(data), PackedTime{});
        }
    }
    if (ec) {
        if (error)
            *error = "cannot read " + dir + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace zrk::sim
