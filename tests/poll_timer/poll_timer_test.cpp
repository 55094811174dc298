// SPDX-License-Identifier: MIT
#include "core/runtime_error.h"
#include "ui/poll_timer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef Q_OS_LINUX
#include <cstdio>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace core;
using namespace ui;

namespace {

using namespace std::chrono_literals;

// Which clock paces the ticks: the timerfd, or QTimer when no descriptor is left.
enum class Pacing { Native, QTimerFallback };

#ifdef Q_OS_LINUX
std::vector<int> open_timerfds()
{
    std::vector<int> found;
    for (int fd = 0; fd < 4096; ++fd) {
        char target[64] = {};
        const auto path = "/proc/self/fd/" + std::to_string(fd);
        const auto length = readlink(path.c_str(), target, sizeof target - 1);
        if (length > 0
            && std::string(target, static_cast<std::size_t>(length)) == "anon_inode:[timerfd]")
            found.push_back(fd);
    }
    return found;
}

// Takes every descriptor there is for as long as it lives.
class DescriptorsExhausted {
public:
    DescriptorsExhausted()
    {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit low = saved_;
        low.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 1024);
        setrlimit(RLIMIT_NOFILE, &low);
        for (int fd = dup(0); fd >= 0; fd = dup(0))
            held_.push_back(fd);
    }
    DescriptorsExhausted(const DescriptorsExhausted&) = delete;
    DescriptorsExhausted& operator=(const DescriptorsExhausted&) = delete;
    ~DescriptorsExhausted()
    {
        for (const int fd : held_)
            close(fd);
        setrlimit(RLIMIT_NOFILE, &saved_);
    }

private:
    rlimit saved_ {};
    std::vector<int> held_;
};
#endif

class PollTimerTest : public testing::TestWithParam<Pacing> {
protected:
    void SetUp() override
    {
#ifdef Q_OS_LINUX
        const auto before = open_timerfds().size();
        if (GetParam() == Pacing::QTimerFallback) {
            const DescriptorsExhausted exhausted;
            timer = std::make_unique<PollTimer>();
        } else {
            timer = std::make_unique<PollTimer>();
        }
        const auto expected = before + (GetParam() == Pacing::Native ? 1 : 0);
        ASSERT_EQ(open_timerfds().size(), expected);
#else
        if (GetParam() == Pacing::QTimerFallback)
            GTEST_SKIP() << "QTimer is the only pacing here";
        timer = std::make_unique<PollTimer>();
#endif
        QObject::connect(timer.get(), &PollTimer::tick, timer.get(), [this] { ++ticks; });
    }

    // Ticks that come within the given time of event processing.
    int ticks_within(std::chrono::milliseconds span)
    {
        const int before = ticks;
        QTest::qWait(static_cast<int>(span.count()));
        return ticks - before;
    }

