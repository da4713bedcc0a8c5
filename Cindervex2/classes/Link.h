#pragma once
// Link: the device library's connection to one module (or to a chain of modules behind a
// routing module) over one transport. It owns at most one engine link and adds the UEI
// exchange, raw packets, the packet log file, store slots, factory data and stream
// subscriptions. Every operation returns a qErr code and never throws.
//
// A Link is used by one caller thread at a time; a request and the wait for its reply are
// not atomic, so callers sharing a Link must serialise whole exchanges. Only the stream
// filter (on the engine's reader thread) and the stream worker run on other threads.
// Lock order: the engine's filter mutex, then the Link's stream lock; nothing else nests.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Cindervex2/common/LanvexConfig.h"
#include "Cindervex2/common/linkType.h"
#include "Cindervex2/common/qErr.h"
#include "Cindervex2/common/qPacket.h"
#include "Cindervex2/common/qPacketFifo.h"
#include "Cindervex2/common/qStreamKey.h"
#include "Cindervex2/common/qStreamPacket.h"

namespace Quorvel::Cindervex {

/* Value kinds of a UEI. */
enum ueiType : int32_t {
    ueiTypeVoid = 0,
    ueiTypeByte = 1,
    ueiTypeShort = 2,
    ueiTypeInt = 4,
    ueiTypeBytes = 5,
};

/* State of a byte-array transfer. Sending: `data` and `length` (bytes to send). Receiving:
 * `data` (advanced as payload arrives), `length` (capacity), `written` (caller's counter,
 * increased by every payload), `sequence` (next expected), `more` (last continue flag). */
struct ueiBytes {
    uint8_t* data;
    uint8_t sequence;
    uint8_t more;
    size_t length;
    size_t* written;
};

/* One UEI request, or the reply being awaited. A parsed error reply sets bit 7 of
 * `specifier` and stores the module's error code in byteValue. */
struct uei {
    uint8_t module;    /* even, nonzero */
    uint8_t command;   /* entity class */
    uint8_t option;    /* option code (bits 0-5) and request flags */
    uint8_t specifier; /* index (bits 0-4) and flags */
    union {
        uint8_t byteValue;
        uint16_t shortValue;
        uint32_t intValue;
        ueiBytes bytes;
    };
    int32_t type; /* ueiType */
};

/* True when `packet` is a reply to the request `u`: from its module, for its command,
 * option and index, with a specifier byte. */
bool uei_IsReplyTo(const qPacket* packet, const uei& u);

/* When `packet` (a reply to `u`) is an error reply, stores its specifier and error code in
 * `u` and returns true; otherwise leaves `u` alone and returns false. */
bool uei_TakeErrorReply(const qPacket* packet, uei& u);

/* A stream callback: runs on the Link's worker thread, one at a time, in arrival order; the
 * packet is valid during the call only. Its result is not used. */
using StreamCallback = std::function<uint8_t(const qPacket* packet, void* ref)>;

class Link {
public:
    struct StreamStatusEntry {
        uint64_t key;
        uint32_t value;
    };

    /* A Link named `name` (at most 1024 characters kept) that connects by a copy of spec. */
    Link(linkSpec spec, const char* name);
    /* A Link without a specifier. */
    explicit Link(const char* name);
    /* Removes the stream filter, stops the worker, releases the engine link. */
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    /* ---- configuration ---- */

    /* The name given at construction. */
    const char* getName() const;
    /* Copies the sharing configuration. qErrParam: null out. */
    qErr getConfig(LanvexConfig* out) const;
    /* Replaces the sharing configuration. qErrMode while connected. */
    qErr setConfig(LanvexConfig config);
    /* Copies the stored specifier. qErrNotFound without one; qErrParam: null out. */
    qErr getLinkSpecifier(linkSpec* out) const;
    /* Replaces the stored specifier. qErrBusy while connected. */
    qErr setLinkSpecifier(linkSpec spec);

    /* ---- connection ---- */

