// Window messages: delivered in order on the receiver's thread, also when
// posted from another thread; DelayMs keeps dispatching while it waits.
#include "platform/messages.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

class Receiver : public QObject {
public:
    std::vector<unsigned> got;
    std::vector<bool> onOwnThread;

protected:
    bool event(QEvent *e) override
    {
        if (const auto *m = platform::AsWindowMessage(e)) {
            got.push_back(m->msg);
            onOwnThread.push_back(QThread::currentThread() == thread());
            return true;
        }
        return QObject::event(e);
    }
};

} // namespace

TEST(WindowMessages, ArriveInOrderOnTheReceiversThread)
{
    Receiver r;
    std::thread worker([&] {
        for (unsigned i = 0; i < 100; ++i)
            platform::PostMessage(&r, platform::WM_USER + i, i, -static_cast<long>(i));
    });
    worker.join();
    platform::PostMessage(&r, platform::WM_USER + 100);
    EXPECT_TRUE(r.got.empty()); // nothing is delivered before the loop runs
    platform::DelayMs(20);
    ASSERT_EQ(r.got.size(), 101u);
    for (unsigned i = 0; i <= 100; ++i)
        EXPECT_EQ(r.got[i], platform::WM_USER + i);
    for (bool own : r.onOwnThread)
        EXPECT_TRUE(own);
}

TEST(WindowMessages, ParametersTravelWithTheMessage)
{
    struct Probe : QObject {
        std::uintptr_t w = 0;
        std::intptr_t l = 0;
        bool event(QEvent *e) override
        {
            if (const auto *m = platform::AsWindowMessage(e)) {
                w = m->wParam;
                l = m->lParam;
                return true;
            }
            return QObject::event(e);
        }
    } p;
    platform::PostMessage(&p, platform::MM_WIM_DATA, 7, -12345);
    platform::ProcessPendingMessage();
    EXPECT_EQ(p.w, 7u);
    EXPECT_EQ(p.l, -12345);
    EXPECT_FALSE(platform::PostMessage(nullptr, platform::WM_USER));
}

TEST(DelayMs, WaitsAtLeastTheTimeByTheMillisecondClock)
{
    std::uint32_t t0 = platform::TimeGetTime();
    platform::DelayMs(30);
    std::uint32_t t1 = platform::TimeGetTime();
    EXPECT_GE(t1 - t0, 30u);
    EXPECT_LT(t1 - t0, 1000u);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
