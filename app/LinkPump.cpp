#include "app/LinkPump.h"

#include <QCoreApplication>
#include <QEvent>

#include "serial/SerialLink.h"

namespace zrk {
namespace {

const QEvent::Type kDataEvent = static_cast<QEvent::Type>(QEvent::User + 401);
const QEvent::Type kLostEvent = static_cast<QEvent::Type>(QEvent::User + 402);

class LossEvent : public QEvent {
  public:
    LossEvent(std::uint64_t linkSession, std::string why)
        : QEvent(kLostEvent), session(linkSession), reason(std::move(why)) {}
    std::uint64_t session;
    std::string reason;
};

}  // namespace

LinkPump::LinkPump(SerialLink& link, QObject* parent) : QObject(parent), m_Link(link) {
    m_Link.setEventSink(this);
}

LinkPump::~LinkPump() {
    if (m_Link.eventSink() == this)
        m_Link.setEventSink(nullptr);
}

void LinkPump::postLinkData(SerialLink&) {
    QCoreApplication::postEvent(this, new QEvent(kDataEvent));
}

void LinkPump::postLinkLost(SerialLink&, std::uint64_t session, const std::string& reason) {
    QCoreApplication::postEvent(this, new LossEvent(session, reason));
}

void LinkPump::release() {
    if (--m_Holds > 0)
        return;
    // Posted, not run: the step that asked the question is still on the stack.
    if (m_DataDeferred) {
        m_DataDeferred = false;
        QCoreApplication::postEvent(this, new QEvent(kDataEvent));
    }
    if (m_LossDeferred) {
        QCoreApplication::postEvent(this,
                                    new LossEvent(m_LossDeferred->session, m_LossDeferred->reason));
        m_LossDeferred.reset();
    }
    for (auto& work : m_WorkDeferred)
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
    m_WorkDeferred.clear();
}

void LinkPump::runWhenFree(std::function<void()> work) {
    if (holding())
        m_WorkDeferred.push_back(std::move(work));
    else
        work();
}

bool LinkPump::event(QEvent* event) {
    if (event->type() == kDataEvent) {
        if (holding())
            m_DataDeferred = true;
        else
            m_Link.deliverData();
        if (m_DataObserver)
            m_DataObserver();
        return true;
    }
    if (event->type() == kLostEvent) {
        const auto* loss = static_cast<LossEvent*>(event);
        if (holding())
            m_LossDeferred = Loss{loss->session, loss->reason};
        else
            m_Link.deliverLinkLost(loss->session, loss->reason);
        return true;
    }
    return QObject::event(event);
}

}  // namespace zrk
