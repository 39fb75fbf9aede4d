#pragma once
// A folder on the PC read as it stands, held open by the system: its entries are listed and
// looked at through it, sub-folders are entered and files opened relative to it, never
// through a link and never by a path built again from names. A folder swapped for a link
// while a tree is read is refused where it is met, not followed.
#include <memory>
#include <string>
#include <vector>

#include "files/FileStatus.h"
#include "files/NativeFile.h"

namespace zrk {

class RegularFileReader;

struct SourceEntry {
    std::string name;
    FileKind kind = FileKind::Other;
    bool link = false;  // a symbolic link (kind then says Other)
    std::uint64_t size = 0;
    FileIdentity identity;
};

class SourceFolder {
  public:
    ~SourceFolder();
    SourceFolder(const SourceFolder&) = delete;
    SourceFolder& operator=(const SourceFolder&) = delete;

    // The folder at path as the path reaches it (the user named it); its last part must be a
    // folder itself, not a link to one.
    static std::shared_ptr<SourceFolder> open(const std::string& path, std::string* whyNot);

    // The sub-folder name, entered only when it is a real folder.
    std::shared_ptr<SourceFolder> enter(const std::string& name, std::string* whyNot) const;

    // Every entry but "." and "..", as it is now (links not followed), in no particular order.
    bool list(std::vector<SourceEntry>* entries, std::string* whyNot) const;

    // The regular file name opened into reader, never through a link and never waiting on a
    // FIFO or device swapped in; false with why (the reader stays closed). identity: the file
    // that was opened.
    bool openFile(const std::string& name, RegularFileReader& reader, FileIdentity* identity,
                  std::string* whyNot) const;

    FileIdentity identity() const { return m_Identity; }
    // For messages only: nothing is reached through it.
    const std::string& path() const { return m_Path; }
    std::string pathOf(const std::string& name) const;

  private:
    SourceFolder(NativeFile handle, std::string path, FileIdentity identity)
        : m_Handle(handle), m_Path(std::move(path)), m_Identity(identity) {}
    static std::shared_ptr<SourceFolder> adopt(NativeFile handle, std::string path,
                                               std::string* whyNot);

    NativeFile m_Handle;
    std::string m_Path;
    FileIdentity m_Identity;
};

}  // namespace zrk
