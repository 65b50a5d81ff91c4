// Posting window messages through Qt's event queue.
#include "window_messages.h"

#include <QCoreApplication>

QEvent::Type WindowMessage::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void postWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                       std::string text)
{
    if (window)
        QCoreApplication::postEvent(window,
                                    new WindowMessage(message, wParam, lParam, std::move(text)));
}

bool postWindowMessageOnce(WindowHandle window, std::atomic<bool>& pending, uint32_t message,
                           uintptr_t wParam, intptr_t lParam)
{
    if (!window || pending.exchange(true, std::memory_order_acq_rel))
        return false;
    auto* event = new WindowMessage(message, wParam, lParam);
    event->pending_ = &pending;
    QCoreApplication::postEvent(window, event);
    return true;
}

bool postWindowMessageOnce(WindowHandle window, const std::shared_ptr<std::atomic<bool>>& pending,
                           uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (!window || !pending || pending->exchange(true, std::memory_order_acq_rel))
        return false;
    auto* event = new WindowMessage(message, wParam, lParam);
    event->sharedPending_ = pending;
    QCoreApplication::postEvent(window, event);
    return true;
}
