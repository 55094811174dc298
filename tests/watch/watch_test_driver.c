// SPDX-License-Identifier: MIT
/* A driver library for movanta-watch's tests. Each read gives the next byte, so that every
 * poll is a record. With WATCH_TEST_STUCK_AFTER=N in the environment, the reads after the
 * first N do not return for a minute, as a PPCLAIM waits while another driver holds the port;
 * WATCH_TEST_STUCK_MARK names a file created when the first of them begins. */
#include "port/dlportio.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static unsigned long reads;

static void stay_stuck(void)
{
    const char* mark = getenv("WATCH_TEST_STUCK_MARK");
    if (mark != NULL) {
        FILE* file = fopen(mark, "w");
        if (file != NULL)
            fclose(file);
    }
    struct timespec left = { 60, 0 };
    while (nanosleep(&left, &left) != 0) { }
}

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    (void)port;
    const char* stuck_after = getenv("WATCH_TEST_STUCK_AFTER");
    if (stuck_after != NULL && reads >= strtoul(stuck_after, NULL, 10))
        stay_stuck();
    return (unsigned char)reads++;
}

void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    (void)port;
    (void)value;
}
