/*
 * Carvex: access to a 3G USB data card over its DIAG port.
 *
 * One caller drives one card. InitCommPort opens the process's single connection, every other
 * function runs one exchange on it, CloseCommPort ends it. Results are 1 for success and 0 for
 * failure; where there is a status argument the library writes the request status into it on
 * failures (the CARVEX_STATUS_ values below).
 *
 * Threads: every function runs on the caller's thread and returns when its exchange is over.
 * Connection-bound functions are serialised by the connection's lock; InitCommPort and
 * CloseCommPort must not overlap any other call. CRCFast and CRCSlow may be called at any time
 * from any thread. No function shows a message, writes a log or lets an exception escape.
 *
 * Text results are copied without a terminating zero into the caller's zero-filled buffer.
 * A connection-bound function called without an open connection fails with status 0.
 *
 * Pointers: a null buffer that a function must read from or write into, or a null output that
 * it exists to deliver, gives result 0 (with status 0 where there is a status pointer) and
 * nothing is sent to the card. Status pointers may be null where noted; CRCFast and CRCSlow
 * treat a null buffer as empty.
 *
 * Ending the process, or unloading the library, with a connection still open is safe: the
 * connection's receiving thread is stopped and its port released then, as long as no function
 * is running at that moment.
 */
#ifndef CARVEX_CARVEX_H
#define CARVEX_CARVEX_H

#include <stdint.h>

#if defined(_WIN32)
/* carvex.dll exports the sixteen plain names of its .def file; a caller links the import library
 * or binds them with GetProcAddress. */
#define CARVEX_API
#define CARVEX_CALL __stdcall
#else
#define CARVEX_API __attribute__((visibility("default")))
#define CARVEX_CALL
#endif

/* Request statuses, as the status arguments receive them. */
enum {
    CARVEX_STATUS_NOT_SENT = 0,      /* the request could not be written to the card */
    CARVEX_STATUS_NO_REPLY = 1,      /* no matching reply arrived in time */
    CARVEX_STATUS_NV_FAILED = 3,     /* the card answered NV status 1, 2, 4, 8, 10 or above 10 */
    CARVEX_STATUS_READ_ONLY = 4,     /* NV status 7: the item is read-only */
    CARVEX_STATUS_INACTIVE = 5,      /* NV status 5: the item is not active on the card */
    CARVEX_STATUS_BAD_PARAMETER = 6, /* NV status 6: bad parameter */
    CARVEX_STATUS_NV_FULL = 7,       /* NV status 3: the card's NV memory is full */
    CARVEX_STATUS_NO_MEMORY = 8,     /* NV status 9: the card is out of memory */
    /* The version request could not be resolved: its id is not in the built-in table (38), or
     * the card asked for its second table and the id is not in that (39). */
    CARVEX_STATUS_NOT_IN_BUILT_IN_TABLE = 38,
    CARVEX_STATUS_NOT_IN_CARD_TABLE = 39,
    /* Left behind by a successful version request: resolved through the built-in table (40), or
     * through the card's own header or its second table (41). */
    CARVEX_STATUS_RESOLVED_BUILT_IN = 40,
    CARVEX_STATUS_RESOLVED_BY_CARD = 41
};

/* The data of one NV item, the IMEI's item and the bytes of it the configurator takes. */
#define CARVEX_NV_DATA_SIZE 128
#define CARVEX_IMEI_ITEM 550
#define CARVEX_IMEI_LENGTH 15

