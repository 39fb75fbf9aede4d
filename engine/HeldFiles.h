#pragma once
// The files an operation keeps open across notifications (an image it reads, a dump it
// writes). They belong to the operation; the frame only says when they must go: every
// operation's files close when any operation finishes and at Stop, and an abandoned operation
// keeps its files until Stop.
#include <algorithm>
#include <vector>

namespace zrk {

class HeldFiles {
  public:
    virtual ~HeldFiles() = default;
    virtual void closeFiles() = 0;
    // Stop cut the operation short: it says where the bytes it wrote went, before its files
    // close.
    virtual void tellWhatStopLeft() {}
    virtual bool holdsOpenFile() const = 0;
};

// Every operation's files, in the order the operations handed them over, for the frame.
class HeldFileList {
  public:
    void hold(HeldFiles& files) { m_Files.push_back(&files); }
    void closeAll() {
        for (HeldFiles* files : m_Files)
            files->closeFiles();
    }
    void tellWhatStopLeft() {
        for (HeldFiles* files : m_Files)
            files->tellWhatStopLeft();
    }
    bool anyOpen() const {
        return std::any_of(m_Files.begin(), m_Files.end(),
                           [](const HeldFiles* files) { return files->holdsOpenFile(); });
    }

  private:
    std::vector<HeldFiles*> m_Files;
};

}  // namespace zrk
