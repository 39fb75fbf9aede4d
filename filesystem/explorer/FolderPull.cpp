#include "filesystem/explorer/FolderPull.h"

#include <algorithm>
#include <limits>

#include "engine/SafeText.h"
#include "engine/TextFormat.h"
#include "files/OutputFolder.h"
#include "filesystem/explorer/ExplorerEngine.h"
#include "filesystem/explorer/PhonePath.h"

namespace zrk {
namespace {

std::uint32_t clamp32(std::uint64_t value) {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

std::string childPath(const std::string& parent, const std::string& name) {
    return (parent.empty() || parent.back() != '/' ? parent + "/" : parent) + name;
}

}  // namespace

FolderPull::FolderPull(ExplorerEngine& engine, Clock& clock)
    : m_Engine(engine), m_Walk(engine), m_Clock(clock) {
    m_Walk.onResult = [this](const TreeWalkResult& result) { walked(result); };
    m_Walk.onReadProgress = [this](std::uint32_t position) { readProgress(position); };
    m_Walk.onStartQuietTimer = [this](int milliseconds) {
        if (m_Front)
            m_Front->startQuietTimer(milliseconds);
    };
    m_Walk.onStopQuietTimer = [this] {
        if (m_Front)
            m_Front->stopQuietTimer();
    };
    m_Walk.onGivenBack = [this] {
        if (m_Front)
            m_Front->closeExplorer();
    };
}

FolderPull::~FolderPull() {
    release();
}

void FolderPull::release() {
    m_Walk.detach();
    m_Front = nullptr;
    m_Running = false;
    m_Target.close();
}

void FolderPull::start(const std::string& phonePath, const std::string& folder) {
    if (m_Running)
        return;
    m_Front = m_Engine.view();
    m_Walk.attach();
    m_Running = true;
    m_Summary = {};
    m_Progress = {};
    m_LocalFailure = false;
    m_Directories.clear();
    m_Files.clear();
    m_Next = 0;
    m_RestoreDirectory = m_Engine.currentDirectory();
    m_Start = m_Clock.nowSeconds();
    const std::string top = phoneDirectory(phonePath);
    log(formatLine("\r\n** Copying '%s' to %s **\r\n", printableName(top).c_str(),
                   printableName(folder).c_str()));
    m_Target.close();
    m_Folder = folder;
    m_TopMissing = false;
    // The folder is made once the phone has listed the directory: a name the phone does not
    // hold leaves nothing behind on the PC.
    m_Directories.push_back({top, {}, std::nullopt});
    m_Stage = Stage::Listing;
    startNext();
}

void FolderPull::settleWithoutReadOut(const Item& file, bool made, const std::string& whyNot) {
    if (made) {
        ++m_Summary.files;
        log("OK!\r\n");
    } else {
        m_LocalFailure = true;
        fail(file.phonePath, whyNot);
        log("Fail! (" + printableName(whyNot) + ")\r\n");
    }
    ++m_Progress.filesDone;
    reportProgress();
}

void FolderPull::fail(const std::string& phonePath, const std::string& reason) {
    m_Summary.failures.push_back({phonePath, reason});
}

void FolderPull::log(std::string_view text) {
    if (m_Front)
        m_Front->appendLog(text);
}

void FolderPull::reportProgress() {
    if (onProgress)
        onProgress(m_Progress);
}

void FolderPull::startNext() {
    if (m_Stage == Stage::Listing) {
        if (m_Next < m_Directories.size()) {
            m_Walk.list(m_Directories[m_Next].phonePath);
            return;
        }
        m_Stage = Stage::Sizing;
        m_Next = 0;
        m_Progress.filesTotal = m_Files.size();
    }
    if (m_Stage == Stage::Sizing) {
        if (m_Next < m_Files.size()) {
            m_Walk.stat(m_Files[m_Next].phonePath);
            return;
        }
        for (const Item& file : m_Files)
            m_Progress.bytesTotal += file.size.value_or(0);
        if (m_Front) {
            m_Front->setProgressRange(clamp32(m_Progress.bytesTotal));
            m_Front->setProgressPos(0);
        }
        reportProgress();
        m_Stage = Stage::Copying;
        m_Next = 0;
    }
    if (m_Stage == Stage::Copying) {
        for (; m_Next < m_Files.size(); ++m_Next) {
            const Item& file = m_Files[m_Next];
            log(formatLine("Copying '%s'... ", printableName(file.phonePath).c_str()));
            if (file.size && *file.size == 0) {
                // Nothing to read: the phone may answer an empty read-out with silence, and
                // what it expects after that is not known.
                std::string whyNot;
                const bool made = m_Target.makeEmptyFile(file.diskParts, &whyNot);
                settleWithoutReadOut(file, made, whyNot);
                continue;
            }
            m_BytesBeforeFile = m_Progress.bytesDone;
            std::string whyNot;
            const auto parent = m_Target.parentOf(file.diskParts, &whyNot);
            if (!parent) {
                settleWithoutReadOut(file, false, whyNot);
                continue;
            }
            m_Walk.read(file.phonePath, parent, file.diskParts.back());
            return;
        }
        // The engine's current directory moved with every listing; the front end's list and a
        // later delete's refresh expect the one it had.
        m_Stage = Stage::Restoring;
        m_Walk.list(m_RestoreDirectory, true);
        return;
    }
    if (m_Stage == Stage::Done)
        finish(std::nullopt);
}

void FolderPull::walked(const TreeWalkResult& result) {
    if (!m_Running)
        return;
    if (result.cutShort()) {
        finish(result.outcome);
        return;
    }
    switch (m_Stage) {
        case Stage::Listing:
            listed(result);
            ++m_Next;
            break;
        case Stage::Sizing:
            sized(result);
            ++m_Next;
            break;
        case Stage::Copying:
            copied(result.outcome);
            ++m_Next;
            break;
        case Stage::Restoring:
            m_Stage = Stage::Done;
            break;
        case Stage::Done:
            return;
    }
    startNext();
}

bool FolderPull::openRoot(const std::string& top) {
    // Everything below is made through this folder's descriptor: a link already standing in it
    // is never followed.
    std::string whyNot;
    if (m_Target.open(m_Folder, &whyNot))
        return true;
    fail(top, whyNot);
    m_LocalFailure = true;
    return false;
}

void FolderPull::listed(const TreeWalkResult& result) {
    const Item directory = m_Directories[m_Next];
    if (m_Next == 0) {
        if (!result.completed() && result.outcome.cause == FailureCause::NotOnPhone) {
            m_TopMissing = true;
            fail(directory.phonePath, result.outcome.detail);
            return;
        }
        if (!openRoot(directory.phonePath))
            return;
    }
    if (!result.completed()) {
        fail(directory.phonePath, "the listing failed: " + result.outcome.detail);
        return;
    }
    for (const ListedEntry& entry : result.entries) {
        const std::string shownPath = childPath(directory.phonePath, entry.utf8Name);
        if (entry.utf8Name.empty() || entry.utf8Name.find('/') != std::string::npos) {
            fail(shownPath, "the phone listed a name that is no name");
            continue;
        }
        if (!entry.localName) {
            fail(shownPath, "the name cannot be written in the code page");
            continue;
        }
        Item item{childPath(directory.phonePath, *entry.localName), directory.diskParts,
                  std::nullopt};
        item.diskParts.push_back(entry.utf8Name);
        // Two names of the phone never become one file (a name listed twice, or a file and a
        // folder of one name).
        if (!m_Target.claim(item.diskParts)) {
            fail(item.phonePath,
                 "another name of this copy already became " + m_Target.pathOf(item.diskParts));
            m_LocalFailure = true;
            continue;
        }
        if (!entry.directory) {
            m_Files.push_back(std::move(item));
            continue;
        }
        std::string whyNot;
        if (!m_Target.makeFolder(item.diskParts, &whyNot)) {
            fail(item.phonePath, whyNot);
            m_LocalFailure = true;
            continue;
        }
        ++m_Summary.directories;
        m_Directories.push_back(std::move(item));
    }
}

void FolderPull::sized(const TreeWalkResult& result) {
    // Without a status the file is still read out; only the total is short by its size.
    const auto& status = result.status;
    if (result.completed() && status && status->size >= 0)
        m_Files[m_Next].size = static_cast<std::uint64_t>(status->size);
}

void FolderPull::copied(const OperationOutcome& outcome) {
    Item& file = m_Files[m_Next];
    ++m_Progress.filesDone;
    if (outcome.completed()) {
        ++m_Summary.files;
        m_Summary.bytes += outcome.bytes;
        if (!file.size)
            m_Progress.bytesTotal += outcome.bytes;
        m_Progress.bytesDone = m_BytesBeforeFile + outcome.bytes;
        log("OK!\r\n");
    } else {
        // The engine removed the torn file: it has no place in a copy that may become an image.
        if (outcome.cause == FailureCause::File)
            m_LocalFailure = true;
        fail(file.phonePath, outcome.detail);
        m_Progress.bytesDone = m_BytesBeforeFile + file.size.value_or(0);
        log("Fail! (" + printableName(outcome.detail) + ")\r\n");
    }
    // A new range restarts a front end's rate: only when a file without a size moved it.
    if (m_Front) {
        if (!file.size && outcome.completed())
            m_Front->setProgressRange(clamp32(m_Progress.bytesTotal));
        m_Front->setProgressPos(clamp32(m_Progress.bytesDone));
    }
    reportProgress();
}

void FolderPull::finish(std::optional<OperationOutcome> abort) {
    m_Stage = Stage::Done;
    m_Summary.elapsedSeconds = m_Clock.nowSeconds() - m_Start;
    m_Summary.stopped = abort.has_value();
    for (const std::string& line : folderCopyClosingLog(m_Summary))
        log(line);
    const OperationOutcome outcome =
        folderCopyOutcome(m_Summary, abort, m_TopMissing, m_LocalFailure);
    ExplorerView* front = m_Front;
    release();
    if (front)
        front->operationEnded(outcome);
    if (onEnd)
        onEnd(m_Summary, outcome);
}

void FolderPull::readProgress(std::uint32_t position) {
    if (m_Stage == Stage::Copying && m_Front)
        m_Front->setProgressPos(clamp32(m_BytesBeforeFile + position));
}

}  // namespace zrk
