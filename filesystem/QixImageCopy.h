#pragma once
// The files of a walked folder copied onto the image. Between the walk and the copy a folder or
// a file may be swapped; each is judged again on the way, never trusted from the walk.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "filesystem/QixSourceWalk.h"

namespace zrk {

class OutputFile;

// The folders of the files being read, entered again from the top through descriptors only,
// each checked to be the folder the walk saw. Files come in path order, so the folders above
// the last one are kept for the next.
class QixFolderChain {
  public:
    QixFolderChain(std::shared_ptr<SourceFolder> root, const QixSourceWalk& walk)
        : m_Root(std::move(root)) {
        for (const QixSourceEntry& d : walk.directories)
            m_Seen.emplace(d.parts, d.identity);
    }

    // The folder holding file; nullptr with why.
    std::shared_ptr<SourceFolder> reach(const QixSourceEntry& file, std::string* why);

  private:
    std::shared_ptr<SourceFolder> m_Root;
    std::map<std::vector<std::string>, FileIdentity> m_Seen;
    std::vector<std::pair<std::string, std::shared_ptr<SourceFolder>>> m_Open;
};

enum class QixAppend { Done, Failed, Stopped };

// The file's bytes onto the image; Failed with the reason when they are not all there.
QixAppend appendQixFile(OutputFile& image, QixFolderChain& folders, const QixSourceEntry& file,
                        const std::function<bool()>& stopRequested, std::string* error);

}  // namespace zrk
