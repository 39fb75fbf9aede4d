#include "filesystem/explorer/ExplorerLine.h"

#include "engine/SafeText.h"
#include "engine/TextFormat.h"
#include "serial/SerialLink.h"

namespace zrk {

using namespace explorer;
using State = ExplorerState;

std::string shownPath(const std::string& path, const TextEncoding& encoding) {
    std::size_t end = path.size();
    while (end > 0 && (path[end - 1] == '\r' || path[end - 1] == '\n'))
        --end;
    return printableName(path.substr(0, end), encoding) + path.substr(end);
}

ExplorerLine::ExplorerLine(SerialLink& link_, ExplorerView* view_, CodePage codePage_,
                           Clock& clock_, std::uint32_t nandPages_)
    : link(link_),
      codePage(std::move(codePage_)),
      names(textEncodingOf(codePage)),
      clock(clock_),
      nandPages(nandPages_),
      view(view_) {}

void ExplorerLine::log(std::string_view text) {
    if (auto* v = shown())
        v->appendLog(text);
}

void ExplorerLine::setLogText(const std::string& text) {
    if (auto* v = shown())
        v->setLogText(text);
}

void ExplorerLine::setControls(bool enabled) {
    if (auto* v = shown())
        v->setWorkingControlsEnabled(enabled);
}

void ExplorerLine::setTree(bool enabled) {
    if (auto* v = shown())
        v->setTreeEnabled(enabled);
}

void ExplorerLine::message(const std::string& text, MessageIcon icon) {
    if (auto* v = shown())
        v->messageBox(text, icon);
}

void ExplorerLine::progressRange(std::uint32_t total) {
    if (auto* v = shown())
        v->setProgressRange(total);
}

void ExplorerLine::progress(std::uint32_t position) {
    if (listener)
        listener->readProgress(position);
    else if (view)
        view->setProgressPos(position);
}

void ExplorerLine::addFileLine(const std::string& text) {
    if (view && (!listener || listShown))
        view->addFileLine(text);
}

void ExplorerLine::clearFileList() {
    if (view && (!listener || listShown))
        view->clearFileList();
}

void ExplorerLine::addDirectoryNode(const std::string& parentPath, const std::string& name) {
    // The tree is filled once per node: the front end's tree must follow even while a walk
    // runs the listings, or it never gets these nodes.
    if (view)
        view->addDirectoryNode(parentPath, name);
}

void ExplorerLine::startQuietTimer(int milliseconds) {
    if (listener)
        listener->startQuietTimer(milliseconds);
    else if (view)
        view->startQuietTimer(milliseconds);
}

void ExplorerLine::stopQuietTimer() {
    if (listener)
        listener->stopQuietTimer();
    else if (view)
        view->stopQuietTimer();
}

void ExplorerLine::send(std::initializer_list<std::uint8_t> bytes) {
    send(std::span<const std::uint8_t>(bytes.begin(), bytes.size()));
}

void ExplorerLine::send(std::span<const std::uint8_t> bytes) {
    if (!bytes.empty())
        link.write(bytes.data(), bytes.size());
}

void ExplorerLine::expectFrame(std::size_t bytes) {
    frameWanted = bytes;
    if (pump)
        pump->followFrameRequest(bytes);
}

void ExplorerLine::beginExchange() {
    m_Tracking = true;
    m_LastFailure.reset();
    done = 0;
    restartClock();
}

void ExplorerLine::end(OutcomeKind kind, FailureCause cause, const std::string& detail) {
    if (!m_Tracking)
        return;
    m_Tracking = false;
    OperationOutcome outcome = closingOutcome(kind, cause, detail);
    outcome.bytes = done;
    if (kind == OutcomeKind::Failed && m_LastFailure)
        outcome.failure = *m_LastFailure;
    if (listener)
        listener->exchangeEnded(outcome, m_LastFailure);
    else if (view)
        view->operationEnded(outcome);
}

void ExplorerLine::fail(Failure failure) {
    if (!m_Tracking)
        return;
    m_LastFailure = failure;
    end(OutcomeKind::Failed, failure.cause, failure.detail);
}

OperationOutcome ExplorerLine::closingOutcome(OutcomeKind kind, FailureCause cause,
                                              const std::string& detail) const {
    OperationOutcome outcome;
    outcome.operation = Operation::Explorer;
    outcome.kind = kind;
    outcome.cause = cause;
    outcome.detail = detail;
    outcome.elapsedSeconds = clock.nowSeconds() - m_ExchangeStart;
    return outcome;
}

std::optional<std::string> ExplorerLine::toUtf8Field(const std::string& local) {
    if (local.size() > kNameField) {
        log("MultibyteToUTF8 ERROR");
        return std::nullopt;
    }
    auto utf8 = codePage.toUtf8(local);
    if (!utf8) {
        log("MultibyteToUTF8 ERROR");
        return std::nullopt;
    }
    utf8->push_back('\0');
    return utf8;
}

std::optional<std::string> ExplorerLine::convertFullPath(const char* exchange,
                                                         const std::string& fullPath,
                                                         const char* tooLong) {
    // The full path field holds 500 bytes with its NUL; a longer path is refused here.
    const bool fits = fullPath.size() < kFullPathField;
    std::optional<std::string> utf8;
    if (fits)
        utf8 = toUtf8Field(fullPath);
    if (!fits || (utf8 && utf8->size() > kNameField)) {
        if (tooLong)
            log(formatLine(tooLong, shownPath(fullPath, names).c_str()));
        utf8.reset();
    }
    if (!utf8) {
        state = State::EXPLORER_IDLE;
        fail({exchange, static_cast<std::int32_t>(State::EXPLORER_IDLE), std::nullopt, std::nullopt,
              FailureCause::Refused, "the file name does not fit"});
    }
    return utf8;
}

Exchange ExplorerExchange::exchange(State state) const {
    return Exchange(m_Name, static_cast<std::int32_t>(state));
}

Exchange ExplorerExchange::namedRequest(State state, std::uint8_t command,
                                        const std::string& utf8) const {
    const auto n = utf8.size();
    Exchange request = exchange(state);
    request.send({command, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    request.sendBorrowed(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()));
    return request;
}

void ExplorerExchange::sayRefusal(Failure& failure) const {
    if (failure.got != FAIL_NOT_FOUND)
        return;
    failure.cause = FailureCause::NotOnPhone;
    failure.detail = "no such file on the phone: " + shownPath(m_Asked, m_Line.names);
}

void ExplorerExchange::failHere(FailureCause cause, const std::string& detail) {
    const State at = m_Line.state;
    m_Line.state = State::EXPLORER_IDLE;
    m_Line.fail({m_Name, static_cast<std::int32_t>(at), std::nullopt, std::nullopt, cause, detail});
}

}  // namespace zrk
