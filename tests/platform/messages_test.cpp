// Window messages: delivered in order on the receiver's thread with their
// parameters, also when posted from another thread; DelayMs keeps
// dispatching while it waits.
#include "platform/runtime/messages.h"

#include <QThread>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

struct Received {
    unsigned msg;
    std::uintptr_t w;
    std::intptr_t l;
    bool onOwnThread;
};

class Receiver : public QObject {
public:
    std::vector<Received> got;

protected:
    bool event(QEvent *e) override
    {
        if (const auto *m = platform::AsWindowMessage(e)) {
            got.push_back({m->msg, m->wParam, m->lParam, QThread::currentThread() == thread()});
            return true;
        }
        return QObject::event(e);
    }
};

} // namespace

TEST(WindowMessages, ArriveInOrderWithTheirParametersOnTheReceiversThread)
{
    Receiver r;
    std::thread worker([&] {
        for (unsigned i = 0; i < 100; ++i)
            platform::PostMessage(&r, platform::WM_USER + i, i, -static_cast<long>(i));
    });
    worker.join();
    platform::PostMessage(&r, platform::MM_WIM_DATA, 7, -12345);
    EXPECT_TRUE(r.got.empty()); // nothing is delivered before the loop runs
    platform::DelayMs(20);
    ASSERT_EQ(r.got.size(), 101u);
    for (unsigned i = 0; i < 100; ++i) {
        EXPECT_EQ(r.got[i].msg, platform::WM_USER + i);
        EXPECT_EQ(r.got[i].l, -static_cast<long>(i));
        EXPECT_TRUE(r.got[i].onOwnThread);
    }
    EXPECT_EQ(r.got[100].msg, platform::MM_WIM_DATA);
    EXPECT_EQ(r.got[100].w, 7u);
    EXPECT_EQ(r.got[100].l, -12345);
    EXPECT_FALSE(platform::PostMessage(nullptr, platform::WM_USER));
}

TEST(DelayMs, WaitsAtLeastTheTimeByTheMillisecondClock)
{
    const std::uint32_t t0 = platform::TimeGetTime();
    platform::DelayMs(30);
    EXPECT_GE(platform::TimeGetTime() - t0, 30u);
}
