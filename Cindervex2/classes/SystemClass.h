#pragma once
// SystemClass: the system entity (entity class 3) of a module. Each operation is one UEI
// exchange with a fixed option; results as EntityClass gives them.

#include "Cindervex2/classes/EntityClass.h"

namespace Quorvel::Cindervex {

class SystemClass : public EntityClass {
public:
    /* Binds to the system entity `index` of `module`. */
    void init(Module* module, uint8_t index);

    /* Getters copy the value for qErrNone and qErrStreamStale; qErrParam for null. */
    qErr getModule(uint8_t* address);
    qErr setRouter(uint8_t address);
    qErr getRouter(uint8_t* address);
    qErr setHBInterval(uint8_t interval);
    qErr getHBInterval(uint8_t* interval);
    /* Sends 1 for any nonzero state. */
    qErr setLED(uint8_t state);
    qErr getLED(uint8_t* state);
    qErr setBootSlot(uint8_t slot);
    qErr getBootSlot(uint8_t* slot);
    /* Packed firmware version (see qVersion). */
    qErr getVersion(uint32_t* version);
    qErr getModel(uint8_t* model);
    qErr getSerialNumber(uint32_t* serialNumber);
    qErr save();
    qErr reset();
    qErr getInputVoltage(uint32_t* value);
    qErr getModuleHardwareOffset(uint8_t* offset);
    qErr getModuleBaseAddress(uint8_t* address);
    qErr setModuleSoftwareOffset(uint8_t offset);
    qErr getModuleSoftwareOffset(uint8_t* offset);
    qErr getRouterAddressSetting(uint8_t* setting);
    /* Makes the module route to the module at `address`. */
    qErr routeToMe(uint8_t address);
    qErr getInputCurrent(uint32_t* value);
    qErr getUptime(uint32_t* seconds);
    qErr getMaximumTemperature(int32_t* value);
    qErr logEvents();
    qErr getUnregulatedVoltage(int32_t* value);
    qErr getUnregulatedCurrent(int32_t* value);
    qErr getTemperature(int32_t* value);
    qErr getMinimumTemperature(int32_t* value);
    qErr getInputPowerSource(uint8_t* source);
    qErr setInputPowerBehavior(uint8_t behavior);
    qErr getInputPowerBehavior(uint8_t* behavior);
    /* n words as raw bytes (no byte-order conversion). */
    qErr setInputPowerBehaviorConfig(const uint32_t* words, size_t n);
    /* Up to capacity words; *n receives the number of words. */
    qErr getInputPowerBehaviorConfig(uint32_t* words, size_t capacity, size_t* n);
    qErr setName(const uint8_t* text, size_t length);
    /* The name's bytes (not terminated); *length receives their number. */
    qErr getName(uint8_t* buffer, size_t capacity, size_t* length);
    qErr getPowerLimit(uint32_t* value);
    qErr setPowerLimitMax(uint32_t value);
    qErr getPowerLimitMax(uint32_t* value);
    qErr getPowerLimitState(uint32_t* value);
    qErr resetEntityToFactoryDefaults();
    qErr resetDeviceToFactoryDefaults();
    qErr setLinkInterface(uint8_t link);
    qErr getLinkInterface(uint8_t* link);
    qErr getHardwareVersion(uint32_t* version);
    qErr getErrors(uint32_t* errors);
    qErr setLEDMaxBrightness(uint8_t brightness);
    qErr getLEDMaxBrightness(uint8_t* brightness);
    qErr getBuild(uint32_t* build);
    qErr getProtocolFeatures(uint32_t* features);
};

} // namespace Quorvel::Cindervex
