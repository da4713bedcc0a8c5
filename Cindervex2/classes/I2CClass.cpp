#include "Cindervex2/classes/I2CClass.h"

#include <algorithm>
#include <cstring>

#include "Cindervex2/common/qCommands.h"
#include "Cindervex2/common/qPacket.h"

namespace Quorvel::Cindervex {

namespace {

constexpr uint8_t kMaxTransfer = 23;
constexpr uint8_t kMaxSpeed = 3;
constexpr uint8_t kPullup = 1;
constexpr uint8_t kStatusError = 0x80;
constexpr uint8_t kStatusByte = 4;

// A reply carries the bus's status after index, address and count.
qErr sStatus(const uint8_t* reply, uint8_t length)
{
    if (length <= kStatusByte)
        return qErrPacket;
    return (reply[kStatusByte] & kStatusError) ? qErr(reply[kStatusByte] & 0x7F) : qErrNone;
}

} // namespace

void I2CClass::init(Module* module, uint8_t index)
{
    EntityClass::init(module, cmdI2C, index);
    speed = 0;
}

qErr I2CClass::_transfer(const uint8_t* request, uint8_t length, uint8_t matchLength,
                         uint8_t* reply, uint8_t* replyLength)
{
    qErr result = sendPacket(cmdI2C, length, request);
    if (result != qErrNone)
        return result;
    uint8_t match[qPACKET_MAX_DATA] = {cmdI2C};
    memcpy(match + 1, request, matchLength - 1);
    *replyLength = matchLength;
    result = receivePacket(match, replyLength, reply);
    return result != qErrNone ? result : sStatus(reply, *replyLength);
}

qErr I2CClass::read(uint8_t address, uint8_t length, uint8_t* data)
{
    if (length > kMaxTransfer)
        return qErrSize;
    if (!data && length)
        return qErrParam;
    const uint8_t request[] = {getIndex(), uint8_t(address | 1), length, speed};
    uint8_t reply[qPACKET_MAX_DATA], replyLength;
    qErr result = _transfer(request, sizeof request, 3, reply, &replyLength);
    if (result != qErrNone)
        return result;
    size_t count = std::min<size_t>({reply[3], length, size_t(replyLength - kStatusByte - 1)});
    memcpy(data, reply + kStatusByte + 1, count);
    return qErrNone;
}

qErr I2CClass::write(uint8_t address, uint8_t length, const uint8_t* data)
{
    if (length > kMaxTransfer)
        return qErrSize;
    if (!data && length)
        return qErrParam;
    uint8_t request[4 + kMaxTransfer] = {getIndex(), address, length, speed};
    if (length)
        memcpy(request + 4, data, length);
    qErr result = sendPacket(cmdI2C, uint8_t(4 + length), request);
    if (result != qErrNone)
        return result;
    // The acknowledgement repeats index and address with a zero count.
    const uint8_t match[] = {cmdI2C, getIndex(), address, 0};
    uint8_t reply[qPACKET_MAX_DATA], replyLength = sizeof match;
    result = receivePacket(match, &replyLength, reply);
    if (result != qErrNone)
        return result;
    return sStatus(reply, replyLength);
}

qErr I2CClass::setPullup(bool enable)
{
    const uint8_t request[] = {getIndex(), kPullup, uint8_t(enable ? 1 : 0)};
    uint8_t reply[qPACKET_MAX_DATA], replyLength;
    return _transfer(request, sizeof request, 3, reply, &replyLength);
}

qErr I2CClass::setSpeed(uint8_t value)
{
    if (value > kMaxSpeed)
        return qErrParam;
    speed = value;
    return qErrNone;
}

qErr I2CClass::getSpeed(uint8_t* value)
{
    if (!value)
        return qErrParam;
    *value = speed;
    return qErrNone;
}

} // namespace Quorvel::Cindervex
