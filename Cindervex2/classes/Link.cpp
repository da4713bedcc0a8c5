// Link: construction, configuration and connection.

#include <cstring>

#include "Cindervex2/classes/LinkImpl.h"
#include "Cindervex2/common/qDiscovery.h"
#include "Cindervex2/common/qLink.h"
#include "Cindervex2/platform/qPlatform.h"

namespace Quorvel::Cindervex {

namespace {

constexpr size_t kMaxNameLength = 1024;
constexpr int kConnectPolls = 200;
constexpr uint32_t kConnectPollMs = 10;

// Serialises the creation of engine links by all Links of the process.
std::mutex linkCreateHelperSerializer;

struct ModelProbe {
    linkSpec spec;
    bool found;
};

bool cbModelCallback(const linkSpec* found, bool* success, void* ref)
{
    auto* probe = static_cast<ModelProbe*>(ref);
    if (probe->spec.model != 0 && found->model != probe->spec.model)
        return true;
    probe->spec = *found;
    probe->found = true;
    *success = true;
    return false;
}

std::optional<linkSpec> sDiscover(linkType type, uint32_t serialNumber, uint8_t model,
                                  uint32_t networkInterface)
{
    if (serialNumber != 0) {
        linkSpec* found = qDiscovery_FindModule(type, serialNumber, networkInterface);
        if (!found)
            return std::nullopt;
        linkSpec copy = *found;
        qLinkSpec_Destroy(&found);
        return copy;
    }
    ModelProbe probe{};
    probe.spec.type = type;
    probe.spec.model = model;
    qDiscovery_EnumerateModules(type, cbModelCallback, &probe, networkInterface);
    if (!probe.found)
        return std::nullopt;
    return probe.spec;
}

// Waits for a new engine link to run.
qErr sAwaitRunning(uint32_t id)
{
    uint32_t status = qLink_GetStatus(id);
    switch (status) {
    case kLinkStatusStopped:
    case kLinkStatusStarting:
    case kLinkStatusSyncing:
        for (int i = 0; i < kConnectPolls && status != kLinkStatusRunning; ++i) {
            qTime_MSSleep(kConnectPollMs);
            status = qLink_GetStatus(id);
        }
        return status == kLinkStatusRunning ? qErrNone : qErrConnection;
    case kLinkStatusRunning:
        return qErrNone;
    case kLinkStatusStopping:
        return qErrBusy;
    case kLinkStatusInvalid:
    case kLinkStatusIOError:
    case kLinkStatusError:
        return qErrConnection;
    default:
        return qErrDuplicate;
    }
}

} // namespace

Link::impl::impl(Link* link, const char* linkName)
    : owner(link), name(linkName ? std::string(linkName).substr(0, kMaxNameLength) : "")
{
}

bool Link::impl::connected() const
{
    return linkId != 0 && qLink_GetStatus(linkId) == kLinkStatusRunning;
}

qErr Link::impl::put(uint8_t module, uint8_t length, const uint8_t* data)
{
    static const uint8_t kNoData = 0;
    qPacketPtr packet(qPacket_CreateWithData(module, length, length ? data : &kNoData));
    if (!packet)
        return qErrResource;
    return qLink_PutPacket(linkId, packet.get());
}

// Creates the engine link of the stored specifier. `existingId` is a link to share (from
// connectThroughLinkModule) or 0; no use of it is held here unless the creation adds one.
static uint32_t sCreateEngineLink(const linkSpec& spec, LanvexConfig& config, uint32_t existingId,
                                  qErr* error)
{
    std::lock_guard<std::mutex> serial(linkCreateHelperSerializer);
    switch (spec.type) {
    case USB:
        // The sharing server is not available yet: a USB module is held by this process only.
        return qLink_CreateUSB(spec.serialNumber);
    case TCPIP:
        if (spec.port > UINT16_MAX)
            return 0;
        return qLink_CreateTCPIP(spec.ipAddress, uint16_t(spec.port));
    case SERIAL: {
        const char* portName = qLinkSpec_GetPortName(&spec);
        if (!portName) {
            *error = qErrConfiguration;
            return 0;
        }
        return qLink_CreateSerial(spec.serialNumber, portName, spec.baudRate);
    }
    case LANVEX:
        if (!config.enabled) {
            *error = qErrConfiguration;
            return 0;
        }
        // Sharing the link of a module we route through; a client of another process's
        // sharing server needs the sharing client, which this library does not have yet.
        if (existingId != 0 && qLink_AddUse(existingId) == qErrNone)
            return existingId;
        *error = existingId != 0 ? qErrConnection : qErrUnimplemented;
        return 0;
    default:
        *error = qErrMode;
        return 0;
    }
}

static qErr sConnect(Link::impl& d, uint32_t existingId)
{
    if (!d.spec)
        return qErrConfiguration;
    qErr error = qErrNone;
    d.linkId = sCreateEngineLink(*d.spec, d.config, existingId, &error);
    if (error != qErrNone)
        return error;
    if (d.linkId == 0)
        return qErrConnection;
    return sAwaitRunning(d.linkId);
}

Link::Link(linkSpec spec, const char* name) : d(std::make_unique<impl>(this, name))
{
    d->spec = spec;
}

Link::Link(const char* name) : d(std::make_unique<impl>(this, name)) {}

Link::~Link()
{
    disconnect();
    d->stopWorker();
}

const char* Link::getName() const { return d->name.c_str(); }

qErr Link::getConfig(LanvexConfig* out) const
{
    if (!out)
        return qErrParam;
    *out = d->config;
    return qErrNone;
}

qErr Link::setConfig(LanvexConfig config)
{
    if (d->connected())
        return qErrMode;
    d->config = config;
    return qErrNone;
}

qErr Link::getLinkSpecifier(linkSpec* out) const
{
    if (!out)
        return qErrParam;
    if (!d->spec)
        return qErrNotFound;
    *out = *d->spec;
    return qErrNone;
}

qErr Link::setLinkSpecifier(linkSpec spec)
{
    if (d->connected())
        return qErrBusy;
    d->spec = spec;
    return qErrNone;
}

qErr Link::connect()
{
    if (d->linkId != 0)
        return qErrConnection;
    return sConnect(*d, 0);
}

qErr Link::discoverAndConnect(linkType type, uint32_t serialNumber, uint8_t model)
{
    if (d->linkId != 0)
        return qErrConnection;
    auto attempt = [&](linkType t) {
        std::optional<linkSpec> found = sDiscover(t, serialNumber, model, d->config.networkInterface);
        if (!found)
            return qErrNotFound;
        setLinkSpecifier(*found);
        return connect();
    };
    qErr result = attempt(type);
    bool retry = (result == qErrNotFound || result == qErrInitialization ||
                  result == qErrConnection) &&
                 (type == USB || type == LANVEX) && d->config.fallback;
    if (!retry)
        return result;
    disconnect(); // a failed attempt may hold an engine link that never ran
    return attempt(type == USB ? LANVEX : USB);
}

qErr Link::connectThroughLinkModule(Link& other)
{
    if (other.d->linkId == 0)
        return qErrInitialization;
    if (d->linkId != 0)
        return qErrConnection;
    return sConnect(*d, other.d->linkId);
}

bool Link::isConnected() const { return d->connected(); }

uint32_t Link::getStatus() const
{
    return d->linkId == 0 ? uint32_t(kLinkStatusError) : qLink_GetStatus(d->linkId);
}

qErr Link::disconnect()
{
    if (d->linkId != 0) {
        // Nothing of this Link may keep running on an engine link that others still use.
        if (d->filterInstalled)
            d->installStreamFilter(false);
        if (d->logger)
            qLogger_Destroy(&d->logger);
        qLink_Destroy(&d->linkId);
    }
    return qErrNone;
}

qErr Link::reset()
{
    if (d->linkId != 0 && qLink_Reset(d->linkId) == qErrNone && d->filterInstalled)
        qLink_InstallUserPacketFilter(d->linkId, linkStreamFilter, d.get()); // reset cleared it
    return qErrNone;
}

qErr Link::enablePooledPackets(bool enable)
{
    return qLink_EnablePooledPackets(d->linkId, enable ? 1 : 0);
}

} // namespace Quorvel::Cindervex
