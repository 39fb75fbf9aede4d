#pragma once
// The phone's NAND file system as the boot-loader presents it: a tree of directories and files
// with times, a status record, and raw pages for the full dump (made up on the fly from the
// seed, so a 131 MB dump costs no memory).
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zrk::sim {

// Date and time as the file system packs them (years from 1980, seconds in 2-second steps).
struct PackedTime {
    std::uint16_t date = (24u << 9) | (1u << 5) | 1u;  // 2004-01-01
    std::uint16_t time = 0;
};
PackedTime packTime(int year, int month, int day, int hour, int minute, int second);

struct NandEntry {
    std::string name;
    bool directory = false;
};

class NandFileSystem {
  public:
    struct Node {
        bool directory = false;
        std::vector<std::uint8_t> data;
        PackedTime modified;
        std::uint32_t inode = 0;
    };

    explicit NandFileSystem(std::uint32_t pageCount = 64064, std::uint32_t seed = 1);

    // The boot-loader's path rule: the path ends at its first NUL; blanks, tabs, CR and LF at
    // the end of each component are dropped; repeated separators count as one; "." and ".."
    // are resolved and never climb above the root. The result is "/" or "/a/b".
    static std::string normalise(std::string_view raw);

    bool makeDirectory(const std::string& path, PackedTime when);  // creates missing parents
    bool writeFile(const std::string& path, std::vector<std::uint8_t> data, PackedTime when);
    bool removeFile(const std::string& path);
    const Node* find(const std::string& path) const;
    // Entries of a directory, "." and ".." first, then by name; nullopt if it is no directory.
    std::optional<std::vector<NandEntry>> list(const std::string& path) const;
    void format();
    std::size_t nodeCount() const { return m_Nodes.size(); }

    std::vector<std::uint8_t> statusRecord() const;                      // 44 bytes, little-endian
    std::vector<std::uint8_t> fileStatusRecord(const Node& node) const;  // 28 bytes, big-endian

    std::uint32_t pageCount() const { return m_PageCount; }
    std::vector<std::uint8_t> page(std::uint32_t index) const;

    // The tree as real directories and files under dir (which is created).
    bool saveTo(const std::string& dir, std::string* error) const;
    bool loadFrom(const std::string& dir, std::string* error);

  private:
    static std::string parentOf(const std::string& path);
    std::uint32_t m_PageCount;
    std::uint32_t m_Seed;
    std::uint32_t m_NextInode = 2;
    std::map<std::string, Node> m_Nodes;
};

}  // namespace zrk::sim
