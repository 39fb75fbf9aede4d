#pragma once
// The copy of the log that --log names: written as the log comes, handed to the system line by
// line so that what was written survives a crash, and given its name at the end, failed run or
// not, since a log is read after failures most. A write or the naming that fails is remembered.
#include <string>

#include "files/OutputFile.h"

namespace zrk::cli {

class LogFileCopy {
  public:
    bool open(const std::string& path);
    // False when a write or the naming failed; what was written then stays under NAME.part.
    bool close();
    void write(const std::string& text);
    // The last text written ended its line (or nothing was written yet).
    bool atLineStart() const { return m_AtLineStart; }

  private:
    OutputFile m_File;
    bool m_Failed = false;
    bool m_AtLineStart = true;
};

}  // namespace zrk::cli
