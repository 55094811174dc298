// SPDX-License-Identifier: MIT
/* A stand-in dlportio.dll for the tests on Windows: the same entry points as a real port driver,
 * over a port space in memory, so that the binding is exercised through LoadLibrary without
 * hardware. A write latches the byte and the next read of that port returns it; ports never
 * written read 0. Addresses outside 0..65535 read 255 and ignore writes, as an empty ISA bus
 * does, and say so through DlPortLastError. */

#include "port/dlportio.h"

#include <stdio.h>

enum { port_count = 65536 };

static unsigned char port_space[port_count];
static __thread char last_error[64];

static int reachable(unsigned long port)
{
    if (port < port_count) {
        last_error[0] = '\0';
        return 1;
    }
    snprintf(last_error, sizeof last_error, "port %lu outside 0..65535", port);
    return 0;
}

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    return reachable(port) ? port_space[port] : 255;
}

void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    if (reachable(port))
        port_space[port] = value;
}

const char* DLPORTIO_CALL DlPortLastError(void)
{
    return last_error;
}
