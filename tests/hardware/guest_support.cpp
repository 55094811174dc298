// SPDX-License-Identifier: MIT
// What the QEMU guest's check programs share.
#include "guest_support.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <grp.h>
#include <unistd.h>
#include <utility>

std::string load_driver(const char* library, Driver& driver)
{
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return dlerror();
    driver.read = reinterpret_cast<ReadFn>(dlsym(handle, "DlPortReadPortUchar"));
    driver.write = reinterpret_cast<WriteFn>(dlsym(handle, "DlPortWritePortUchar"));
    driver.last_error = reinterpret_cast<LastErrorFn>(dlsym(handle, "DlPortLastError"));
    const bool complete
        = driver.read != nullptr && driver.write != nullptr && driver.last_error != nullptr;
    return complete ? "" : "an entry point is missing";
}

std::string drop_privileges(const std::vector<gid_t>& groups)
{
    constexpr uid_t nobody = 65534;
    if (geteuid() != 0)
        return {};
    if (setgroups(groups.size(), groups.data()) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)
        return std::string("could not become uid ") + std::to_string(nobody) + ": "
            + std::strerror(errno);
    return {};
}

GuestReport::GuestReport(std::string phase)
    : phase_(std::move(phase))
{
    // Lines written before a crash must still reach the console.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
}

void GuestReport::check(std::string_view name, const std::string& problem, const std::string& seen)
{
    const int length = static_cast<int>(name.size());
    if (problem.empty()) {
        ++ok_;
        std::printf("OK %s/%.*s: %s\n", phase_.c_str(), length, name.data(), seen.c_str());
    } else {
        ++failed_;
        std::printf("FAIL %s/%.*s: %s\n", phase_.c_str(), length, name.data(), problem.c_str());
    }
}

int GuestReport::finish() const
{
    std::printf("SUMMARY %s: %d ok, %d failed\n", phase_.c_str(), ok_, failed_);
    std::fflush(stdout);
    return failed_ == 0 ? 0 : 1;
}

std::string hex(unsigned long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%02lX", value);
    return text;
}

Step in(unsigned long port, unsigned char expected, std::vector<std::string> reason)
{
    return { Step::Kind::Read, port, expected, std::move(reason) };
}

Step out(unsigned long port, unsigned char value, std::vector<std::string> reason)
{
    return { Step::Kind::Write, port, value, std::move(reason) };
}

Step act(std::function<std::string(std::string& why_not)> action)
{
    return { Step::Kind::Act, 0, 0, {}, std::move(action) };
}

namespace {

void add_seen(std::string& seen, const std::string& text)
{
    if (!seen.empty())
        seen += ", ";
    seen += text;
}

// Empty when the step behaved; else what went wrong.
std::string run_step(const Driver& driver, const Step& step, std::string& seen)
{
    if (step.kind == Step::Kind::Act) {
        std::string why_not;
        const std::string done = step.action(why_not);
        if (done.empty())
            return why_not;
        add_seen(seen, done);
        return {};
    }
    const bool reading = step.kind == Step::Kind::Read;
    unsigned char value = 0;
    if (reading)
        value = driver.read(step.port);
    else
        driver.write(step.port, step.value);
    const char* raw_reason = driver.last_error();
    const std::string reason = raw_reason != nullptr ? raw_reason : "";
    const std::string call = (reading ? "read " : "write ") + hex(step.port);

    if (step.reason.empty() && !reason.empty())
        return call + " failed: " + reason;
    if (!step.reason.empty() && reason.empty())
        return call + " succeeded, a failure was expected";
    for (const auto& part : step.reason) {
        if (reason.find(part) == std::string::npos)
            return call + " gave the reason \"" + reason + "\", which lacks \"" + part + "\"";
    }
    if (reading && value != step.value)
        return call + " gave " + hex(value) + ", expected " + hex(step.value);

    add_seen(seen,
        call + (reading ? " = " + hex(value) : " " + hex(step.value))
            + (reason.empty() ? "" : " (" + reason + ")"));
    return {};
}

} // namespace

void run_checks(const Driver& driver, const std::vector<Check>& checks, GuestReport& report)
{
    for (const auto& check : checks) {
        std::string seen;
        std::string problem;
        for (const auto& step : check.steps) {
            problem = run_step(driver, step, seen);
            if (!problem.empty())
                break;
        }
        report.check(check.name, problem, seen);
    }
}
