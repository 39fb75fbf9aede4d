#include "filesystem/explorer/TreeWalk.h"

#include "files/OutputFolder.h"
#include "filesystem/explorer/ExplorerEngine.h"

namespace zrk {

void TreeWalk::attach() {
    m_Engine.setListener(this);
    m_Attached = true;
}

void TreeWalk::detach() {
    if (!m_Attached)
        return;
    m_Attached = false;
    m_Pending.clear();
    if (m_Engine.listener() == this)
        m_Engine.setListener(nullptr);
}

void TreeWalk::request(TreeWalkResult::Exchange exchange, const std::string& phonePath,
                       const std::function<void()>& start) {
    m_Exchange = exchange;
    m_PhonePath = phonePath;
    ++m_Requesting;
    start();
    --m_Requesting;
    deliver();
}

void TreeWalk::mount() {
    request(TreeWalkResult::Exchange::Mount, "/", [this] { m_Engine.open(); });
}

void TreeWalk::list(const std::string& phonePath, bool shownToFrontEnd) {
    m_Engine.showList(shownToFrontEnd);
    request(TreeWalkResult::Exchange::List, phonePath,
            [this, &phonePath] { m_Engine.listDirectory(phonePath); });
}

void TreeWalk::stat(const std::string& phonePath) {
    request(TreeWalkResult::Exchange::Stat, phonePath,
            [this, &phonePath] { m_Engine.fileStatus(phonePath); });
}

void TreeWalk::read(const std::string& phonePath, std::shared_ptr<OutputFolder> folder,
                    const std::string& name, OutputFile::Existing existing) {
    request(TreeWalkResult::Exchange::Read, phonePath,
            [&] { m_Engine.readOutInto(phonePath, std::move(folder), name, existing); });
}

void TreeWalk::exit() {
    request(TreeWalkResult::Exchange::Exit, {}, [this] { m_Engine.exit(); });
}

void TreeWalk::exchangeEnded(const OperationOutcome& outcome,
                             const std::optional<Failure>& failure) {
    TreeWalkResult result;
    result.exchange = m_Exchange;
    result.phonePath = m_PhonePath;
    result.outcome = outcome;
    if (!outcome.completed())
        result.failure = failure;
    if (outcome.completed()) {
        if (m_Exchange == TreeWalkResult::Exchange::List ||
            m_Exchange == TreeWalkResult::Exchange::Mount)
            result.entries = m_Engine.listedEntries();
        if (m_Exchange == TreeWalkResult::Exchange::Stat)
            result.status = m_Engine.lastStatus();
    }
    m_Pending.push_back(std::move(result));
    deliver();
}

void TreeWalk::deliver() {
    // Inside a request or a result: the loop below, one level up, takes it.
    if (m_Requesting > 0 || m_Delivering)
        return;
    m_Delivering = true;
    while (m_Attached && !m_Pending.empty()) {
        const TreeWalkResult result = std::move(m_Pending.front());
        m_Pending.pop_front();
        if (onResult)
            onResult(result);
    }
    m_Delivering = false;
}

void TreeWalk::readProgress(std::uint32_t bytes) {
    if (onReadProgress)
        onReadProgress(bytes);
}

void TreeWalk::startQuietTimer(int milliseconds) {
    if (onStartQuietTimer)
        onStartQuietTimer(milliseconds);
}

void TreeWalk::stopQuietTimer() {
    if (onStopQuietTimer)
        onStopQuietTimer();
}

void TreeWalk::linkGivenBack() {
    if (onGivenBack)
        onGivenBack();
}

}  // namespace zrk
