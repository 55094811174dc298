// SPDX-License-Identifier: MIT
// What the QEMU guest's check programs share: the driver by path, dropping root, the report.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

using ReadFn = unsigned char (*)(unsigned long port);
using WriteFn = void (*)(unsigned long port, unsigned char value);
using LastErrorFn = const char* (*)();

struct Driver {
    ReadFn read = nullptr;
    WriteFn write = nullptr;
    LastErrorFn last_error = nullptr;
};

// Loads the library and its three entry points; empty when that worked, else why not.
[[nodiscard]] std::string load_driver(const char* library, Driver& driver);

// Becomes uid 65534 with only these supplementary groups and, as a side effect of leaving
// uid 0, no capabilities. Empty when that worked (or the caller was not root).
[[nodiscard]] std::string drop_privileges(const std::vector<gid_t>& groups);

// One line per check, "OK phase/name: seen" or "FAIL phase/name: problem", and the summary
// "SUMMARY phase: N ok, M failed" that the host script looks for.
class GuestReport {
public:
    explicit GuestReport(std::string phase);
    // Passed when problem is empty.
    void check(std::string_view name, const std::string& problem, const std::string& seen);
    // Prints the summary; the program's exit status.
    [[nodiscard]] int finish() const;

private:
    std::string phase_;
    int ok_ = 0;
    int failed_ = 0;
};

// "0x5A"
[[nodiscard]] std::string hex(unsigned long value);

// A driver call and what it must give, or something the check does around the driver.
struct Step {
    enum class Kind { Read, Write, Act } kind;
    unsigned long port = 0;
    unsigned char value = 0; // the byte written, or the byte the read must give
    // Empty: the call must succeed. Otherwise the reason must hold each of these texts.
    std::vector<std::string> reason {};
    // Act: what it did, or "" when it could not; then why_not says why.
    std::function<std::string(std::string& why_not)> action {};
};

struct Check {
    std::string_view name;
    std::vector<Step> steps;
};

// Named after the x86 instructions: in reads a port, out writes one.
[[nodiscard]] Step in(
    unsigned long port, unsigned char expected, std::vector<std::string> reason = {});
[[nodiscard]] Step out(
    unsigned long port, unsigned char value, std::vector<std::string> reason = {});
[[nodiscard]] Step act(std::function<std::string(std::string& why_not)> action);

// Each check's steps in order, up to the first that misbehaves; one report line per check.
void run_checks(const Driver& driver, const std::vector<Check>& checks, GuestReport& report);
