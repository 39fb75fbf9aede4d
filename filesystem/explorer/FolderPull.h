#pragma once
// Copies a directory of the phone and everything under it into a folder on the PC through a walk
// over the phone's tree: it lists the directories, asks each file's status for its size, and
// reads the files out one after the other. The front end sees one copy: one progress bar over
// all the bytes, the copy's own log lines, and one outcome at the end. A file that fails is
// reported and the copy goes on; only a stop or a lost link ends it early. No Qt.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Clock.h"
#include "filesystem/explorer/ExplorerView.h"
#include "filesystem/explorer/FolderCopySummary.h"
#include "filesystem/explorer/FolderCopyTarget.h"
#include "filesystem/explorer/TreeWalk.h"

namespace zrk {

class ExplorerEngine;

class FolderPull {
  public:
    explicit FolderPull(ExplorerEngine& engine, Clock& clock = systemClock());
    ~FolderPull();
    FolderPull(const FolderPull&) = delete;
    FolderPull& operator=(const FolderPull&) = delete;

    // phonePath in the local code page ("/" for everything); folder is created if need be and
    // receives what is under phonePath, with the names in UTF-8. The engine must be idle and
    // mounted. The outcome reaches the front end's view through operationEnded, then onEnd.
    void start(const std::string& phonePath, const std::string& folder);
    bool running() const { return m_Running; }
    const FolderCopySummary& summary() const { return m_Summary; }
    const FolderCopyProgress& progress() const { return m_Progress; }

    // After every file, for the figures a progress bar cannot show (files done of all).
    std::function<void(const FolderCopyProgress&)> onProgress;
    std::function<void(const FolderCopySummary&, const OperationOutcome&)> onEnd;

  private:
    struct Item {
        std::string phonePath;  // local code page
        // Where it goes under the copy's folder, a name (UTF-8) a level.
        std::vector<std::string> diskParts;
        std::optional<std::uint64_t> size;  // files, from their status
    };
    enum class Stage { Listing, Sizing, Copying, Restoring, Done };

    void walked(const TreeWalkResult& result);
    void readProgress(std::uint32_t position);
    void startNext();
    void listed(const TreeWalkResult& result);
    bool openRoot(const std::string& top);
    void sized(const TreeWalkResult& result);
    void copied(const OperationOutcome& outcome);
    // A file that ends without an exchange: empty on the phone, or its folder unreachable.
    void settleWithoutReadOut(const Item& file, bool made, const std::string& whyNot);
    void fail(const std::string& phonePath, const std::string& reason);
    void log(std::string_view text);
    void reportProgress();
    void finish(std::optional<OperationOutcome> abort);
    void release();

    ExplorerEngine& m_Engine;
    TreeWalk m_Walk;
    Clock& m_Clock;
    ExplorerView* m_Front = nullptr;
    bool m_Running = false;
    Stage m_Stage = Stage::Done;
    FolderCopyTarget m_Target;  // opened after the top directory was listed
    std::string m_Folder;
    bool m_TopMissing = false;  // the phone has no directory of the name asked for
    std::vector<Item> m_Directories;
    std::vector<Item> m_Files;
    std::size_t m_Next = 0;  // the directory or file of the exchange in flight
    std::string m_RestoreDirectory;
    std::uint64_t m_BytesBeforeFile = 0;
    std::int64_t m_Start = 0;
    FolderCopySummary m_Summary;
    FolderCopyProgress m_Progress;
    bool m_LocalFailure = false;  // a failure on the PC's side (else: the phone's)
};

}  // namespace zrk
