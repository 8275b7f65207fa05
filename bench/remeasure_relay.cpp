// How fast RunConsoleCommand relays an interpreter's output: 100 MB through the interpreter
// (throughput; target at least 200 MB/s) and the time a line takes from the program's write to the
// sink (added latency; target at most 5 ms). Not run by the tests.
//
// The program is its own output source: with --emit-bytes or --emit-lines it only writes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/Processes.h"
#include "remeasure/ConsoleCommand.h"

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

int EmitBytes(std::size_t total) {
    const std::string block(64 * 1024, 'b');
    while (total > 0) {
        const std::size_t n = std::min(total, block.size());
        if (std::fwrite(block.data(), 1, n, stdout) != n) return 1;
        total -= n;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// One line per interval holding the moment it was written, the way a progress line comes.
int EmitLines(int count, int intervalMs) {
    for (int i = 0; i < count; ++i) {
        std::printf("%lld\n", static_cast<long long>(NowNs()));
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--emit-bytes")
        return EmitBytes(std::strtoull(argv[2], nullptr, 10));
    if (argc == 4 && std::string(argv[1]) == "--emit-lines")
        return EmitLines(std::atoi(argv[2]), std::atoi(argv[3]));

    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    auto processes = tallyhive::MakeProcessService("/bin/sh");

    constexpr std::size_t kBytes = 100u << 20;
    for (int round = 1; round <= 3; ++round) {
        std::size_t received = 0;
        std::uint32_t code = 1;
        const auto start = Clock::now();
        const bool ok =
            tallyhive::RunConsoleCommand(*processes, self, "--emit-bytes " + std::to_string(kBytes), code,
                                         [&](std::string_view chunk) { received += chunk.size(); });
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!ok || code != 0 || received != kBytes) {
            std::fprintf(stderr, "relay failed: ok=%d code=%u received=%zu\n", ok, code, received);
            return 1;
        }
        std::printf("throughput round %d: %zu MB in %.3f s = %.0f MB/s (target >= 200)\n", round,
                    kBytes >> 20, seconds, static_cast<double>(kBytes) / (1 << 20) / seconds);
    }

    constexpr int kLines = 200;
    std::vector<double> delays;
    std::string pending;
    std::uint32_t code = 1;
    const bool ok = tallyhive::RunConsoleCommand(
        *processes, self, "--emit-lines " + std::to_string(kLines) + " 5", code, [&](std::string_view chunk) {
            const std::int64_t arrived = NowNs();
            pending.append(chunk);
            std::size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                const long long written = std::atoll(pending.substr(0, end).c_str());
                delays.push_back(static_cast<double>(arrived - written) / 1e6);
                pending.erase(0, end + 1);
            }
        });
    if (!ok || code != 0 || delays.size() != kLines) {
        std::fprintf(stderr, "line relay failed: ok=%d code=%u lines=%zu\n", ok, code, delays.size());
        return 1;
    }
    std::sort(delays.begin(), delays.end());
    std::printf("line latency over %d lines: median %.3f ms, 99th %.3f ms, max %.3f ms (target <= 5)\n",
                kLines, delays[delays.size() / 2], delays[delays.size() * 99 / 100], delays.back());
    return 0;
}
