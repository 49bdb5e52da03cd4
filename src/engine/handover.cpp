#include "engine/handover.h"

#include <QCoreApplication>
#include <QEvent>

#include "engine/tsan.h"

namespace {
struct HandOverEvent : QEvent {
    explicit HandOverEvent(std::function<void()> work) : QEvent(eventType()), work(std::move(work)) {}
    static QEvent::Type eventType()
    {
        static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
        return type;
    }
    const std::function<void()> work;
};
}  // namespace

void handOver(QObject* receiver, std::function<void()> work)
{
    auto* event = new HandOverEvent(std::move(work));
    // After the last write to the event: the receiving thread acquires it before reading it.
    SORVIX_HANDOVER_SEND(event);
    QCoreApplication::postEvent(receiver, event);
}

bool runHandOver(QEvent* event)
{
    // Before anything is read of the event: a hand-over was written on another thread.
    SORVIX_HANDOVER_RECEIVE(event);
    if (event->type() != HandOverEvent::eventType()) return false;
    static_cast<HandOverEvent*>(event)->work();
    return true;
}