    /* Creates the engine link from the stored specifier and waits up to 2 s for it to run.
     * qErrConnection: an engine link is already held (disconnect first, also after a failed
     * attempt), none could be made, or it does not run in time. qErrConfiguration: no
     * specifier, or a LANVEX one while sharing is disabled. qErrMode: unknown type.
     * qErrBusy: the link is stopping. A failed wait leaves the engine link held. */
    qErr connect();
    /* Finds a module (by serial number, else the first of `model`, any for 0) and connects;
     * falls back once between USB and LANVEX when allowed by the configuration. A failed
     * attempt is disconnected before the next. qErrNotFound: nothing found. */
    qErr discoverAndConnect(linkType type, uint32_t serialNumber, uint8_t model);
    /* Shares the engine link of `other` (which must hold one: else qErrInitialization)
     * through the stored specifier; see connect. */
    qErr connectThroughLinkModule(Link& other);
    /* True when an engine link is held and running. */
    bool isConnected() const;
    /* The engine status of the held link; 8 (error) without one. */
    uint32_t getStatus() const;
    /* Releases the engine link, if any. Always qErrNone. */
    qErr disconnect();
    /* Resets the engine link, if any. Always qErrNone. */
    qErr reset();
    /* The engine's pooled-write mode; the engine's result (qErrParam without a link). */
    qErr enablePooledPackets(bool enable);
    /* Asks which module answers on this link (1000 ms). *address is 0 unless found.
     * qErrNotReady: not connected or no answer. qErrParam: null address. */
    qErr getModuleAddress(uint8_t* address);

    /* ---- UEIs and raw packets ----
     * Each checks the connection (qErrConnection) and then the module address (qErrPacket
     * for 0 or odd). */

    /* Sends the request `u` describes, flags as they stand. Byte arrays go out 24 bytes per
     * packet; while the engine's outbound queue is long the next packet waits (at most
     * 10 s: qErrTimeout). qErrResource: no packet. Else the engine's result of the last put. */
    qErr sendUEI(uei u);
    /* Sends `u` in subindex form (kinds void, byte, short, int; qErrParam otherwise). */
    qErr sendUEI(uei u, uint8_t subindex);
    /* Awaits the reply `u` describes (its own module, command, option and index; the other
     * arguments are only validated): 1000 ms, 4000 ms for byte arrays above 1000 bytes.
     * qErrTimeout: none. An error reply is qErrNone with bit 7 of u->specifier set. */
    qErr receiveUEI(uint8_t module, uint8_t command, uint8_t option, uint8_t specifier, uei* u);
    /* As above with a caller's filter (which receives `u`). */
    qErr receiveUEI(uint8_t module, uint8_t command, uint8_t option, uint8_t specifier, uei* u,
                    qPacketFilter filter);
    /* Removes every queued packet the UEI filter accepts for these values. */
    qErr dropMatchingUEIPackets(uint8_t module, uint8_t command, uint8_t option,
                                uint8_t specifier);
    /* Sends `command` and `length` bytes (at most 27: else qErrParam). qErrNone once queued. */
    qErr sendPacket(uint8_t module, uint8_t command, uint8_t length, const uint8_t* data);
    /* Awaits (1000 ms) the first packet whose first *length data bytes equal `match`, from
     * any address; then *length = its data length and `data` receives all its data bytes:
     * it must hold 28. qErrTimeout: none. qErrParam: null argument or *length above 28. */
    qErr receivePacket(uint8_t module, const uint8_t* match, uint8_t* length, uint8_t* data);

    /* The UEI reply filter: accepts a packet from u->module with more than 2 data bytes,
     * u->command, exactly u->option and u->specifier as index; stores its value or error. */
    static uint8_t sUEIFilter(const qPacket* packet, void* u);

    /* ---- packet log ---- */

    /* Writes the engine's packet log to the file `path` (appending) on a writer thread.
     * qErrConfiguration: no engine link. qErrIO: the file cannot be opened. Else the
     * engine's or writer's error. */
    qErr enablePacketLog(const char* path);
    /* Stops writing the file (the engine keeps recording). qErrConfiguration: no link. */
    qErr disablePacketLog();

