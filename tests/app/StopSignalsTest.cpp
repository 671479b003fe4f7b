// SIGTERM and SIGINT reach the event loop as TStopSignals::Arrived, and the handlers that were
// there before come back afterwards. The signals are raised in this process only.
#include "app/StopSignals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace zadari {
namespace {

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 2000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

volatile std::sig_atomic_t g_before = 0;
extern "C" void CountBefore(int) {
    g_before = g_before + 1;
}

TEST(StopSignals, EachSignalArrivesOnTheEventLoop) {
    for (const int signalNumber : {SIGTERM, SIGINT}) {
        TStopSignals stop;
        ASSERT_TRUE(stop.Installed());
        int arrived = 0;
        QObject::connect(&stop, &TStopSignals::Arrived, &stop, [&arrived] { ++arrived; });
        std::raise(signalNumber);
        // Nothing happens inside the handler: the event loop delivers it.
        EXPECT_EQ(arrived, 0);
        ASSERT_TRUE(WaitFor([&] { return arrived == 1; })) << signalNumber;
        std::raise(signalNumber);
        ASSERT_TRUE(WaitFor([&] { return arrived == 2; })) << signalNumber;
    }
}

TEST(StopSignals, OneInstanceAtATimeAndThePreviousHandlersComeBack) {
    struct sigaction counting {};
    counting.sa_handler = CountBefore;
    sigemptyset(&counting.sa_mask);
    struct sigaction savedTerm {};
    struct sigaction savedInt {};
    ASSERT_EQ(::sigaction(SIGTERM, &counting, &savedTerm), 0);
    ASSERT_EQ(::sigaction(SIGINT, &counting, &savedInt), 0);
    {
        TStopSignals first;
        TStopSignals second;
        EXPECT_TRUE(first.Installed());
        EXPECT_FALSE(second.Installed());
        std::raise(SIGTERM);
        EXPECT_EQ(g_before, 0);
    }
    std::raise(SIGTERM);
    std::raise(SIGINT);
    EXPECT_EQ(g_before, 2);
    ::sigaction(SIGTERM, &savedTerm, nullptr);
    ::sigaction(SIGINT, &savedInt, nullptr);
}

} // namespace
} // namespace zadari
