#pragma once
// Reading a file out: E8h with the full path, E9h and its 4-byte size back, then EAh and the
// file in 8 KB blocks, each with its sum8, each acknowledged. The file is written under a name
// of its own and named only when whole. An empty file may be answered with nothing at all: a
// quiet timer then completes it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "files/OutputFile.h"
#include "filesystem/explorer/ExplorerLine.h"

namespace zrk {

class OutputFolder;

class ReadOutExchange : public ExplorerExchange {
  public:
    explicit ReadOutExchange(ExplorerLine& line) : ExplorerExchange(line, "read the file out") {}

    // Into a file the user chooses when the size is known.
    void begin(const std::string& fullPath);
    // Into name in folder without asking; a name that is taken there is a failure, never
    // overwritten, unless existing says otherwise.
    void beginInto(const std::string& fullPath, std::shared_ptr<OutputFolder> folder,
                   const std::string& name,
                   OutputFile::Existing existing = OutputFile::Existing::Refuse);

    void beforeFailing(Failure& failure) override;
    void onFrame(std::span<const std::uint8_t> frame) override;
    void onQuietTimer();
    void stopQuietTimer();
    // The link is gone: the timer's firing finds nothing to complete.
    void forgetQuietTimer() { m_QuietTimerRunning = false; }

    bool fileOpen() const { return m_File.isOpen(); }
    // Keeps what a cut-short read-out received and says where, or removes it; where the bytes
    // were kept, empty when removed or when nothing was open.
    std::string abandonFile(bool remove = false);

  private:
    void sizeRead(Exchange::Reply size);
    void nextBlockLength();
    bool createFile();
    bool commitFile();
    void completed();

    std::uint32_t m_Size = 0;
    std::uint32_t m_Remaining = 0;
    std::size_t m_BlockLength = 0;
    bool m_LastBlock = false;
    OutputFile m_File;
    std::string m_Target;
    std::shared_ptr<OutputFolder> m_Folder;  // for the next read-out only
    std::string m_Name;
    OutputFile::Existing m_Existing = OutputFile::Existing::Refuse;
    bool m_KeepsPartial = true;
    bool m_QuietTimerRunning = false;
};

// Closes file, keeping what it holds (and saying where, in what it holds) or removing it.
std::string abandonOutput(ExplorerLine& line, OutputFile& file, bool keep, const char* what);

}  // namespace zrk
