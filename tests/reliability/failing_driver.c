// SPDX-License-Identifier: MIT
/* A driver library that works until it is told to fail: after a given number of further
 * calls every call fails, as a port that goes away in the middle of a run does, until the
 * test heals it. Reads give the byte the test sets. */
#include "port/dlportio.h"

#include <stddef.h>

static unsigned char input = 0xFF;
static unsigned long calls;
static unsigned long fail_from = (unsigned long)-1;
static const char* last_error;

DLPORTIO_EXPORT void failing_driver_set_input(unsigned char value) { input = value; }

/* Calls from now on that still succeed; every later one fails. */
DLPORTIO_EXPORT void failing_driver_fail_after(unsigned long good_calls)
{
    fail_from = calls + good_calls;
}

DLPORTIO_EXPORT void failing_driver_heal(void) { fail_from = (unsigned long)-1; }

DLPORTIO_EXPORT unsigned long failing_driver_calls(void) { return calls; }

static int next_call_fails(void)
{
    const int fails = calls >= fail_from;
    ++calls;
    last_error = fails ? "failing driver: the port went away" : NULL;
    return fails;
}

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    (void)port;
    return next_call_fails() ? 0xFF : input;
}

void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    (void)port;
    (void)value;
    (void)next_call_fails();
}

const char* DLPORTIO_CALL DlPortLastError(void) { return last_error; }
