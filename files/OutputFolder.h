#pragma once
// A folder that receives a copy (a phone directory, an unpacked image), held open by the system
// so that everything under it is created relative to the folder itself: a name planted in the
// path after the folder was opened, or a link standing where a sub-folder is to go, is never
// followed. It also remembers which names this copy has given out, so that two source names
// can never end up as one file.
#include <memory>
#include <set>
#include <string>

#include "files/NativeFile.h"

namespace zrk {

class OutputFolder {
  public:
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    // Opens the folder at path, creating it (and missing parents) first where need be. The
    // last part of the path must be a folder itself, not a link to one.
    static std::shared_ptr<OutputFolder> openOrCreate(const std::string& path, std::string* whyNot);

    // The folder a file path names, as the path reaches it (the user named it), and the
    // file's own name in it.
    static std::shared_ptr<OutputFolder> openParentOf(const std::string& filePath,
                                                      std::string* name, std::string* whyNot);

    // The sub-folder name, made here or entered when it exists as a real folder; a link or a
    // file under that name is refused. Claims the name (see claim).
    std::shared_ptr<OutputFolder> child(const std::string& name, std::string* whyNot);

    // The existing sub-folder name, entered only when it is a real folder (never a link).
    std::shared_ptr<OutputFolder> enter(const std::string& name, std::string* whyNot) const;

    // False when this copy already gave out the name in this folder (to a file or a folder).
    bool claim(const std::string& name);

    // For the platform code: what the system holds open.
    NativeFile handle() const { return m_Handle; }
    // For messages only: files are never reached through it.
    const std::string& path() const { return m_Path; }
    std::string pathOf(const std::string& name) const;

  private:
    OutputFolder(NativeFile handle, std::string path) : m_Handle(handle), m_Path(std::move(path)) {}
    NativeFile m_Handle;
    std::string m_Path;
    std::set<std::string> m_Claimed;
};

// A file name the system can hold: not empty, not "." or "..", no '/', at most 255 bytes.
bool isPlainFileName(const std::string& name);

}  // namespace zrk
