// SPDX-License-Identifier: MIT
/* A driver library for the binding's tests, built in three variants: WITH_WRITE and
 * WITH_LAST_ERROR decide which optional parts it exports. Port 666 fails. */
#include "port/dlportio.h"

#include <stddef.h>

static unsigned char memory[64] = { 0x5A };
static unsigned long last_port;
static const char* last_error;

DLPORTIO_EXPORT unsigned long test_driver_last_port(void) { return last_port; }

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    last_port = port;
    last_error = port == 666 ? "port 666 is unlucky" : NULL;
    return memory[port % 64];
}

#ifdef WITH_WRITE
void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    last_port = port;
    last_error = port == 666 ? "port 666 is unlucky" : NULL;
    memory[port % 64] = value;
}
#endif

#ifdef WITH_LAST_ERROR
const char* DLPORTIO_CALL DlPortLastError(void) { return last_error; }
#endif
