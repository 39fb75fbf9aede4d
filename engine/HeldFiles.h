#pragma once
// The files an operation keeps open across notifications (an image it reads, a dump it
// writes). They belong to the operation; the frame only says when they must go: every
// operation's files close when any operation finishes and at Stop, and an abandoned operation
// keeps its files until Stop.
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

}  // namespace zrk
