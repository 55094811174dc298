// SPDX-License-Identifier: MIT
// The run-time error report's text, which both windows show.
#include "core/run_time_report.h"
#include "core/runtime_error.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

using namespace core;

namespace {

TEST(RunTimeReport, NamesTheNumberAndTheErrorsText)
{
    struct Row {
        std::exception_ptr error;
        int number;
        std::string text;
    };
    const Row rows[] = {
        { std::make_exception_ptr(RuntimeError::overflow()), 6, "Laufzeitfehler '6':\n\nÜberlauf" },
        { std::make_exception_ptr(RuntimeError::disk_full("D:\\a.csv")), 61,
            "Laufzeitfehler '61':\n\n" + std::string(RuntimeError::disk_full("D:\\a.csv").what()) },
        { std::make_exception_ptr(std::bad_alloc()), 7,
            "Laufzeitfehler '7':\n\nNicht genügend Speicher" },
        { std::make_exception_ptr(std::runtime_error("anders")), 0, "Laufzeitfehler '0':\n\nanders" },
    };
    for (const Row& row : rows) {
        try {
            std::rethrow_exception(row.error);
        } catch (const std::exception& error) {
            EXPECT_EQ(run_time_error_number(error), row.number);
            EXPECT_EQ(run_time_report_text(error), row.text);
        }
    }
}

} // namespace
