#pragma once
// The folder on the PC a copy from the phone lands in. Everything below it is made through its
// descriptor, so a link already standing in it is never followed; folders are entered again
// from the top for each file rather than kept open, since a tree may have more folders than a
// process may hold descriptors.
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace zrk {

class OutputFolder;

class FolderCopyTarget {
  public:
    // Made or entered; false with why.
    bool open(const std::string& folder, std::string* whyNot);
    bool isOpen() const { return m_Root != nullptr; }
    void close();

    // The folder that holds the last of parts (all but the last entered from the top).
    std::shared_ptr<OutputFolder> parentOf(const std::vector<std::string>& parts,
                                           std::string* whyNot) const;
    // False when another name of this copy already took the same place on the PC.
    bool claim(const std::vector<std::string>& parts);
    // Made as every copied file is: a name already taken on the PC is refused, never emptied.
    bool makeEmptyFile(const std::vector<std::string>& parts, std::string* whyNot) const;
    // Made, or entered when it exists as a real folder.
    bool makeFolder(const std::vector<std::string>& parts, std::string* whyNot) const;
    // Where parts lands, for a message.
    std::string pathOf(const std::vector<std::string>& parts) const;

  private:
    std::shared_ptr<OutputFolder> m_Root;
    std::set<std::vector<std::string>> m_Claimed;
};

}  // namespace zrk
