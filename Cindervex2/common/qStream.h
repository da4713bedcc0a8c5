#pragma once
// A byte stream behind functions that each stream kind supplies (get, put, write, delete
// and an optional wait), with a pushback ring of bytes given back to the reader.
//
// Meaning of get's results, which every kind follows and the link reader relies on:
// qErrNone = one byte delivered; qErrNotReady = no byte now, try again later;
// qErrEOF = no more input; any other code = failure.
//
// A stream is not locked: one thread reads (get, wait, the pushback ring) and one thread
// writes (put, write). A kind whose state both sides touch locks that state itself.
#include <cstddef>
#include <cstdint>

#include "Cindervex2/common/qErr.h"

#define qSTREAM_TAG 0x4321

typedef struct qStream qStream;

/* Reads one byte into `*byte`; results as described above. */
typedef qErr (*qStreamGetFunction)(uint8_t* byte, void* reference);
/* Writes the one byte at `byte`. */
typedef qErr (*qStreamPutFunction)(const uint8_t* byte, void* reference);
/* Writes `count` bytes; qErrNone only when all were written. */
typedef qErr (*qStreamWriteFunction)(const uint8_t* data, uint32_t count, void* reference);
/* Releases the kind's state `reference`; called once, by qStream_Destroy. */
typedef qErr (*qStreamDeleteFunction)(void* reference);
/* Waits at most `timeoutMs` until get may deliver a byte without answering qErrNotReady.
 * qErrNone: a byte (or end of input, or an error get will report) may be there;
 * qErrTimeout: nothing arrived within the bound. Must never wait longer than asked. */
typedef qErr (*qStreamWaitFunction)(uint32_t timeoutMs, void* reference);

/* New stream over the kind's functions; any of them may be null (an input-only stream has
 * no put or write). The stream owns `reference`: destroying it calls `del(reference)`.
 * Null if memory runs out (the caller still owns `reference` then). */
qStream* qStream_Create(qStreamGetFunction get, qStreamPutFunction put, qStreamWriteFunction write,
                        qStreamDeleteFunction del, void* reference);

/* Gives the stream a wait function (null removes it). qErrParam for an invalid stream. */
qErr qStream_SetWaitFunction(qStream* stream, qStreamWaitFunction wait);

/* qStream_Create with a wait function, for a kind whose state `reference` is ready: stores the
 * new stream in `*stream`. If memory runs out, `del(reference)` releases the state and the
 * result is qErrResource. */
qErr qStream_CreateWaitable(qStreamGetFunction get, qStreamPutFunction put, qStreamWriteFunction write,
                            qStreamDeleteFunction del, qStreamWaitFunction wait, void* reference,
                            qStream** stream);

/* Waits at most `timeoutMs` until a read may find a byte, so a reader of a stream whose get
 * answers qErrNotReady at once can block instead of spinning. qErrNone at once when the
 * pushback ring holds bytes; else the kind's wait function decides. A kind without one gets
 * a short sleep (at most 10 ms and at most `timeoutMs`) and qErrNone: kinds whose get
 * waits by itself (USB) need nothing more. qErrParam: invalid stream. qErrMode: no get. */
qErr qStream_WaitReadable(qStream* stream, uint32_t timeoutMs);

/* Reads exactly `size` bytes into `destination`, pushback ring first.
 * qErrNone: all bytes read. qErrEOF: input ended; the bytes read before (maybe none) are
 * copied and the rest of `destination` is untouched. qErrNotReady: the source is merely
 * slow; the bytes read are given back to the ring and `destination` is untouched, so a
 * read is all or nothing. qErrParam: invalid stream or null destination. qErrMode: no get.
 * qErrResource: no scratch memory. qErrMemory: the ring could not take the bytes back.
 * Any other failure of get is returned, bytes dropped.
 * Blocks only as long as the kind's get does. */
qErr qStream_Read(qStream* stream, uint8_t* destination, uint32_t size);

/* Writes `count` bytes: one call of write when there is a write function and count > 1,
 * else put byte by byte until one fails. Returns the kind's result; qErrNone for count 0.
 * qErrParam: invalid stream or null data. qErrMode: neither put nor write. */
qErr qStream_Write(qStream* stream, const uint8_t* data, uint32_t count);

/* Appends `byte` to the pushback ring; the next reads take it after those already there.
 * The ring starts at 512 bytes and grows by 512 when it would become full.
 * qErrParam: invalid stream. qErrMemory: the ring cannot grow (the byte is lost). */
qErr qStreamBufferChar(qStream* stream, uint8_t byte);

/* Reads a record ending with the `delimiterLength` bytes at `delimiter` into `destination`
 * (at most `maximum` bytes; the delimiter is not stored) and its size into `*count`
 * (`count` may be null). A record also ends after `maximum` bytes (the rest stays in the
 * stream), or at end of input when at least one byte was read; maximum 0 reads nothing.
 * Bytes that began a delimiter but did not complete it are record data.
 * qErrNotReady: the source is slow; everything read is given back to the ring
 * (qErrMemory if the ring cannot take it).
 * qErrEOF: input ended before any byte. qErrParam: invalid stream, null destination or
 * delimiter, delimiter length 0. qErrResource: no scratch memory. Other get failures are
 * returned. `destination` and `*count` are written only on qErrNone. */
