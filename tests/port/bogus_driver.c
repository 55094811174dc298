// SPDX-License-Identifier: MIT
/* A libdlportio.so planted in the current directory: no executable may ever load it. */
#include "port/dlportio.h"

unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port)
{
    (void)port;
    return 42;
}

void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value)
{
    (void)port;
    (void)value;
}
