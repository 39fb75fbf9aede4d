#include "filesystem/QixImageCopy.h"

#include <cerrno>
#include <cstring>

#include "files/OutputFile.h"
#include "files/RegularFileReader.h"

namespace zrk {

std::shared_ptr<SourceFolder> QixFolderChain::reach(const QixSourceEntry& file, std::string* why) {
    const std::size_t depth = file.parts.size() - 1;
    std::size_t common = 0;
    while (common < m_Open.size() && common < depth && m_Open[common].first == file.parts[common])
        ++common;
    m_Open.resize(common);
    while (m_Open.size() < depth) {
        const SourceFolder& above = m_Open.empty() ? *m_Root : *m_Open.back().second;
        const std::string& name = file.parts[m_Open.size()];
        std::string whyNot;
        auto folder = above.enter(name, &whyNot);
        if (!folder) {
            *why = above.pathOf(name) + ": " + whyNot;
            return nullptr;
        }
        const std::vector<std::string> parts(file.parts.begin(),
                                             file.parts.begin() + m_Open.size() + 1);
        const auto seen = m_Seen.find(parts);
        if (seen == m_Seen.end() || seen->second != folder->identity()) {
            *why = folder->path() + ": " + kChangedWhileMade;
            return nullptr;
        }
        m_Open.emplace_back(name, std::move(folder));
    }
    return m_Open.empty() ? m_Root : m_Open.back().second;
}

QixAppend appendQixFile(OutputFile& image, QixFolderChain& folders, const QixSourceEntry& file,
                        const std::function<bool()>& stopRequested, std::string* error) {
    if (stopRequested && stopRequested())
        return QixAppend::Stopped;
    const auto folder = folders.reach(file, error);
    if (!folder)
        return QixAppend::Failed;
    // Judged again through the open file: one swapped for a link, a FIFO or another file since
    // the walk is refused.
    RegularFileReader in;
    FileIdentity opened;
    std::string why;
    if (!folder->openFile(file.parts.back(), in, &opened, &why)) {
        *error = file.diskPath + ": " + why;
        return QixAppend::Failed;
    }
    if (opened != file.identity) {
        *error = file.diskPath + ": " + kChangedWhileMade;
        return QixAppend::Failed;
    }
    std::vector<std::uint8_t> chunk(65536);
    std::uint64_t copied = 0;
    for (;;) {
        if (stopRequested && stopRequested())
            return QixAppend::Stopped;
        const long got = in.read(chunk.data(), chunk.size());
        if (got < 0) {
            *error = file.diskPath + ": " + std::strerror(errno);
            return QixAppend::Failed;
        }
        if (got == 0)
            break;
        copied += static_cast<std::uint64_t>(got);
        if (copied > file.size)
            break;
        if (!image.write(chunk.data(), static_cast<std::size_t>(got))) {
            *error = image.targetPath() + ": " + image.writeError();
            return QixAppend::Failed;
        }
    }
    in.close();
    if (copied != file.size) {
        *error = file.diskPath + ": changed size while the image was made";
        return QixAppend::Failed;
    }
    return QixAppend::Done;
}

}  // namespace zrk
