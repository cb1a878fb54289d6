// The Qt program's invoker: deliveries run on the GUI thread, and Close does not deadlock
// while the monitor thread waits on a queued delivery.
#include "serial/CommPort.h"
#include "serial/qt/QtMainThreadInvoker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <pty.h>
#include <unistd.h>

using namespace orvik;

namespace {

class ProbeComm : public TComm {
public:
    using TComm::TComm;
    using TCustomComm::GetMonitorThread;
};

struct QtInvoker : ::testing::Test {
    int Argc = 1;
    char Arg0[8] = "test";
    char* Argv[2] = {Arg0, nullptr};
    QCoreApplication App{Argc, Argv};
    int Master = -1;
    int Slave = -1;
    std::string Name;
    int Calls = 0;
    int Bytes = 0;
    bool OnGuiThread = true;
    std::shared_ptr<TQtMainThreadInvoker> Invoker = std::make_shared<TQtMainThreadInvoker>();
    ProbeComm Comm{Invoker};

    void SetUp() override {
        char name[256] = {};
        ASSERT_EQ(::openpty(&Master, &Slave, name, nullptr, nullptr), 0);
        Name = name;
        Comm.SetDeviceName(Name);
        Comm.OnRxChar = [this](TCustomComm* s, std::int32_t count) {
            OnGuiThread &= QThread::currentThread() == App.thread();
            ++Calls;
            char buf[256];
            Bytes += s->Read(buf, std::min<std::int32_t>(count, sizeof buf));
        };
        Comm.Open();
    }
    void TearDown() override {
        Comm.Close();
        ::close(Master);
        ::close(Slave);
    }
    bool ProcessUntil(const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return done();
    }
};

} // namespace

TEST_F(QtInvoker, DeliversOnTheGuiThread) {
    ASSERT_EQ(::write(Master, "hello", 5), 5);
    ASSERT_TRUE(ProcessUntil([&] { return Bytes == 5; }));
    EXPECT_TRUE(OnGuiThread);
}

TEST_F(QtInvoker, CloseServesAQueuedDeliveryWithoutDeadlock) {
    ASSERT_EQ(::write(Master, "abc", 3), 3);
    // The thread queues the delivery and blocks on it; this thread does not process events.
    for (int i = 0; i < 5000 && Invoker->Notifications() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(Invoker->Notifications(), 1u);
    EXPECT_EQ(Calls, 0);
    Comm.Close();
    EXPECT_EQ(Calls, 1);
    EXPECT_EQ(Comm.GetMonitorThread(), nullptr);
    QCoreApplication::processEvents(); // the queued job finds nothing to do
    EXPECT_EQ(Calls, 1);
}