    bool wait_for_ticks(int count)
    {
        return QTest::qWaitFor([&] { return ticks >= count; }, 10'000);
    }

    std::unique_ptr<PollTimer> timer;
    int ticks = 0;
};

TEST_P(PollTimerTest, IsLaidOutDisabledAt10Milliseconds)
{
    EXPECT_FALSE(timer->isEnabled());
    EXPECT_EQ(timer->interval(), 10);
    EXPECT_EQ(ticks_within(50ms), 0);
}

TEST_P(PollTimerTest, RefusesANegativeIntervalAndChangesNothing)
{
    for (const bool enabled : { false, true }) {
        for (const int interval : { -1, -1000, INT_MIN }) {
            timer->setEnabled(false);
            timer->setInterval(25'000);
            timer->setEnabled(enabled);
            try {
                timer->setInterval(interval);
                ADD_FAILURE() << interval << " was accepted";
            } catch (const RuntimeError& error) {
                EXPECT_EQ(error.kind(), RuntimeError::Kind::InvalidPropertyValue) << interval;
            }
            EXPECT_EQ(timer->interval(), 25'000) << interval;
            EXPECT_EQ(timer->isEnabled(), enabled) << interval;
        }
    }
}

TEST_P(PollTimerTest, TicksWhileEnabledAndStopsAtOnceWhenDisabled)
{
    timer->setInterval(1);
    timer->setEnabled(true);
    ASSERT_TRUE(wait_for_ticks(3));
    timer->setEnabled(false);
    EXPECT_EQ(ticks_within(50ms), 0);
}

TEST_P(PollTimerTest, DisablingDropsATickAlreadyDue)
{
    timer->setInterval(1);
    timer->setEnabled(true);
    std::this_thread::sleep_for(30ms);
    timer->setEnabled(false);
    EXPECT_EQ(ticks_within(50ms), 0);
}

TEST_P(PollTimerTest, LateTicksMakeOneTick)
{
    timer->setInterval(1);
    timer->setEnabled(true);
    std::this_thread::sleep_for(30ms);
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 1);
}

// 0 means enabled but no tick ever comes; the largest interval is taken and never comes due.
TEST_P(PollTimerTest, ZeroAndTheLargestIntervalNeverTick)
{
    for (const int interval : { 0, INT_MAX }) {
        for (const bool while_ticking : { false, true }) {
            timer->setEnabled(false);
            timer->setInterval(while_ticking ? 1 : interval);
            timer->setEnabled(true);
            if (while_ticking) {
                // A tick falls due here and is never handled.
                std::this_thread::sleep_for(5ms);
                timer->setInterval(interval);
            }
            const auto row = std::to_string(interval) + (while_ticking ? " set while ticking" : "");
            EXPECT_TRUE(timer->isEnabled()) << row;
            EXPECT_EQ(timer->interval(), interval) << row;
            EXPECT_EQ(ticks_within(200ms), 0) << row;
        }
    }
}

TEST_P(PollTimerTest, AHandlerInANestedEventLoopGetsNoSecondTick)
{
    int depth = 0;
    int deepest = 0;
    QObject::connect(timer.get(), &PollTimer::tick, timer.get(), [&] {
        deepest = std::max(deepest, ++depth);
        if (ticks == 1) {
            QEventLoop modal;
            QTimer::singleShot(20, &modal, &QEventLoop::quit);
            modal.exec();
            EXPECT_EQ(ticks, 1) << "a tick came inside the nested loop";
        }
        --depth;
    });
    timer->setInterval(1);
    timer->setEnabled(true);
    ASSERT_TRUE(wait_for_ticks(3)) << "ticks did not resume after the nested loop";
    EXPECT_EQ(deepest, 1);
}

TEST_P(PollTimerTest, AHandlerMayStopOrRetimeTheTimer)
{
    struct Row {
        const char* name;
        void (*during_tick)(PollTimer&);
        bool enabled_after;
    };
    const Row rows[] = {
        { "disables", [](PollTimer& t) { t.setEnabled(false); }, false },
        { "sets interval 0", [](PollTimer& t) { t.setInterval(0); }, true },
        { "sets the largest interval", [](PollTimer& t) { t.setInterval(INT_MAX); }, true },
    };
    for (const auto& row : rows) {
        timer->setEnabled(false);
        timer->setInterval(1);
        const auto connection = QObject::connect(
            timer.get(), &PollTimer::tick, timer.get(), [&] { row.during_tick(*timer); });
        ticks = 0;
        timer->setEnabled(true);
        ASSERT_TRUE(wait_for_ticks(1)) << row.name;
        EXPECT_EQ(ticks_within(50ms), 0) << row.name;
        EXPECT_EQ(timer->isEnabled(), row.enabled_after) << row.name;
        QObject::disconnect(connection);
    }
}

TEST_P(PollTimerTest, AHandlerMayDeleteTheTimer)
{
    QObject::connect(timer.get(), &PollTimer::tick, timer.get(), [&] { timer.reset(); });
    timer->setInterval(1);
    timer->setEnabled(true);
    ASSERT_TRUE(wait_for_ticks(1));
    EXPECT_EQ(timer, nullptr);
    EXPECT_EQ(ticks_within(20ms), 0);
}

INSTANTIATE_TEST_SUITE_P(Pacing, PollTimerTest,
    testing::Values(Pacing::Native, Pacing::QTimerFallback),
    [](const testing::TestParamInfo<Pacing>& row) {
        return row.param == Pacing::Native ? "Native" : "QTimerFallback";
    });

#ifdef Q_OS_LINUX
// The kernel's view of the timer: the period and the time left, in nanoseconds.
struct KernelTimer {
    long long period_ns = 0;
    long long remaining_ns = 0;
};

KernelTimer kernel_timer(int fd)
{
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    KernelTimer timer;
    std::string line;
    while (std::getline(info, line)) {
        long long seconds = 0;
        long long nanoseconds = 0;
        if (std::sscanf(line.c_str(), "it_value: (%lld, %lld)", &seconds, &nanoseconds) == 2)
            timer.remaining_ns = seconds * 1'000'000'000LL + nanoseconds;
        if (std::sscanf(line.c_str(), "it_interval: (%lld, %lld)", &seconds, &nanoseconds) == 2)
            timer.period_ns = seconds * 1'000'000'000LL + nanoseconds;
    }
    return timer;
}

class PollTimerKernelTest : public testing::Test {
protected:
    void SetUp() override
    {
        const auto before = open_timerfds();
        timer = std::make_unique<PollTimer>();
        const auto after = open_timerfds();
        ASSERT_EQ(after.size(), before.size() + 1);
        for (const int fd : after)
            if (std::find(before.begin(), before.end(), fd) == before.end())
                fd_ = fd;
    }

    [[nodiscard]] KernelTimer kernel() const { return kernel_timer(fd_); }

    std::unique_ptr<PollTimer> timer;
    int fd_ = -1;
};

TEST_F(PollTimerKernelTest, ArmsThePeriodWhileEnabledWithAnInterval)
{
    struct Row {
        int interval;
        bool enabled;
        long long period_ns;
    };
    const Row rows[] = {
        { 10, false, 0 },
        { 1, true, 1'000'000 },
        { 50, true, 50'000'000 },
        { 1'999, true, 1'999'000'000 },
        { INT_MAX, true, 2'147'483'647'000'000 },
        { 0, true, 0 },
        { 1, false, 0 },
    };
    for (const auto& row : rows) {
        timer->setInterval(row.interval);
        timer->setEnabled(row.enabled);
        const auto armed = kernel();
        EXPECT_EQ(armed.period_ns, row.period_ns) << row.interval << (row.enabled ? " on" : " off");
        EXPECT_LE(armed.remaining_ns, row.period_ns) << row.interval;
        EXPECT_EQ(armed.remaining_ns > 0, row.period_ns > 0) << row.interval;
    }
}

TEST_F(PollTimerKernelTest, SettingTheIntervalWhileEnabledStartsANewPeriod)
{
    timer->setInterval(100'000);
    timer->setEnabled(true);
    std::this_thread::sleep_for(100ms);
    const auto before = kernel().remaining_ns;
    timer->setInterval(100'000);
    EXPECT_GT(kernel().remaining_ns, before);
    timer->setEnabled(true);
    EXPECT_GT(kernel().remaining_ns, before) << "enabling again changed nothing";
}

TEST_F(PollTimerKernelTest, ClosesItsDescriptor)
{
    const auto open = open_timerfds().size();
    timer.reset();
    EXPECT_EQ(open_timerfds().size(), open - 1);
}
#endif

} // namespace
