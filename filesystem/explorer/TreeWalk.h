#pragma once
// A walk over the phone's tree for a program rather than a person: it runs the explorer's list,
// status and read-out exchanges and hands back typed results, while the front end's log and
// controls stay as they were (its tree still gains the directories a listing finds, and its
// file list follows a listing when asked). A folder copy and the file-system verify walk with
// it. Results of an exchange that ends before its request returns (a name that does not
// convert) are handed over after the request, in order, so a walk that starts its next
// exchange from a result never nests once per file.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/OutputFile.h"
#include "filesystem/explorer/ExplorerLine.h"
#include "filesystem/explorer/ExplorerTypes.h"

namespace zrk {

class ExplorerEngine;
class OutputFolder;

struct TreeWalkResult {
    enum class Exchange { Mount, List, Stat, Read, Exit };
    Exchange exchange = Exchange::List;
    std::string phonePath;  // what was listed, asked about or read (local code page)
    OperationOutcome outcome;
    std::optional<Failure> failure;          // when the exchange itself failed
    std::vector<ListedEntry> entries;        // List and Mount (the root), when completed
    std::optional<FileStatusRecord> status;  // Stat, when completed

    bool completed() const { return outcome.completed(); }
    // The walk was cut short under the exchange: EXIT or a lost link.
    bool cutShort() const {
        return outcome.kind == OutcomeKind::Stopped || outcome.kind == OutcomeKind::LinkLost;
    }
};

class TreeWalk : private ExchangeListener {
  public:
    explicit TreeWalk(ExplorerEngine& engine) : m_Engine(engine) {}
    ~TreeWalk() override { detach(); }
    TreeWalk(const TreeWalk&) = delete;
    TreeWalk& operator=(const TreeWalk&) = delete;

    // From attach to detach the walk takes the engine's outcomes, and the front end sees the
    // exchanges as described above. Detaching forgets results not yet handed over; it may be
    // done from inside onResult.
    void attach();
    void detach();
    bool attached() const { return m_Attached; }

    void mount();
    void list(const std::string& phonePath, bool shownToFrontEnd = false);
    void stat(const std::string& phonePath);
    // Into name in folder; a name that is taken there is a failure unless existing says so.
    void read(const std::string& phonePath, std::shared_ptr<OutputFolder> folder,
              const std::string& name,
              OutputFile::Existing existing = OutputFile::Existing::Refuse);
    // The closing exchange; onGivenBack follows when the link is back.
    void exit();

    std::function<void(const TreeWalkResult&)> onResult;
    std::function<void(std::uint32_t bytes)> onReadProgress;  // of the read in flight
    std::function<void(int milliseconds)> onStartQuietTimer;
    std::function<void()> onStopQuietTimer;
    std::function<void()> onGivenBack;

  private:
    void request(TreeWalkResult::Exchange exchange, const std::string& phonePath,
                 const std::function<void()>& start);
    void deliver();

    void readProgress(std::uint32_t bytes) override;
    void exchangeEnded(const OperationOutcome& outcome,
                       const std::optional<Failure>& failure) override;
    void startQuietTimer(int milliseconds) override;
    void stopQuietTimer() override;
    void linkGivenBack() override;

    ExplorerEngine& m_Engine;
    TreeWalkResult::Exchange m_Exchange = TreeWalkResult::Exchange::Mount;
    std::string m_PhonePath;
    std::deque<TreeWalkResult> m_Pending;
    int m_Requesting = 0;
    bool m_Delivering = false;
    bool m_Attached = false;
};

}  // namespace zrk
