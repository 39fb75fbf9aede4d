#include "filesystem/QixSourceWalk.h"

#include <algorithm>
#include <limits>

#include "filesystem/CodePage.h"
#include "filesystem/QixConfig.h"
#include "filesystem/QixTreeCheck.h"

namespace zrk {
namespace {

constexpr std::size_t kMaxComponentUtf8 = kMaxNamePartUtf8;
constexpr std::uint64_t kMaxImage = std::numeric_limits<std::uint32_t>::max();

// Why the configuration or the phone would take this name as something else; empty if neither.
std::string nameProblem(const std::string& name) {
    if (name.find_first_of("\r\n") != std::string::npos)
        return "the name holds a line break, which would end it early in the configuration";
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool c1 = byte == 0xC2 && i + 1 < name.size() &&
                        (static_cast<unsigned char>(name[i + 1]) & 0xE0) == 0x80;
        if (byte < 0x20 || byte == 0x7F || c1)
            return "the name holds a control character, which no .cfg may carry";
    }
    if (name.back() == ' ' || name.back() == '\t')
        return "the name ends in a blank, which the phone drops";
    if (name.size() > kMaxComponentUtf8)
        return "the name is " + std::to_string(name.size()) +
               " bytes in UTF-8; the phone lists names of at most 254";
    return {};
}

class Walker {
  public:
    Walker(const CodePage& codePage, QixSourceWalk& walk,
           const std::function<bool()>& stopRequested)
        : m_CodePage(codePage), m_Walk(walk), m_StopRequested(stopRequested) {}

    // False once a refusal is recorded or a stop was asked for.
    bool folder(const SourceFolder& dir, const std::string& phonePath,
                const std::vector<std::string>& parts) {
        std::vector<SourceEntry> entries;
        std::string why;
        if (!dir.list(&entries, &why))
            return refuse(dir.path(), why);
        for (const SourceEntry& e : entries) {
            if (m_StopRequested && m_StopRequested()) {
                m_Walk.interrupted = true;
                return false;
            }
            if (!entry(dir, e, phonePath, parts))
                return false;
        }
        return true;
    }

  private:
    bool refuse(const std::string& disk, const std::string& why) {
        m_Walk.refusal = QixSourceWalk::Refusal{disk + ": " + why};
        return false;
    }

    bool entry(const SourceFolder& dir, const SourceEntry& found, const std::string& parentPhone,
               const std::vector<std::string>& parentParts) {
        const std::string disk = dir.pathOf(found.name);
        if (const std::string problem = nameProblem(found.name); !problem.empty())
            return refuse(disk, problem);
        if (found.link)
            return refuse(disk, "a symbolic link; an image holds only folders and regular files");
        const bool directory = found.kind == FileKind::Directory;
        if (!directory && found.kind != FileKind::Regular)
            return refuse(disk,
                          "not a regular file (a device, FIFO or socket); an image holds only "
                          "folders and regular files");

        QixSourceEntry e;
        e.phonePath = parentPhone + "/" + found.name;
        e.diskPath = disk;
        e.parts = parentParts;
        e.parts.push_back(found.name);
        e.identity = found.identity;
        const auto local = m_CodePage.fromUtf8(e.phonePath);
        if (!local)
            return refuse(disk, "the name cannot be written in the code page " + m_CodePage.name() +
                                    " (or is not UTF-8)");
        e.localPath = *local;
        if (const std::string key = qixKeyInside(e.localPath); !key.empty())
            return refuse(disk, "the path holds \"" + key +
                                    "\", which the configuration would read as an entry");
        const std::size_t limit = directory ? kMaxDirNameUtf8 - 1 : kMaxFileNameUtf8 - 1;
        const std::size_t longest = std::max(e.phonePath.size(), e.localPath.size());
        if (longest > limit)
            return refuse(disk, std::string(directory ? "the folder's" : "the file's") +
                                    " path on the phone, " + e.phonePath + ", is " +
                                    std::to_string(longest) + " bytes; the phone takes at most " +
                                    std::to_string(limit));
        if (directory) {
            std::string why;
            const auto sub = dir.enter(found.name, &why);
            if (!sub)
                return refuse(disk, why);
            if (sub->identity() != found.identity)
                return refuse(disk, kChangedWhileMade);
            m_Walk.directories.push_back(e);
            return folder(*sub, e.phonePath, e.parts);
        }
        e.size = found.size;
        m_Walk.bytes += e.size;
        if (m_Walk.bytes > kMaxImage)
            return refuse(disk, "the files add up to more than " + std::to_string(kMaxImage) +
                                    " bytes, the most an image can hold");
        m_Walk.files.push_back(std::move(e));
        return true;
    }

    const CodePage& m_CodePage;
    QixSourceWalk& m_Walk;
    const std::function<bool()>& m_StopRequested;
};

}  // namespace

std::string qixKeyInside(std::string_view text) {
    for (std::string_view key : qixkey::kAll)
        if (text.find(key) != std::string_view::npos)
            return std::string(key);
    return {};
}

bool walkQixSource(const SourceFolder& root, const CodePage& codePage,
                   const std::function<bool()>& stopRequested, QixSourceWalk& walk) {
    return Walker(codePage, walk, stopRequested).folder(root, "", {});
}

}  // namespace zrk
