/*
 * Carvex: access to a 3G USB data card over its DIAG port.
 *
 * One caller drives one card. InitCommPort opens the process's single connection, every other
 * function runs one exchange on it, CloseCommPort ends it. Results are 1 for success and 0 for
 * failure; where there is a status argument the library writes the request status into it on
 * failures:
 *
 *   0       the request could not be written to the card
 *   1       no matching reply arrived in time
 *   3       the card answered NV status 1, 2, 4, 8, 10 or above 10
 *   4       NV status 7: the item is read-only
 *   5       NV status 5: the item is not active
 *   6       NV status 6: bad parameter
 *   7       NV status 3: NV memory full
 *   8       NV status 9: no memory
 *   38, 39  the version request could not be resolved (card's table or built-in table)
 *   40, 41  left behind by a successful version request
 *
 * Threads: every function runs on the caller's thread and returns when its exchange is over.
 * Connection-bound functions are serialised by the connection's lock; InitCommPort and
 * CloseCommPort must not overlap any other call. CRCFast and CRCSlow may be called at any time
 * from any thread. No function shows a message, writes a log or lets an exception escape.
 *
 * Text results are copied without a terminating zero into the caller's zero-filled buffer.
 */
#ifndef CARVEX_CARVEX_H
#define CARVEX_CARVEX_H

#include <stdint.h>

#if defined(_WIN32)
#define CARVEX_API __declspec(dllexport)
#define CARVEX_CALL __stdcall
#else
#define CARVEX_API __attribute__((visibility("default")))
#define CARVEX_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* CRC-16 of `length` bytes, polynomial 0x1021, initial value 0xFFFF, no final XOR: the CRC that
 * seals setting files ("123456789" gives 0x29B1). A length of 0 or less gives 0xFFFF. The two
 * give the same value for the same bytes; CRCFast is table-driven. */
CARVEX_API uint32_t CARVEX_CALL CRCSlow(const uint8_t* data, int32_t length);
CARVEX_API uint32_t CARVEX_CALL CRCFast(const uint8_t* data, int32_t length);

#ifdef __cplusplus
}
#endif

#endif
