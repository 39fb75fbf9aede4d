#pragma once
// The read-back verify of a file system: with the explorer's own exchanges (mount, listings, file
// status, read-out, unmount) it lists every configured directory and reads every configured file
// back, comparing sizes and bytes with the .qix image. Missing directories are all reported; the
// first file that is missing or differs ends the comparison with its offset. It runs after a
// file-system download, when asked, or on its own against a phone already filled.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/HeldFiles.h"
#include "engine/OpenFile.h"
#include "engine/Outcome.h"
#include "filesystem/ReadBackCompare.h"

namespace zrk {

class ExplorerEngine;
class PhaseContext;
class OutputFolder;
class TreeWalk;
class VerifyComparison;
struct TreeWalkResult;
struct VerifyVerdict;

class FileSystemVerify : private HeldFiles {
  public:
    explicit FileSystemVerify(PhaseContext& context);
    ~FileSystemVerify() override;
    FileSystemVerify(const FileSystemVerify&) = delete;
    FileSystemVerify& operator=(const FileSystemVerify&) = delete;

    // The verify on its own, of the chosen image and its configuration.
    void press();
    // After a download: onGood continues the download's ending once everything matched. A
    // failed verify finishes the operation itself.
    void afterDownload(std::function<void()> onGood);

    // The engine's one timer fired while the explorer held it; false when it was not ours.
    bool onTimer();

  private:
    bool prepare(Operation operation);
    void begin();
    void walked(const TreeWalkResult& result);
    void givenBack();
    void report(const VerifyVerdict& verdict);
    void releaseExplorer();
    void removeFolder();

    void startQuietTimer(int milliseconds);
    void stopQuietTimer();

    void closeFiles() override { m_Image.close(); }
    bool holdsOpenFile() const override { return m_Image.isOpen(); }

    PhaseContext& m_Context;
    // The image the phone's files are held against, open from the plan to the verdict.
    OpenFile m_Image;
    std::unique_ptr<ExplorerEngine> m_Explorer;
    std::unique_ptr<TreeWalk> m_Walk;                // over m_Explorer, gone before it
    std::unique_ptr<VerifyComparison> m_Comparison;  // over m_Walk
    std::function<void()> m_OnGood;
    bool m_AfterDownload = false;
    std::vector<std::string> m_Directories;
    std::vector<VerifyPlan::File> m_Files;
    std::uint64_t m_Total = 0;
    std::string m_Folder;  // where the read-outs land until they are compared
    std::string m_ReadBackPath;
    std::shared_ptr<OutputFolder> m_ReadBackFolder;  // m_Folder, entered once
    bool m_LinkLost = false;
    bool m_TimerHeld = false;
    std::int64_t m_Started = 0;
};

}  // namespace zrk
