// Brief measurements of this machine for the stand-in assessment tool.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/posix/UniqueFd.h"
#include "tools/winsat-standin/StandIn.h"

namespace tallyhive::standin {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Keeps the optimiser from dropping work whose result is otherwise unused.
std::atomic<std::uint64_t> g_sink{0};

// Integer mixing over a buffer that fits in the cache: measures the cores, not the memory.
std::uint64_t Mix(const std::uint64_t* data, std::size_t count, std::uint64_t state) {
    for (std::size_t i = 0; i < count; ++i) {
        state ^= data[i];
        state *= 0x9E3779B97F4A7C15ull;
        state ^= state >> 29;
    }
    return state;
}

// A file without a name in `folder`; where the file system lacks that, a named one unlinked at once.
int OpenNamelessFile(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    std::string pattern = folder + "/.winsat-disk-XXXXXX";
    const int named = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (named >= 0) ::unlink(pattern.c_str());
    return named;
}

}  // namespace

Budget BudgetFor(bool quick) {
    if (quick) return Budget{0.05, 0.05, 8u << 20, 2u << 20};
    return Budget{1.0, 1.0, 128u << 20, 128u << 20};
}

double MeasureProcessor(double seconds, unsigned& threads) {
    threads = std::max(1u, std::thread::hardware_concurrency());
    constexpr std::size_t kWords = 4096;  // 32 KB: within the first-level cache
    std::vector<std::uint64_t> data(kWords);
    for (std::size_t i = 0; i < kWords; ++i) data[i] = i * 0x2545F4914F6CDD1Dull + 1;

    std::atomic<bool> start{false};
    std::vector<std::uint64_t> rounds(threads, 0);
    std::vector<std::thread> workers;
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            while (!start.load(std::memory_order_acquire)) std::this_thread::yield();
            std::uint64_t state = t;
            std::uint64_t done = 0;
            while (Clock::now() < deadline) {
                for (int i = 0; i < 16; ++i) state = Mix(data.data(), kWords, state);
                done += 16;
            }
            rounds[t] = done;
            g_sink += state;
        });
    }
    const auto began = Clock::now();
    start.store(true, std::memory_order_release);
    for (std::thread& worker : workers) worker.join();
    const double elapsed = SecondsSince(began);
    std::uint64_t total = 0;
    for (std::uint64_t r : rounds) total += r;
    return elapsed > 0 ? static_cast<double>(total) * kWords * sizeof(std::uint64_t) / elapsed / 1e6 : 0.0;
}

double MeasureMemory(double seconds, std::size_t bytes) {
    const std::size_t half = std::max<std::size_t>(bytes / 2, 1 << 20);
    std::vector<unsigned char> from(half, 1), to(half, 0);  // touched now, so page faults are not timed
    std::size_t copies = 0;
    const auto began = Clock::now();
    double elapsed = 0;
    do {
        std::memcpy(to.data(), from.data(), half);
        from[copies % half] = static_cast<unsigned char>(copies);
        ++copies;
        elapsed = SecondsSince(began);
    } while (elapsed < seconds);
    g_sink += to[half / 2];
    return static_cast<double>(copies) * 2.0 * static_cast<double>(half) / elapsed / 1e9;
}

bool MeasureDisk(const std::string& folder, std::size_t bytes, double& writeMBps, double& readMBps,
                 std::string& error) {
    UniqueFd fd(OpenNamelessFile(folder));
    if (fd.Get() < 0) {
        error = "cannot make a file in " + folder + ": " + std::strerror(errno);
        return false;
    }
    constexpr std::size_t kBlock = 1 << 20;
    std::vector<unsigned char> block(kBlock);
    for (std::size_t i = 0; i < kBlock; ++i) block[i] = static_cast<unsigned char>(i * 131);
    const std::size_t blocks = std::max<std::size_t>(bytes / kBlock, 1);

    const auto writeStart = Clock::now();
    for (std::size_t b = 0; b < blocks; ++b) {
        std::size_t done = 0;
        while (done < kBlock) {
            const ssize_t n = ::write(fd.Get(), block.data() + done, kBlock - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = std::string("writing the test file: ") + (n < 0 ? std::strerror(errno) : "disk full");
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    if (::fdatasync(fd.Get()) != 0) {
        error = std::string("synchronising the test file: ") + std::strerror(errno);
        return false;
    }
    const double writeSeconds = SecondsSince(writeStart);

    // Written pages are clean after the sync, so the cache may drop them and the read comes from
    // the disk; where it keeps them (tmpfs) the read measures memory, which is then the truth.
    ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_DONTNEED);
    const auto readStart = Clock::now();
    std::size_t total = 0;
    for (off_t offset = 0;;) {
        const ssize_t n = ::pread(fd.Get(), block.data(), kBlock, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::string("reading the test file: ") + std::strerror(errno);
            return false;
        }
        if (n == 0) break;
        total += static_cast<std::size_t>(n);
        offset += n;
    }
    const double readSeconds = SecondsSince(readStart);
    const double megabytes = static_cast<double>(blocks * kBlock) / 1e6;
    writeMBps = writeSeconds > 0 ? megabytes / writeSeconds : 0;
    readMBps = readSeconds > 0 ? static_cast<double>(total) / 1e6 / readSeconds : 0;
    return true;
}

}  // namespace tallyhive::standin