#ifdef __cplusplus
extern "C" {
#endif

/* Finds the card's PC UI interface among the serial ports (by its driver's friendly name), opens
 * it at 115200 baud, switches the card to DIAG ("AT$QCDMG" CR "~"), waits 500 ms, closes, waits
 * 500 ms and opens it again. Replaces (and closes) any earlier connection. 1: the connection is
 * open in DIAG mode; 0: no card, the port would not open, or the switch could not be written.
 * The serial ports are looked up under the directory named by CARVEX_ROOT (default /run/carvex);
 * on Windows they are the devices the setup API lists.
 * Takes about 1.1 s with a card. */
CARVEX_API int32_t CARVEX_CALL InitCommPort(void);

/* Closes the port and ends the connection. Always 1, also without a connection; nothing escapes
 * it. */
CARVEX_API int32_t CARVEX_CALL CloseCommPort(void);

/* Writes NV item `item` (low 16 bits): `length` bytes from `data`, zero-padded to 128 (a length
 * of 0 writes 128 zero bytes; `data` may then be null). A length above 128, or a null `data` with
 * a length above 0, returns 0 and sends nothing. Up to three attempts, 4 s each, 300 ms apart,
 * unless the card says the item is read-only or not active; a reply shorter than the NV packet
 * counts as no reply. No status is reported. */
CARVEX_API int32_t CARVEX_CALL CarvexItem(int32_t item, const uint8_t* data, uint32_t length);

/* Reads NV item `item` (low 16 bits) and copies `length` of its 128 data bytes to `buffer` (at
 * most 128; nothing for a negative length). On failure 0 with *status set (0, 1, 3 to 8); a
 * reply shorter than the NV packet counts as no reply (1) and is retried. `buffer` must not be
 * null; `status` may be. Up to about 12.9 s against a card that does not answer. */
CARVEX_API int32_t CARVEX_CALL ReadNvItem(int32_t item, uint8_t* buffer, int32_t length,
                                          int32_t* status);

/* The raw first `length` bytes of NV item 550 (the IMEI, undecoded); as ReadNvItem. */
CARVEX_API int32_t CARVEX_CALL GetIMEI(uint8_t* buffer, int32_t length, int32_t* status);

/* The firmware, respectively PCB (hardware), version text: one version request each (the request
 * id is first resolved with the card: status 38 or 39 when it cannot be, 40 or 41 left behind
 * when it can). At most `size` bytes are written, no terminating zero; 4 s time-out. */
CARVEX_API int32_t CARVEX_CALL GetFirmwareVersion(char* buffer, int32_t size, int32_t* status);
CARVEX_API int32_t CARVEX_CALL GetPCBVersion(char* buffer, int32_t size, int32_t* status);

/* The dashboard's version text, at most `size` bytes without a terminating zero. A card that
 * reports failure, or no reply within 4 s, gives 0 without a status (status 0 when the request
 * cannot be written). */
CARVEX_API int32_t CARVEX_CALL GetDashboardVersion(char* buffer, int32_t size, int32_t* status);

/* The card's model into a zero-filled buffer of at least 128 bytes: first the modem port's answer
 * to "AT+CGMM" (zero-terminated; needs no connection, up to about 4 s), else the card's board-type
 * query (FC), else the PCB version text up to the eight characters before " Ver". A null buffer
 * gives 0. */
CARVEX_API int32_t CARVEX_CALL GetBoardType(char* buffer);

/* 1 when the card answers the new-version query with the mark 0x68; 0 otherwise (2 s time-out).
 * `status` must not be null. */
CARVEX_API int32_t CARVEX_CALL IsNewVersion(int32_t* status);

/* Asks the card to back up its NV items: 1 when it confirms. Waits up to 20 s for the answer,
 * then 1 s more in every case. `status` may be null; written only when the request cannot be
 * sent (0) or no answer comes (1); an answer without its result byte counts as none. */
CARVEX_API int32_t CARVEX_CALL BackupNVItems(int32_t* status);

/* The card's port setting: a state value and a port bit mask, only their low bytes travel.
 * SetPnPState: 1 when the card accepts. GetPnPState: 1 when the card answers; the outputs change
 * only when it reports the setting as valid, and must not be null. 2 s time-outs; `status` may
 * be null. */
CARVEX_API int32_t CARVEX_CALL SetPnPState(int32_t value, int32_t bits, int32_t* status);
CARVEX_API int32_t CARVEX_CALL GetPnPState(int32_t* value, int32_t* bits, int32_t* status);

/* Puts the card offline (unless it already is) and makes it restart: 1 when it acknowledged the
 * reset. The card then goes away for a moment; call CloseCommPort and, later, InitCommPort.
 * At least 2 s; about 18 s against a card that answers nothing. */
CARVEX_API int32_t CARVEX_CALL ResetDsahboard(void);

/* CRC-16 of `length` bytes, polynomial 0x1021, initial value 0xFFFF, no final XOR: the CRC that
 * seals setting files ("123456789" gives 0x29B1). A length of 0 or less gives 0xFFFF. The two
 * give the same value for the same bytes; CRCFast is table-driven. */
CARVEX_API uint32_t CARVEX_CALL CRCSlow(const uint8_t* data, int32_t length);
CARVEX_API uint32_t CARVEX_CALL CRCFast(const uint8_t* data, int32_t length);

#ifdef __cplusplus
}
#endif

#endif
