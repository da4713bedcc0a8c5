// CPU that an idle TCP link costs: a link to the simulated module, which sends a heartbeat
// every second, left alone for 10 s inside a private network namespace.
#include <chrono>
#include <thread>

#include "bench/BenchSim.h"

int main() {
    std::unique_ptr<SimModule> sim;
    uint32_t link = bench::LinkToSim(&sim, {"--heartbeat-ms", "1000"});
    if (link == 0) return 1;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const int seconds = 10;
    double cpuBefore = bench::ProcessCpuSeconds();
    auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    double cpu = bench::ProcessCpuSeconds() - cpuBefore;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    printf("idle for %.2f s, CPU %.4f s (reader, writer and main thread)\n", wall, cpu);
    printf("module: %s\n", sim->command("stats").c_str());
    qLink_Destroy(&link);
    printf("idle link CPU: %.2f%% of one core\n", 100.0 * cpu / wall);
    return 0;
}
