// Echo (cmdDEBUG) round trips through the engine over TCP for 10 s against the simulated
// module, inside a private network namespace: rate, and this process's CPU per trip.
#include <chrono>

#include "bench/BenchSim.h"

namespace {

uint8_t sIsEcho(const qPacket* packet, void* reference) {
    return packet->length == 4 && packet->data[0] == 23 && packet->data[1] == *static_cast<uint8_t*>(reference);
}

}  // namespace

int main() {
    std::unique_ptr<SimModule> sim;
    uint32_t link = bench::LinkToSim(&sim, {});
    if (link == 0) return 1;
    const auto duration = std::chrono::seconds(10);
    long trips = 0, lost = 0;
    uint8_t sequence = 0;
    double cpuBefore = bench::ProcessCpuSeconds();
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < duration) {
        sequence++;
        const uint8_t data[4] = {23, sequence, 0x55, 0xAA};
        qPacket* request = qPacket_CreateWithData(0x04, sizeof data, data);
        qLink_PutPacket(link, request);
        qPacket_Destroy(&request);
        qPacket* reply = qLink_AwaitFirst(link, sIsEcho, &sequence, 1000);
        if (reply != nullptr) {
            trips++;
        } else {
            lost++;
        }
        qPacket_Destroy(&reply);
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = bench::ProcessCpuSeconds() - cpuBefore;
    qLink_Destroy(&link);
    printf("%ld round trips in %.2f s, %ld without an answer, CPU %.3f s\n", trips, wall, lost, cpu);
    printf("round trips: %.0f per second, updater CPU per round trip: %.1f us\n", trips / wall,
           trips > 0 ? 1e6 * cpu / static_cast<double>(trips) : 0.0);
    return trips > 0 ? 0 : 1;
}
