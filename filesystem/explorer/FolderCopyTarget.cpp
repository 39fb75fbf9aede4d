#include "filesystem/explorer/FolderCopyTarget.h"

#include "files/OutputFile.h"
#include "files/OutputFolder.h"

namespace zrk {

bool FolderCopyTarget::open(const std::string& folder, std::string* whyNot) {
    m_Root = OutputFolder::openOrCreate(folder, whyNot);
    return m_Root != nullptr;
}

void FolderCopyTarget::close() {
    m_Root.reset();
    m_Claimed.clear();
}

std::shared_ptr<OutputFolder> FolderCopyTarget::parentOf(const std::vector<std::string>& parts,
                                                         std::string* whyNot) const {
    std::shared_ptr<OutputFolder> folder = m_Root;
    for (std::size_t i = 0; folder && i + 1 < parts.size(); ++i)
        folder = folder->enter(parts[i], whyNot);
    return folder;
}

bool FolderCopyTarget::claim(const std::vector<std::string>& parts) {
    return m_Claimed.insert(parts).second;
}

bool FolderCopyTarget::makeEmptyFile(const std::vector<std::string>& parts,
                                     std::string* whyNot) const {
    OutputFile empty;
    const auto parent = parentOf(parts, whyNot);
    return parent && empty.create(parent, parts.back(), OutputFile::Existing::Refuse, whyNot) &&
           empty.commit(whyNot);
}

bool FolderCopyTarget::makeFolder(const std::vector<std::string>& parts,
                                  std::string* whyNot) const {
    const auto parent = parentOf(parts, whyNot);
    return parent && parent->child(parts.back(), whyNot);
}

std::string FolderCopyTarget::pathOf(const std::vector<std::string>& parts) const {
    std::string path;
    for (const auto& part : parts)
        path += (path.empty() ? "" : "/") + part;
    return m_Root->pathOf(path);
}

}  // namespace zrk
