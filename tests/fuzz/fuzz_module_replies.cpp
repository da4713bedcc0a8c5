// Feeds arbitrary packets, as a module could send them, through the reply filters and the
// stream parsers. A byte-array receive must never write past its buffer nor count more than
// it holds; the parsers must never read past the packet's data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Cindervex2/classes/EntityClass.h"
#include "Cindervex2/classes/Link.h"
#include "Cindervex2/common/qStreamPacket.h"
#include "Cindervex2/common/qUEI.h"

using namespace Quorvel::Cindervex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    size_t capacity = data[0] % 64;
    uint8_t length = uint8_t(std::min<size_t>(size - 2, qPACKET_MAX_DATA));
    qPacketPtr packet(qPacket_CreateWithData(data[1], length, data + 2));
    if (!packet)
        return 0;

    // Exactly `capacity` bytes on the heap, so that ASan sees any write beyond them.
    std::vector<uint8_t> buffer(capacity);
    size_t written = 0;
    uei u{};
    u.module = data[1];
    u.command = length ? packet->data[0] : 0;
    u.option = length > 1 ? packet->data[1] : 0;
    u.specifier = length > 2 ? packet->data[2] & 0x1F : 0;
    u.type = ueiTypeBytes;
    u.bytes = ueiBytes{buffer.data(), qUEI_getBytesSequence(packet.get()), 0, capacity, &written};
    EntityClass::sUEIBytesFilter(packet.get(), &u);
    if (written > capacity)
        abort();

    uei scalar{};
    scalar.module = u.module;
    scalar.command = u.command;
    scalar.option = u.option;
    scalar.specifier = u.specifier;
    Link::sUEIFilter(packet.get(), &scalar);

    uint64_t stamp;
    uint32_t value;
    uint8_t subindex;
    qStreamPacket_GetSample(packet.get(), &stamp, &value, &subindex);
    qStreamPacket_IsSample(packet.get());
    qUEI_isStreamPacket(packet.get());
    return 0;
}
