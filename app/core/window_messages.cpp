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