    /* ---- store slots and factory data (module address not checked) ---- */

    /* Capacity and current size of a slot in bytes. qErrTimeout, a module error code,
     * qErrUnknown for a reply of the wrong length. */
    qErr storeSlotCapacity(uint8_t module, uint8_t store, uint8_t slot, size_t* capacity);
    qErr storeSlotSize(uint8_t module, uint8_t store, uint8_t slot, size_t* size);
    /* Writes `length` bytes into a slot in checksummed 25-byte chunks. qErrMedia: the slot
     * cannot be opened; qErrIO: checksum mismatch; qErrTimeout; a module error code. The
     * slot is closed on every path once opened. */
    qErr loadStoreSlot(uint8_t module, uint8_t store, uint8_t slot, const uint8_t* data,
                       size_t length);
    /* Reads a slot into buffer; *count = bytes read. qErrOverrun when the slot held more
     * than capacity (the buffer holds the first capacity bytes). */
    qErr unloadStoreSlot(uint8_t module, uint8_t store, uint8_t slot, uint8_t* buffer,
                         size_t capacity, size_t* count);
    /* Reads the factory record of `kind` (0-15). qErrOverrun when it would fill the buffer
     * (an exact fit included). */
    qErr getFactoryData(uint8_t module, uint8_t kind, uint8_t* buffer, size_t capacity,
                        size_t* count);
    /* Writes the factory record of `kind` in 26-byte chunks. qErrSize: an acknowledgement of
     * the wrong length. */
    qErr setFactoryData(uint8_t module, uint8_t kind, const uint8_t* data, size_t length);

    /* ---- stream subscriptions ---- */

    /* Subscribes (enable) or unsubscribes (module, command, option, index) for every
     * subindex; option and index may be 255 for all. Tells the module (cmdSTREAM) and
     * awaits its reply. qErrParam: odd module or 255. On failure every entry of these four
     * elements is removed again and the failure returned. */
    qErr registerStreamCallback(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                                bool enable, StreamCallback callback, void* ref);
    /* registerStreamCallback without a callback. */
    qErr enableStream(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                      bool enable);
    /* Whether the module streams (get of option 1 of cmdSTREAM). */
    qErr isLinkStreaming(uint8_t module, uint8_t* streaming);
    /* The cached value of exactly this key. qErrNotFound: none; qErrStreamStale: already
     * read once (the value is still copied). */
    qErr getStreamValue(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                        uint8_t subindex, uint32_t* value);
    /* Lists cached values matching the elements (255 = any), in key order. qErrSize when more
     * exist than capacity (capacity entries filled). */
    qErr getStreamStatus(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                         uint8_t subindex, StreamStatusEntry* entries, size_t capacity,
                         size_t* count);
    /* Keys in the stream map whose elements match (255 = any); takes the stream lock when
     * `lock` is true. */
    std::vector<uint64_t> filterActiveStreamKeys(uint8_t module, uint8_t command, uint8_t option,
                                                 uint8_t index, uint8_t subindex, bool lock);

    /* Stream keys and stream packets: see qStreamKey.h and qStreamPacket.h. */
    static uint64_t createStreamKey(uint8_t module, uint8_t command, uint8_t option,
                                    uint8_t index, uint8_t subindex);
    static uint8_t getStreamKeyElement(uint64_t key, STREAM_KEY element);
    static bool isStreamPacket(const qPacket* packet);
    static bool getStreamPacketType(const qPacket* packet, STREAM_PACKET* kind);
    static bool isStreamSample(const qPacket* packet);
    static bool isSubindexType(STREAM_PACKET kind);
    static qErr getStreamSample(const qPacket* packet, uint64_t* timestamp, uint32_t* value,
                                uint8_t* subindex);
    static void getTimestampParts(uint64_t timestamp, uint32_t* high, uint32_t* low);

    struct impl;

private:
    std::unique_ptr<impl> d;
};

} // namespace Quorvel::Cindervex
