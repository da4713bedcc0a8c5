#include "Cindervex2/classes/SystemClass.h"

#include "Cindervex2/common/qCommands.h"

namespace Quorvel::Cindervex {

namespace {

enum SystemOption : uint8_t {
    kModule = 1, kRouter = 2, kHBInterval = 3, kLED = 4, kBootSlot = 6, kVersion = 7,
    kModel = 8, kSerialNumber = 9, kSave = 10, kReset = 11, kInputVoltage = 12,
    kHardwareOffset = 13, kBaseAddress = 14, kSoftwareOffset = 15, kRouterAddressSetting = 16,
    kRouteToMe = 20, kInputCurrent = 21, kUptime = 22, kMaximumTemperature = 23,
    kLogEvents = 24, kUnregulatedVoltage = 25, kUnregulatedCurrent = 26, kTemperature = 27,
    kMinimumTemperature = 28, kInputPowerSource = 29, kInputPowerBehavior = 30,
    kInputPowerBehaviorConfig = 31, kName = 32, kPowerLimit = 33, kPowerLimitMax = 34,
    kPowerLimitState = 35, kResetEntity = 36, kResetDevice = 37, kLinkInterface = 38,
    kHardwareVersion = 40, kErrors = 41, kLEDMaxBrightness = 42, kBuild = 43,
    kProtocolFeatures = 45,
};

} // namespace

void SystemClass::init(Module* module, uint8_t index) { EntityClass::init(module, cmdSYSTEM, index); }

static qErr sSigned(EntityClass& e, uint8_t option, int32_t* value)
{
    if (!value)
        return qErrParam;
    uint32_t raw = 0;
    qErr result = e.getUEI32(option, &raw);
    if (result == qErrNone || result == qErrStreamStale)
        *value = int32_t(raw);
    return result;
}

qErr SystemClass::getModule(uint8_t* v) { return getUEI8(kModule, v); }
qErr SystemClass::setRouter(uint8_t v) { return setUEI8(kRouter, v); }
qErr SystemClass::getRouter(uint8_t* v) { return getUEI8(kRouter, v); }
qErr SystemClass::setHBInterval(uint8_t v) { return setUEI8(kHBInterval, v); }
qErr SystemClass::getHBInterval(uint8_t* v) { return getUEI8(kHBInterval, v); }
qErr SystemClass::setLED(uint8_t v) { return setUEI8(kLED, v ? 1 : 0); }
qErr SystemClass::getLED(uint8_t* v) { return getUEI8(kLED, v); }
qErr SystemClass::setBootSlot(uint8_t v) { return setUEI8(kBootSlot, v); }
qErr SystemClass::getBootSlot(uint8_t* v) { return getUEI8(kBootSlot, v); }
qErr SystemClass::getVersion(uint32_t* v) { return getUEI32(kVersion, v); }
qErr SystemClass::getModel(uint8_t* v) { return getUEI8(kModel, v); }
qErr SystemClass::getSerialNumber(uint32_t* v) { return getUEI32(kSerialNumber, v); }
qErr SystemClass::save() { return callUEI(kSave); }
qErr SystemClass::reset() { return callUEI(kReset); }
qErr SystemClass::getInputVoltage(uint32_t* v) { return getUEI32(kInputVoltage, v); }
qErr SystemClass::getModuleHardwareOffset(uint8_t* v) { return getUEI8(kHardwareOffset, v); }
qErr SystemClass::getModuleBaseAddress(uint8_t* v) { return getUEI8(kBaseAddress, v); }
qErr SystemClass::setModuleSoftwareOffset(uint8_t v) { return setUEI8(kSoftwareOffset, v); }
qErr SystemClass::getModuleSoftwareOffset(uint8_t* v) { return getUEI8(kSoftwareOffset, v); }
qErr SystemClass::getRouterAddressSetting(uint8_t* v) { return getUEI8(kRouterAddressSetting, v); }
qErr SystemClass::routeToMe(uint8_t v) { return setUEI8(kRouteToMe, v); }
qErr SystemClass::getInputCurrent(uint32_t* v) { return getUEI32(kInputCurrent, v); }
qErr SystemClass::getUptime(uint32_t* v) { return getUEI32(kUptime, v); }
qErr SystemClass::getMaximumTemperature(int32_t* v) { return sSigned(*this, kMaximumTemperature, v); }
qErr SystemClass::logEvents() { return callUEI(kLogEvents); }
qErr SystemClass::getUnregulatedVoltage(int32_t* v) { return sSigned(*this, kUnregulatedVoltage, v); }
qErr SystemClass::getUnregulatedCurrent(int32_t* v) { return sSigned(*this, kUnregulatedCurrent, v); }
qErr SystemClass::getTemperature(int32_t* v) { return sSigned(*this, kTemperature, v); }
qErr SystemClass::getMinimumTemperature(int32_t* v) { return sSigned(*this, kMinimumTemperature, v); }
qErr SystemClass::getInputPowerSource(uint8_t* v) { return getUEI8(kInputPowerSource, v); }
qErr SystemClass::setInputPowerBehavior(uint8_t v) { return setUEI8(kInputPowerBehavior, v); }
qErr SystemClass::getInputPowerBehavior(uint8_t* v) { return getUEI8(kInputPowerBehavior, v); }

qErr SystemClass::setInputPowerBehaviorConfig(const uint32_t* words, size_t n)
{
    return setUEIBytes(kInputPowerBehaviorConfig, reinterpret_cast<const uint8_t*>(words),
                       n * sizeof(uint32_t));
}

qErr SystemClass::getInputPowerBehaviorConfig(uint32_t* words, size_t capacity, size_t* n)
{
    qErr result = getUEIBytes(kInputPowerBehaviorConfig, reinterpret_cast<uint8_t*>(words),
                              capacity * sizeof(uint32_t), n);
    if (n)
        getUEIBytesCheck(n, sizeof(uint32_t));
    return result;
}

qErr SystemClass::setName(const uint8_t* text, size_t length) { return setUEIBytes(kName, text, length); }

qErr SystemClass::getName(uint8_t* buffer, size_t capacity, size_t* length)
{
    return getUEIBytes(kName, buffer, capacity, length);
}

qErr SystemClass::getPowerLimit(uint32_t* v) { return getUEI32(kPowerLimit, v); }
qErr SystemClass::setPowerLimitMax(uint32_t v) { return setUEI32(kPowerLimitMax, v); }
qErr SystemClass::getPowerLimitMax(uint32_t* v) { return getUEI32(kPowerLimitMax, v); }
qErr SystemClass::getPowerLimitState(uint32_t* v) { return getUEI32(kPowerLimitState, v); }
qErr SystemClass::resetEntityToFactoryDefaults() { return callUEI(kResetEntity); }
qErr SystemClass::resetDeviceToFactoryDefaults() { return callUEI(kResetDevice); }
qErr SystemClass::setLinkInterface(uint8_t v) { return setUEI8(kLinkInterface, v); }
qErr SystemClass::getLinkInterface(uint8_t* v) { return getUEI8(kLinkInterface, v); }
qErr SystemClass::getHardwareVersion(uint32_t* v) { return getUEI32(kHardwareVersion, v); }
qErr SystemClass::getErrors(uint32_t* v) { return getUEI32(kErrors, v); }
qErr SystemClass::setLEDMaxBrightness(uint8_t v) { return setUEI8(kLEDMaxBrightness, v); }
qErr SystemClass::getLEDMaxBrightness(uint8_t* v) { return getUEI8(kLEDMaxBrightness, v); }
qErr SystemClass::getBuild(uint32_t* v) { return getUEI32(kBuild, v); }
qErr SystemClass::getProtocolFeatures(uint32_t* v) { return getUEI32(kProtocolFeatures, v); }

} // namespace Quorvel::Cindervex
