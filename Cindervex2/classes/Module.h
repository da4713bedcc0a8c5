#pragma once
// Module: one module, reached through the Link it owns. It knows the module's address on
// that link, connects by serial number, by specifier or through another module's link, and
// answers the capability, build and echo queries. Not locked: one thread at a time.

#include <cstdint>
#include <memory>

#include "Cindervex2/classes/Link.h"

namespace Quorvel::Cindervex {

class Module {
public:
    /* A module at `address` (even, 2-254) that learns its address after connecting;
     * `model` filters discovery by model (0 = any). */
    Module(uint8_t address, uint8_t model);
    Module(uint8_t address, bool autoNetworking, uint8_t model);
    virtual ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    /* qErrParam for serial number 0; else discoverAndConnect. */
    qErr connect(linkType type, uint32_t serialNumber);
    /* Discovery and connection (Link::discoverAndConnect), then the address query. */
    qErr discoverAndConnect(linkType type, uint32_t serialNumber);
    /* Connects by `spec`, then the address query. qErrBusy when connected. */
    qErr connectFromSpec(linkSpec spec);
    /* Connects over the link of `linkModule`, which must be connected: shares its engine link
     * and its sharing configuration; the address query is switched off (set the address
     * yourself). qErrNone when already connected. qErrInitialization: no link. */
    qErr connectThroughLinkModule(Module* linkModule);
    /* Connects again by the stored specifier (releasing a link that failed), then the
     * address query. */
    qErr reconnect();
    /* The link's connection state, engine status (8 without a link), and release. */
    bool isConnected() const;
    uint32_t getStatus() const;
    qErr disconnect();

    /* The module's address on its link. */
    uint8_t getModuleAddress() const;
    void setModuleAddress(uint8_t address);
    /* Whether connecting is followed by the address query. */
    void setNetworkingMode(bool autoNetworking);
    /* The owned link; never null. */
    Link* getLink();
    /* The link's specifier, sharing configuration and packet log (see Link). */
    qErr getLinkSpecifier(linkSpec* spec);
    qErr getConfig(LanvexConfig* config);
    qErr setConfig(LanvexConfig config);
    qErr enablePacketLog(const char* path);
    qErr disablePacketLog();

    /* Build number (cmdINFO 255). qErrSize: a reply of another length than 6. */
    qErr getBuild(uint32_t* build);
    /* Whether the module implements a UEI; flags 0 (any), 0x40 (get) or 0x80 (set): others
     * give qErrParam. The result is the module's answer code (qErrNone: implemented). */
    qErr hasUEI(uint8_t command, uint8_t option, uint8_t index, uint8_t flags);
    /* Number of entities of a class, sub-entities of one entity, group of one entity. The
     * output is 0 unless the query succeeds. qErrUnknown: a reply of the wrong shape. */
    qErr classQuantity(uint8_t command, uint8_t* count);
    qErr subClassQuantity(uint8_t command, uint8_t index, uint8_t* count);
    qErr entityGroup(uint8_t command, uint8_t index, uint8_t* group);
    /* Echo test: the module must send `length` (at most 27) bytes back. qErrIO otherwise. */
    qErr debug(const uint8_t* data, uint8_t length);

private:
    /* After connecting: up to four address queries 5 ms apart; adopts a new nonzero one. */
    qErr _autoNetwork();
    /* Sends a cmdINFO request and awaits the reply starting with `match` bytes of it. */
    qErr _info(const uint8_t* request, uint8_t length, uint8_t match, uint8_t* replyLength,
               uint8_t* reply);
    /* Sends a cmdINFO request whose reply repeats it and adds one byte, stored in `value`
     * (0 on failure). */
    qErr _infoByte(const uint8_t* request, uint8_t length, uint8_t* value);

    std::unique_ptr<Link> link;
    uint8_t moduleAddress;
    bool autoNetworking;
    uint8_t model;
};

} // namespace Quorvel::Cindervex
