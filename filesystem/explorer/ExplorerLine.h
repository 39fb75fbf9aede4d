#pragma once
// What every explorer exchange touches: the link and its reply pump, the front end's view (or
// nobody's, while a tree walk runs the exchanges), the code page, the clock, the one state
// number, and the one way an exchange ends with its outcome. The exchanges share it; the engine
// owns it.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Clock.h"
#include "engine/Outcome.h"
#include "engine/ReplyPump.h"
#include "filesystem/CodePage.h"
#include "filesystem/explorer/ExplorerStates.h"
#include "filesystem/explorer/ExplorerTypes.h"
#include "filesystem/explorer/ExplorerView.h"
#include "filesystem/explorer/ReplyJudge.h"

namespace zrk {

class SerialLink;

// Who hears how each exchange went while a tree walk runs them instead of a person: the walk
// takes the typed results, the front end's log and controls stay as they were.
class ExchangeListener {
  public:
    virtual ~ExchangeListener() = default;
    // Bytes of the read-out in flight so far.
    virtual void readProgress(std::uint32_t bytes) = 0;
    virtual void exchangeEnded(const OperationOutcome& outcome,
                               const std::optional<Failure>& failure) = 0;
    // The empty read-out's quiet timer; the walk's owner runs it.
    virtual void startQuietTimer(int milliseconds) = 0;
    virtual void stopQuietTimer() = 0;
    // The closing exchange is over and the link is back with its previous owner.
    virtual void linkGivenBack() = 0;
};

class ExplorerLine {
  public:
    using State = explorer::ExplorerState;

    ExplorerLine(SerialLink& link, ExplorerView* view, CodePage codePage, Clock& clock,
                 std::uint32_t nandPages);

    SerialLink& link;
    ReplyPump* pump = nullptr;
    CodePage codePage;
    const TextEncoding names;  // what is printable in codePage's text
    Clock& clock;
    const std::uint32_t nandPages;
    State state = State::EXPLORER_IDLE;
    std::uint32_t done = 0;  // bytes of the exchange in flight
    std::size_t frameWanted = 0;

    // The front end, or nullptr. While a listener is set, the front end sees only the tree's
    // new directories (and the file list when the walk asks for it).
    ExplorerView* view = nullptr;
    ExchangeListener* listener = nullptr;
    bool listShown = true;  // with a listener: the file list still follows the listing

    // The view the exchange's texts, progress, questions and controls go to: none while a walk
    // runs the exchanges.
    ExplorerView* shown() const { return listener ? nullptr : view; }
    void log(std::string_view text);
    void setLogText(const std::string& text);
    void setControls(bool enabled);
    void setTree(bool enabled);
    void message(const std::string& text, MessageIcon icon);
    void progressRange(std::uint32_t total);
    void progress(std::uint32_t position);
    void addFileLine(const std::string& text);
    void clearFileList();
    void addDirectoryNode(const std::string& parentPath, const std::string& name);
    void startQuietTimer(int milliseconds);
    void stopQuietTimer();

    void send(std::initializer_list<std::uint8_t> bytes);
    void send(std::span<const std::uint8_t> bytes);
    // Every byte that comes while no frame is awaited goes here.
    ReplyJudge replies{*this};
    // The next delivery is a frame of this many bytes (0: single bytes again).
    void expectFrame(std::size_t bytes);

    // A new exchange from the user: its outcome is told once, by end.
    void beginExchange();
    bool tracking() const { return m_Tracking; }
    void end(OutcomeKind kind, FailureCause cause = FailureCause::None,
             const std::string& detail = {});
    // Ends the exchange failed with its typed failure.
    void fail(Failure failure);
    const std::optional<Failure>& lastFailure() const { return m_LastFailure; }
    OperationOutcome closingOutcome(OutcomeKind kind, FailureCause cause = FailureCause::None,
                                    const std::string& detail = {}) const;
    void restartClock() { m_ExchangeStart = clock.nowSeconds(); }

    // A name in the local code page as a NUL-ended UTF-8 field; nullopt (logged) when it
    // does not convert or does not fit.
    std::optional<std::string> toUtf8Field(const std::string& local);
    // A full path as its field, refused (the exchange over, failed) when it does not fit.
    std::optional<std::string> convertFullPath(const char* exchange, const std::string& fullPath,
                                               const char* tooLong);

  private:
    bool m_Tracking = false;
    std::int64_t m_ExchangeStart = 0;
    std::optional<Failure> m_LastFailure;
};

// A path for the log: what came from the phone is shown, never obeyed; the line break a list
// item carries at its end stays, as the log has always shown it.
std::string shownPath(const std::string& path, const TextEncoding& encoding);

// One exchange of the explorer: it begins from a user's action (its own entry points), asks the
// phone in steps whose replies the line's judge weighs, takes the frames of the states it owns,
// and ends through the line.
class ExplorerExchange {
  public:
    using State = explorer::ExplorerState;

    ExplorerExchange(ExplorerLine& line, const char* name) : m_Line(line), m_Name(name) {}
    virtual ~ExplorerExchange() = default;
    ExplorerExchange(const ExplorerExchange&) = delete;
    ExplorerExchange& operator=(const ExplorerExchange&) = delete;

    const char* name() const { return m_Name; }
    virtual void onFrame(std::span<const std::uint8_t> frame) { (void)frame; }
    // A wrong reply, logged, is about to fail this exchange while the line still waits in its
    // state: what the exchange must tidy up first, and the failure in its own words where they
    // are not the judge's.
    virtual void beforeFailing(Failure& failure) { (void)failure; }

  protected:
    // An exchange of this one, waiting in state.
    Exchange exchange(State state) const;
    // A command with a 16-bit big-endian length and a name in UTF-8, sent from where utf8 is:
    // it must outlive the ask.
    Exchange namedRequest(State state, std::uint8_t command, const std::string& utf8) const;
    void ask(Exchange&& exchange) { m_Line.replies.begin(std::move(exchange), this); }
    // The phone's refusal of a named file: its "not found" is a name the phone does not hold,
    // said as such; any other code stays a wrong reply.
    void sayRefusal(Failure& failure) const;
    // Ends this exchange failed without a wrong reply (a refusal, a file, a bad checksum).
    void failHere(FailureCause cause, const std::string& detail);

    ExplorerLine& m_Line;
    std::string m_Asked;  // the full path the exchange in flight named to the phone

  private:
    const char* m_Name;
};

}  // namespace zrk
