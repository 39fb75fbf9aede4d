#pragma once
// Carries one link's news from its watcher thread to the UI thread, where the link hands them
// to the handler on top of its owner stack (the main window's engine, or the explorer while it
// has the link). While a modal prompt is open the news waits until the last prompt is answered,
// so that a protocol step never runs inside another one; the main window and the explorer hold
// the same pump around their prompts.
#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "serial/LinkEvents.h"

namespace zrk {

class SerialLink;

class LinkPump : public QObject, public LinkEventSink {
  public:
    // Becomes the link's event sink; the link must be closed now and when the pump goes.
    explicit LinkPump(SerialLink& link, QObject* parent = nullptr);
    ~LinkPump() override;

    // Watcher thread: each only posts an event to this object.
    void postLinkData(SerialLink& link) override;
    void postLinkLost(SerialLink& link, std::uint64_t session, const std::string& reason) override;

    // Told on the UI thread whenever news of received bytes comes in, held or not; after the
    // handler had them when it was not held, so that what it accepted counts already.
    void setDataObserver(std::function<void()> observer) { m_DataObserver = std::move(observer); }

    void hold() { ++m_Holds; }
    void release();
    bool holding() const { return m_Holds > 0; }
    // Runs now, or once the prompts are answered (a timer tick, say).
    void runWhenFree(std::function<void()> work);

  protected:
    bool event(QEvent* event) override;

  private:
    SerialLink& m_Link;
    int m_Holds = 0;
    bool m_DataDeferred = false;
    struct Loss {
        std::uint64_t session;
        std::string reason;
    };
    std::optional<Loss> m_LossDeferred;
    std::vector<std::function<void()>> m_WorkDeferred;
    std::function<void()> m_DataObserver;
};

// Holds the pump for the life of a prompt.
class PromptHold {
  public:
    explicit PromptHold(LinkPump& pump) : m_Pump(pump) { m_Pump.hold(); }
    ~PromptHold() { m_Pump.release(); }
    PromptHold(const PromptHold&) = delete;
    PromptHold& operator=(const PromptHold&) = delete;

  private:
    LinkPump& m_Pump;
};

}  // namespace zrk
