#include "platform/WakeSignal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace lurvik {

namespace {
// A wait may return early; a taker looks again until the signal comes or its time is up.
bool takeWithin(WakeSignal& signal, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline)
        if (signal.wait(static_cast<int>(limit.count())))
            return true;
    return false;
}
} // namespace

// A signal given while nobody waits is kept for the next wait, and signals given together are taken
// as one; with none pending a wait gives up after its time.
TEST(WakeSignal, KeepsOneSignalForTheNextWait) {
    WakeSignal signal;
    EXPECT_FALSE(signal.wait(0));
    EXPECT_FALSE(signal.wait(20)) << "nothing signalled: the time runs out";
    signal.notify();
    signal.notify();
    EXPECT_TRUE(signal.wait(0));
    EXPECT_FALSE(signal.wait(0)) << "two signals before a wait are one";
    signal.notify();
    EXPECT_TRUE(signal.wait(-1)) << "a pending signal ends even an unbounded wait at once";
}

// Two threads hand a turn back and forth: a wake lost between a waiter's last look and its sleep
// would leave both waiting, and a round would run out of time.
TEST(WakeSignal, LosesNoWakeBetweenTwoThreads) {
    WakeSignal ping;
    WakeSignal pong;
    constexpr int kRounds = 20000;
    constexpr std::chrono::seconds kRoundLimit{5};
    std::atomic<int> missed{0};
    std::thread other([&] {
        for (int round = 0; round < kRounds && missed == 0; ++round) {
            if (!takeWithin(ping, kRoundLimit)) {
                ++missed;
                return;
            }
            pong.notify();
        }
    });
    for (int round = 0; round < kRounds && missed == 0; ++round) {
        ping.notify();
        if (!takeWithin(pong, kRoundLimit))
            ++missed;
    }
    other.join();
    EXPECT_EQ(missed.load(), 0);
}

} // namespace lurvik
