#pragma once
// I2CClass: the I2C bus of a module (entity class 8), by raw packets. Bit 0 of an I2C
// address is the bus's read flag: read sets it, write sends the address unchanged. The
// speed (0-3) travels with every transfer.

#include "Cindervex2/classes/EntityClass.h"

namespace Quorvel::Cindervex {

class I2CClass : public EntityClass {
public:
    /* Binds to I2C bus `index` of `module`; speed 0. */
    void init(Module* module, uint8_t index);

    /* Reads up to `length` (at most 23: else qErrSize) bytes from `address` into data.
     * qErrPacket: a reply too short; the bus's error code when it reports one. */
    qErr read(uint8_t address, uint8_t length, uint8_t* data);
    /* Writes `length` (at most 23) bytes to `address`. */
    qErr write(uint8_t address, uint8_t length, const uint8_t* data);
    /* Switches the bus's pull-up resistors. */
    qErr setPullup(bool enable);
    /* Speed for later transfers; qErrParam above 3. */
    qErr setSpeed(uint8_t speed);
    /* The stored speed; qErrParam for null. */
    qErr getSpeed(uint8_t* speed);

private:
    /* Sends `request` (after the command), awaits the reply starting with `matchLength` of
     * its bytes; checks the reply's status byte. */
    qErr _transfer(const uint8_t* request, uint8_t length, uint8_t matchLength, uint8_t* reply,
                   uint8_t* replyLength);

    uint8_t speed = 0;
};

} // namespace Quorvel::Cindervex
