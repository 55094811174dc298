// SPDX-License-Identifier: MIT
#pragma once

#include "core/runtime_error.h"

#include <gtest/gtest.h>

// The RuntimeError that call throws; a test failure when it throws none.
core::RuntimeError runtime_error_of(auto&& call)
{
    try {
        call();
    } catch (const core::RuntimeError& error) {
        return error;
    }
    ADD_FAILURE() << "no RuntimeError";
    return core::RuntimeError::overflow();
}