qErr qStream_ReadRecord(qStream* stream, uint8_t* destination, uint32_t* count, uint32_t maximum,
                        const uint8_t* delimiter, uint32_t delimiterLength);

/* Writes `count` bytes of data, then the delimiter. qErrParam: invalid stream, null data
 * or delimiter, delimiter length 0. Stops at the first failing write and returns its code. */
qErr qStream_WriteRecord(qStream* stream, const uint8_t* data, uint32_t count, const uint8_t* delimiter,
                         uint32_t delimiterLength);

/* Reads a text ending with a 0x00 byte into `buffer` (at most size - 1 characters) and
 * terminates it on qErrNone. qErrParam also for size 0. Other results as ReadRecord. */
qErr qStream_ReadCString(qStream* stream, char* buffer, uint32_t size);

/* Writes the characters of `text` and one 0x00 byte. qErrParam: invalid stream or null text. */
qErr qStream_WriteCString(qStream* stream, const char* text);

/* Reads a text ending with the characters of `delimiter` into `buffer` (at most size - 1
 * characters) and terminates it on qErrNone. qErrParam: size 0, empty or null delimiter.
 * Other results as ReadRecord. */
qErr qStream_ReadCStringRecord(qStream* stream, char* buffer, uint32_t size, const char* delimiter);

/* Writes the characters of `text`, then those of `delimiter` including its 0x00.
 * qErrParam: invalid stream, null text or delimiter. */
qErr qStream_WriteCStringRecord(qStream* stream, const char* text, const char* delimiter);

/* Copies every byte of `source` (its pushback ring first) to `destination`, one put per
 * byte, until the source ends (qErrNone). A source failure (qErrNotReady included) or a
 * failed put ends the copy with that code. qErrParam: either stream invalid. qErrMode: the
 * source has no get or the destination no put. */
qErr qStream_Flush(qStream* source, qStream* destination);

/* Calls the kind's delete function (its result becomes the result), frees the pushback
 * ring and the stream, even when delete failed. Sets `*stream` to null in every case.
 * qErrParam: null address or invalid stream. */
qErr qStream_Destroy(qStream** stream);

/* ---- Stream kinds. Each returns qErrNone and sets `*stream`, else leaves it null. ---- */

/* Input stream reading the file at `path`. qErrResource: null path or out pointer, the
 * file cannot be opened, or the stream cannot be made. Get answers qErrEOF at its end. */
qErr qStream_CreateFileInput(const char* path, qStream** stream);

/* Output stream writing the file at `path` (created or truncated). Results as the input. */
qErr qStream_CreateFileOutput(const char* path, qStream** stream);

/* TCP client stream to `address` (IPv4, network byte order) and `port` (host order); it is
 * connected before this returns (a connect waits at most 2 s).
 * qErrParam: null out pointer. qErrMemory: no state. qErrConnection: refused, reset or
 * timed out. qErrIO: another socket failure. qErrResource: the stream cannot be made.
 * The stream reconnects by itself when the connection breaks or the peer closes it; get
 * and write may both do so (they share a lock around the socket). Get never blocks:
 * qErrNotReady when no byte is there; qErrConnection while a reconnect fails. Write sends
 * everything or gives up after about 1 s (qErrTimeout when the peer does not take the
 * bytes, qErrConnection when it cannot reconnect, qErrIO on another send failure); a
 * block cut by a broken connection is sent again whole on the new one. Has a wait function (poll). */
qErr qStream_CreateSocket(uint32_t address, uint16_t port, qStream** stream);

/* Serial port stream on the terminal device `path`, raw mode.
 * baudSelector: 0 = 2400, 1 = 4800, 2 = 9600, 3 = 19200, 4 = 38400, 5 = 57600,
 * 6 = 115200, 7 = 230400. parity: nonzero enables parity.
 * dataBits: 0 = 8 bits, 1 = 7 bits. stopBits: 0 = one, 1 = two.
 * qErrParam: null path or out pointer, a selector out of range. qErrFileNameLength:
 * path above 4096 characters. qErrMemory: no state. qErrResource: the stream cannot be made. qErrNotFound: no such device.
 * qErrPermission: access denied. qErrIO: open or terminal setup failed.
 * Get never blocks (qErrNotReady when nothing is there). Write waits at most 2 s for the
 * port to take the bytes (qErrTimeout), then for their transmission. The terminal settings
 * found at open are restored when the stream is destroyed. Has a wait function (poll). */
qErr qStream_CreateSerial(const char* path, int baudSelector, uint8_t parity, int dataBits, int stopBits,
                          qStream** stream);
