#pragma once
// The read-back verify of a file system: with the explorer's own exchanges (mount, listings, file
// status, read-out, unmount) it lists every configured directory and reads every configured file
// back, comparing sizes and bytes with the .qix image. Missing directories are all reported; the
// first file that is missing or differs ends the comparison with its offset. It runs after a
// file-system download, when asked, or on its own against a phone already filled.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Outcome.h"
#include "filesystem/ReadBackCompare.h"

namespace zrk {

class ExplorerEngine;
class PhaseContext;
class OutputFolder;
class TreeWalk;
struct TreeWalkResult;

class FileSystemVerify {
  public:
    explicit FileSystemVerify(PhaseContext& context);
    ~FileSystemVerify();

    // The verify on its own, of the chosen image and its configuration.
    void press();
    // After a download: onGood continues the download's ending once everything matched. A
    // failed verify finishes the operation itself.
    void afterDownload(std::function<void()> onGood);

    // The engine's one timer fired while the explorer held it; false when it was not ours.
    bool onTimer();

  private:
    enum class Step { Idle, Mounting, Listing, Status, Reading, Closing };

    bool prepare(Operation operation);
    void begin();
    void walked(const TreeWalkResult& result);
    void handle(const TreeWalkResult& result);
    void nextDirectory();
    void nextFile();
    void compareReadBack();
    void fail(FailureCause cause, const std::string& logText, const std::string& detail);
    void close();
    void report();
    void releaseExplorer();
    void removeFolder();

    void readProgress(std::uint32_t position);
    void givenBack();
    void startQuietTimer(int milliseconds);
    void stopQuietTimer();

    PhaseContext& m_Context;
    std::unique_ptr<ExplorerEngine> m_Explorer;
    std::unique_ptr<TreeWalk> m_Walk;  // over m_Explorer, gone before it
    std::function<void()> m_OnGood;
    bool m_AfterDownload = false;
    std::string m_ImagePath;
    std::vector<std::string> m_Directories;
    std::vector<VerifyPlan::File> m_Files;
    std::uint64_t m_Total = 0;
    std::size_t m_Next = 0;  // the directory or file the current exchange is about
    std::vector<std::string> m_Missing;
    std::uint64_t m_Verified = 0;  // bytes of the files compared so far
    std::string m_Folder;          // where the read-outs land until they are compared
    std::string m_ReadBackPath;
    std::shared_ptr<OutputFolder> m_ReadBackFolder;  // m_Folder, entered once
    static constexpr const char* kReadBackName = "read-back";
    Step m_Step = Step::Idle;
    bool m_LinkLost = false;
    bool m_TimerHeld = false;
    // How the comparison ended, once it has; reported when the explorer has given the link back.
    struct Verdict {
        FailureCause cause = FailureCause::None;
        std::string detail;
    };
    std::optional<Verdict> m_Verdict;
    std::int64_t m_Started = 0;
};

}  // namespace zrk
