#pragma once
// One read-back comparison over the explorer's walk, once the plan is made: every configured
// directory listed, then every file's status and bytes held against the .qix image. Missing
// directories are all named; the first file that is missing or differs ends it. The verdict
// waits for the walk's exit, which the owner hears of.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Outcome.h"
#include "filesystem/ReadBackCompare.h"

namespace zrk {

class OpenFile;
class OutputFolder;
class PhaseContext;
class TreeWalk;
struct TreeWalkResult;

struct VerifyVerdict {
    FailureCause cause = FailureCause::None;
    std::string detail;
};

class VerifyComparison {
  public:
    // Each read-out lands in readBackFolder under this name, over the last one.
    static constexpr const char* kReadBackName = "read-back";

    // The image, the plan's directories and files and the folder outlive the comparison; the
    // folder is the owner's to let go of, which it does before removing it.
    VerifyComparison(PhaseContext& context, TreeWalk& walk, OpenFile& image,
                     const std::vector<std::string>& directories,
                     const std::vector<VerifyPlan::File>& files,
                     const std::shared_ptr<OutputFolder>& readBackFolder,
                     const std::string& readBackPath);

    void mount();
    // The walk's answer to the exchange this comparison asked for.
    void handle(const TreeWalkResult& result);
    void readProgress(std::uint32_t position);
    // The walk was cut off under it; nothing more is asked.
    void abandon() { m_Step = Step::Idle; }
    // The walk's exit was asked for, and the verdict is known.
    bool closing() const { return m_Step == Step::Closing; }
    void closed() { m_Step = Step::Idle; }
    const std::optional<VerifyVerdict>& verdict() const { return m_Verdict; }

  private:
    enum class Step { Idle, Mounting, Listing, Status, Reading, Closing };

    void status(const TreeWalkResult& result);
    void nextDirectory();
    void nextFile();
    void compareReadBack();
    void fail(FailureCause cause, const std::string& logText, const std::string& detail);
    void close();

    PhaseContext& m_Context;
    TreeWalk& m_Walk;
    OpenFile& m_Image;
    const std::vector<std::string>& m_Directories;
    const std::vector<VerifyPlan::File>& m_Files;
    const std::shared_ptr<OutputFolder>& m_ReadBackFolder;
    const std::string& m_ReadBackPath;
    std::size_t m_Next = 0;  // the directory or file the current exchange is about
    std::vector<std::string> m_Missing;
    std::uint64_t m_Verified = 0;  // bytes of the files compared so far
    Step m_Step = Step::Idle;
    std::optional<VerifyVerdict> m_Verdict;
};

}  // namespace zrk
