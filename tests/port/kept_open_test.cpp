// SPDX-License-Identifier: MIT
// KeptOpen's promises with two threads: a failed open tried again, a thing let go reopened,
// and never closed while a thread still holds what its get() gave.
#include "drivers/kept_open.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

using namespace drivers;

namespace {

int opened = 0; // things opened so far; only one thread opens at a time (KeptOpen's lock)
std::atomic<int> alive = 0;

struct Thing {
    explicit Thing(int number_)
        : number(number_)
    {
        ++alive;
    }
    ~Thing() { --alive; }
    int number;
};

// A second thread that runs one step at a time while the first waits, until it ends.
class Helper {
public:
    Helper()
        : thread_([this] {
            std::unique_lock lock(mutex_);
            for (; !ending_; changed_.notify_all()) {
                changed_.wait(lock, [this] { return step_ || ending_; });
                if (step_)
                    std::exchange(step_, nullptr)();
            }
        })
    {
    }
    ~Helper() { end(); }

    void run(std::function<void()> step)
    {
        std::unique_lock lock(mutex_);
        step_ = std::move(step);
        changed_.notify_all();
        changed_.wait(lock, [this] { return !step_; });
    }
    void end()
    {
        if (!thread_.joinable())
            return;
        {
            const std::lock_guard lock(mutex_);
            ending_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> step_;
    bool ending_ = false;
    std::thread thread_;
};

enum class Do {
    Get, // gives the kept thing, opening one when none is kept
    FailingGet, // an open that fails, if one is needed
    ThrowingGet, // an open that throws, if one is needed
    Use, // reads the thing this side's last get gave
    LetGo, // lets go of the thing this side's last get gave
    EndThread, // the helper thread ends
    Destroy, // the KeptOpen goes
};

struct Step {
    char who; // 'A': the test's thread, 'B': the helper
    Do what;
    int number; // what Get or Use saw: the thing's number, 0 for none
    int alive_after;
};

TEST(KeptOpen, OpensAgainAfterAFailureAndNeverClosesWhatAThreadStillHolds)
{
    const struct {
        const char* what;
        std::vector<Step> steps;
    } rows[] = {
        { "a failed or thrown open is tried again at the next get",
            { { 'A', Do::FailingGet, 0, 0 }, { 'A', Do::ThrowingGet, 0, 0 }, { 'A', Do::Get, 1, 1 },
                { 'A', Do::Get, 1, 1 }, { 'B', Do::Get, 1, 1 } } },
        { "let go, closed at once and opened afresh at the next get",
            { { 'A', Do::Get, 1, 1 }, { 'A', Do::LetGo, 0, 0 }, { 'A', Do::Get, 2, 1 } } },
        { "let go by another thread while one holds it",
            { { 'A', Do::Get, 1, 1 }, { 'B', Do::Get, 1, 1 }, { 'B', Do::LetGo, 0, 1 },
                { 'B', Do::Get, 2, 2 }, { 'A', Do::Use, 1, 2 }, { 'A', Do::Get, 2, 1 } } },
        { "a stale let go leaves the new one kept",
            { { 'A', Do::Get, 1, 1 }, { 'B', Do::Get, 1, 1 }, { 'B', Do::LetGo, 0, 1 },
                { 'B', Do::Get, 2, 2 }, { 'A', Do::LetGo, 0, 1 }, { 'A', Do::Get, 2, 1 },
                { 'B', Do::Get, 2, 1 } } },
        { "a failed reopen after a let go is tried again",
            { { 'A', Do::Get, 1, 1 }, { 'A', Do::LetGo, 0, 0 }, { 'A', Do::FailingGet, 0, 0 },
                { 'B', Do::Get, 2, 1 }, { 'A', Do::Get, 2, 1 } } },
        { "a thread's end drops its copy",
            { { 'B', Do::Get, 1, 1 }, { 'A', Do::Get, 1, 1 }, { 'A', Do::LetGo, 0, 1 },
                { 'A', Do::Get, 2, 2 }, { 'B', Do::EndThread, 0, 1 } } },
        { "the KeptOpen's end drops every thread's copy",
            { { 'A', Do::Get, 1, 1 }, { 'B', Do::Get, 1, 1 }, { 'A', Do::Destroy, 0, 0 },
                { 'B', Do::EndThread, 0, 0 } } },
    };
    for (const auto& row : rows) {
        opened = 0;
        auto kept = std::make_unique<KeptOpen<Thing>>();
        Helper helper;
        Thing* last[2] = { nullptr, nullptr };
        for (std::size_t i = 0; i < row.steps.size(); ++i) {
            const Step& step = row.steps[i];
            Thing*& mine = last[step.who == 'B' ? 1 : 0];
            int seen = 0;
            const auto get = [&](auto open) {
                try {
                    mine = kept->get(open);
                } catch (const std::runtime_error&) {
                    mine = nullptr;
                }
                seen = mine == nullptr ? 0 : mine->number;
            };
            const std::function<void()> act = [&] {
                switch (step.what) {
                case Do::Get:
                    get([] { return std::make_unique<Thing>(++opened); });
                    break;
                case Do::FailingGet:
                    get([]() -> std::unique_ptr<Thing> { return nullptr; });
                    break;
                case Do::ThrowingGet:
                    get([]() -> std::unique_ptr<Thing> { throw std::runtime_error("busy"); });
                    break;
                case Do::Use:
                    seen = mine->number;
                    break;
                case Do::LetGo:
                    kept->let_go(mine);
                    break;
                default:
                    break;
                }
            };
            if (step.what == Do::EndThread)
                helper.end();
            else if (step.what == Do::Destroy)
                kept.reset();
            else if (step.who == 'B')
                helper.run(act);
            else
                act();
            EXPECT_EQ(seen, step.number) << row.what << ", step " << i;
            EXPECT_EQ(alive, step.alive_after) << row.what << ", step " << i;
        }
        helper.end();
        kept.reset();
        EXPECT_EQ(alive, 0) << row.what;
    }
}

} // namespace
