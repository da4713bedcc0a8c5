#include "Cindervex2/classes/Module.h"

#include <cstring>

#include "Cindervex2/common/qCommands.h"
#include "Cindervex2/common/qUEI.h"
#include "Cindervex2/platform/qPlatform.h"

namespace Quorvel::Cindervex {

namespace {

constexpr int kAddressAttempts = 4;
constexpr uint32_t kAddressPauseMs = 5;
constexpr uint8_t kInfoHasUEI = 1, kInfoClass = 4, kInfoSubClass = 5, kInfoGroup = 6;
constexpr uint8_t kInfoBuild = 255;

} // namespace

Module::Module(uint8_t address, uint8_t modelFilter) : Module(address, true, modelFilter) {}

Module::Module(uint8_t address, bool automatic, uint8_t modelFilter)
    : link(std::make_unique<Link>("Link")), moduleAddress(address), autoNetworking(automatic),
      model(modelFilter)
{
}

Module::~Module() = default;

qErr Module::connect(linkType type, uint32_t serialNumber)
{
    if (serialNumber == 0)
        return qErrParam;
    return discoverAndConnect(type, serialNumber);
}

qErr Module::discoverAndConnect(linkType type, uint32_t serialNumber)
{
    qErr result = link->discoverAndConnect(type, serialNumber, model);
    return result == qErrNone ? _autoNetwork() : result;
}

qErr Module::connectFromSpec(linkSpec spec)
{
    if (link->isConnected())
        return qErrBusy;
    link->disconnect(); // a link held from a failed attempt
    link->setLinkSpecifier(spec);
    qErr result = link->connect();
    return result == qErrNone ? _autoNetwork() : result;
}

qErr Module::connectThroughLinkModule(Module* linkModule)
{
    if (!link)
        return qErrInitialization;
    if (link->isConnected())
        return qErrNone;
    if (!linkModule || !linkModule->link)
        return qErrInitialization;
    linkSpec spec{};
    LanvexConfig config;
    qErr result = linkModule->link->getLinkSpecifier(&spec);
    if (result == qErrNone)
        result = linkModule->link->getConfig(&config);
    if (result != qErrNone)
        return result;
    link->disconnect();
    if ((result = link->setConfig(config)) != qErrNone)
        return result;
    if (config.enabled) {
        spec.type = LANVEX;
        spec.ipAddress = config.networkInterface;
        spec.port = config.assignedPort;
    }
    if ((result = link->setLinkSpecifier(spec)) != qErrNone)
        return result;
    result = link->connectThroughLinkModule(*linkModule->link);
    if (result == qErrNone)
        autoNetworking = false;
    return result;
}

qErr Module::reconnect()
{
    if (!link->isConnected())
        link->disconnect(); // connect refuses while a failed link is held
    qErr result = link->connect();
    return result == qErrNone ? _autoNetwork() : result;
}

bool Module::isConnected() const { return link->isConnected(); }
uint32_t Module::getStatus() const { return link->getStatus(); }
qErr Module::disconnect() { return link->disconnect(); }
uint8_t Module::getModuleAddress() const { return moduleAddress; }
void Module::setModuleAddress(uint8_t address) { moduleAddress = address; }
void Module::setNetworkingMode(bool automatic) { autoNetworking = automatic; }
Link* Module::getLink() { return link.get(); }
qErr Module::getLinkSpecifier(linkSpec* spec) { return link->getLinkSpecifier(spec); }
qErr Module::getConfig(LanvexConfig* config) { return link->getConfig(config); }
qErr Module::setConfig(LanvexConfig config) { return link->setConfig(config); }
qErr Module::enablePacketLog(const char* path) { return link->enablePacketLog(path); }
qErr Module::disablePacketLog() { return link->disablePacketLog(); }

qErr Module::_autoNetwork()
{
    if (!autoNetworking || !link)
        return qErrNone;
    uint8_t found = 0;
    qErr result = qErrNotReady;
    for (int attempt = 0; attempt < kAddressAttempts && result == qErrNotReady; ++attempt) {
        result = link->getModuleAddress(&found);
        if (result != qErrNone)
            qTime_MSSleep(kAddressPauseMs);
    }
    if (found != 0 && found != moduleAddress)
        moduleAddress = found;
    return result;
}

qErr Module::_info(const uint8_t* request, uint8_t length, uint8_t match, uint8_t* replyLength,
                   uint8_t* reply)
{
    if (!link->isConnected())
        return qErrConnection;
    qErr result = link->sendPacket(moduleAddress, cmdINFO, uint8_t(length - 1), request + 1);
    if (result != qErrNone)
        return result;
    *replyLength = match;
    return link->receivePacket(moduleAddress, request, replyLength, reply);
}

qErr Module::getBuild(uint32_t* build)
{
    if (!link->isConnected())
        return qErrConnection;
    if (!build)
        return qErrParam;
    const uint8_t request[] = {cmdINFO, kInfoBuild};
    uint8_t reply[qPACKET_MAX_DATA], length;
    qErr result = _info(request, sizeof request, 2, &length, reply);
    if (result != qErrNone)
        return result;
    if (length != 6)
        return qErrSize;
    *build = qUEI_RetrieveInt(reply + 2);
    return qErrNone;
}

qErr Module::hasUEI(uint8_t command, uint8_t option, uint8_t index, uint8_t flags)
{
    if ((flags & 0x3F) || (flags & 0xC0) == 0xC0)
        return qErrParam;
    const uint8_t request[] = {cmdINFO, kInfoHasUEI, command, option, index, flags};
    uint8_t reply[qPACKET_MAX_DATA], length;
    qErr result = _info(request, sizeof request, 1, &length, reply);
    if (result != qErrNone)
        return result;
    if (length != 6 || memcmp(reply, request, 5) != 0)
        return qErrUnknown;
    return qErr(reply[5]);
}

qErr Module::_infoByte(const uint8_t* request, uint8_t length, uint8_t* value)
{
    if (value)
        *value = 0;
    if (!value)
        return qErrParam;
    uint8_t reply[qPACKET_MAX_DATA], replyLength;
    qErr result = _info(request, length, 1, &replyLength, reply);
    if (result != qErrNone)
        return result;
    if (replyLength != length + 1 || memcmp(reply, request, length) != 0)
        return qErrUnknown;
    *value = reply[length];
    return qErrNone;
}

qErr Module::classQuantity(uint8_t command, uint8_t* count)
{
    const uint8_t request[] = {cmdINFO, kInfoClass, command};
    return _infoByte(request, sizeof request, count);
}

qErr Module::subClassQuantity(uint8_t command, uint8_t index, uint8_t* count)
{
    const uint8_t request[] = {cmdINFO, kInfoSubClass, command, index};
    return _infoByte(request, sizeof request, count);
}

qErr Module::entityGroup(uint8_t command, uint8_t index, uint8_t* group)
{
    const uint8_t request[] = {cmdINFO, kInfoGroup, command, index};
    return _infoByte(request, sizeof request, group);
}

qErr Module::debug(const uint8_t* data, uint8_t length)
{
    if (!link->isConnected())
        return qErrConnection;
    if (!data && length)
        return qErrParam;
    qErr result = link->sendPacket(moduleAddress, cmdDEBUG, length, data);
    if (result != qErrNone)
        return result;
    const uint8_t match[] = {cmdDEBUG};
    uint8_t reply[qPACKET_MAX_DATA], replyLength = 1;
    result = link->receivePacket(moduleAddress, match, &replyLength, reply);
    if (result != qErrNone)
        return result;
    if (replyLength != length + 1 || (length && memcmp(reply + 1, data, length) != 0))
        return qErrIO;
    return qErrNone;
}

} // namespace Quorvel::Cindervex
