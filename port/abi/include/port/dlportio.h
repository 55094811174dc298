// SPDX-License-Identifier: MIT
#pragma once

/* The C interface of a port I/O driver library (libdlportio.so, dlportio.dll).
 *
 * The port is an I/O space address, not a memory address. The tool passes the 32-bit number it
 * derived from the port text as it is: no range check, and a negative number arrives as its
 * 32-bit two's complement pattern (-1 as 4294967295), zero-extended where unsigned long is
 * wider. A library decides itself what an address outside its I/O space means; ours read 255
 * and ignore writes there, as an empty ISA bus does. */

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define DLPORTIO_CALL __stdcall
#else
#define DLPORTIO_CALL
#endif

#if defined(_WIN32)
#define DLPORTIO_EXPORT __declspec(dllexport)
#else
#define DLPORTIO_EXPORT __attribute__((visibility("default")))
#endif

/* One byte from the port, as it is at the moment of the call. */
DLPORTIO_EXPORT unsigned char DLPORTIO_CALL DlPortReadPortUchar(unsigned long port);

/* Writes one byte to the port; it has taken effect when the call returns. */
DLPORTIO_EXPORT void DLPORTIO_CALL DlPortWritePortUchar(unsigned long port, unsigned char value);

/* Optional. NULL or "" when the last call on this thread reached its port, else a short
 * reason ("/dev/port: Permission denied"). The text stays valid until the thread's next call. */
DLPORTIO_EXPORT const char* DLPORTIO_CALL DlPortLastError(void);

typedef unsigned char(DLPORTIO_CALL* DlPortReadPortUcharFn)(unsigned long port);
typedef void(DLPORTIO_CALL* DlPortWritePortUcharFn)(unsigned long port, unsigned char value);
typedef const char*(DLPORTIO_CALL* DlPortLastErrorFn)(void);

#ifdef __cplusplus
}
#endif
