#include <gtest/gtest.h>

#include <QCoreApplication>

#include "window_messages.h"

namespace {

class Counter : public QObject {
public:
    int received = 0;
    std::string lastText;
    bool event(QEvent* e) override
    {
        if (e->type() != WindowMessage::eventType())
            return QObject::event(e);
        ++received;
        lastText = static_cast<WindowMessage*>(e)->text;
        return true;
    }
};

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "window-messages-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application = new QCoreApplication(argc, argv);
    return *application;
}

}  // namespace

TEST(WindowMessages, PostedMessagesArriveWithTheirText)
{
    app();
    Counter window;
    postWindowMessage(&window, WM_REC_SAVED, 250, 0, "/saved/take.wav");
    postWindowMessage(nullptr, WM_REC_SAVED);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.received, 1);
    EXPECT_EQ(window.lastText, "/saved/take.wav");
}

TEST(WindowMessages, AMessageWaitingInTheQueueIsNotPostedAgain)
{
    app();
    Counter window;
    std::atomic<bool> pending{false};
    EXPECT_TRUE(postWindowMessageOnce(&window, pending, WM_REC_LEVEL));
    EXPECT_FALSE(postWindowMessageOnce(&window, pending, WM_REC_LEVEL));
    EXPECT_FALSE(postWindowMessageOnce(&window, pending, WM_REC_LEVEL));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.received, 1);
    EXPECT_FALSE(pending);
    EXPECT_TRUE(postWindowMessageOnce(&window, pending, WM_REC_LEVEL));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.received, 2);
}

TEST(WindowMessages, AMessageDroppedWithItsWindowFreesTheFlag)
{
    app();
    std::atomic<bool> pending{false};
    {
        Counter window;
        EXPECT_TRUE(postWindowMessageOnce(&window, pending, WM_REC_LEVEL));
    }
    EXPECT_FALSE(pending);
}
