// Load on tallyhive-service: 16 keep-alive clients post shares, then request pages, each for a few
// seconds; prints throughput, latency percentiles and errors, and checks that every accepted share
// was stored exactly once. The clients share the machine's cores with the service.
//
// usage: service_bench PATH-TO-tallyhive-service [SECONDS-PER-PHASE]
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "share/PassCode.h"
#include "share/ShareForm.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClients = 16;

struct Phase {
    std::vector<double> latenciesMs;
    long errors = 0;
    double seconds = 0;
};

std::string Form(long n, const std::string& passCode) {
    using tallyhive::EncodeFormValue;
    const std::string values[] = {"5.9",
                                  "7.4",
                                  "7.5",
                                  "5.9",
                                  "6.1",
                                  "5.9",
                                  "Windows 7 Ultimate",
                                  "Bench machine " + std::to_string(n),
                                  "Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz",
                                  "8.0GB, Kingston",
                                  "NVIDIA GeForce GTX 560",
                                  "1.0GB, DirectX 11",
                                  "ST1000DM003"};
    const char* keys[] = {"system_score",       "cpu_score",           "memory_score",
                          "gpu_score",          "game_score",          "disk_score",
                          "system_information", "machine_information", "cpu_information",
                          "memory_information", "gpu_information",     "game_information",
                          "disk_information"};
    std::string body;
    for (std::size_t i = 0; i < 13; ++i)
        body += (i ? "&" : "") + std::string(keys[i]) + "=" + EncodeFormValue(values[i]);
    return body + "&pass_code=" + passCode + "&captcha=";
}

template <typename Request>
Phase Run(int port, double seconds, Request request) {
    std::vector<Phase> perClient(kClients);
    std::vector<std::thread> threads;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    const auto start = Clock::now();
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port);
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            long n = 0;
            while (Clock::now() < end) {
                const auto t0 = Clock::now();
                const bool ok = request(client, c, n++);
                perClient[c].latenciesMs.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                if (!ok) ++perClient[c].errors;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    Phase all;
    all.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (Phase& p : perClient) {
        all.latenciesMs.insert(all.latenciesMs.end(), p.latenciesMs.begin(), p.latenciesMs.end());
        all.errors += p.errors;
    }
    std::sort(all.latenciesMs.begin(), all.latenciesMs.end());
    return all;
}

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    return sorted[std::min(sorted.size() - 1,
                           static_cast<std::size_t>(p * static_cast<double>(sorted.size())))];
}

void Print(const char* what, const Phase& phase, double target) {
    const double rate = static_cast<double>(phase.latenciesMs.size()) / phase.seconds;
    std::printf(
        "%-6s %8.0f per second (target >= %.0f, ratio %.2f)  p50 %.2f ms  p99 %.2f ms (target < 50)  errors "
        "%ld\n",
        what, rate, target, rate / target, Percentile(phase.latenciesMs, 0.5),
        Percentile(phase.latenciesMs, 0.99), phase.errors);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: service_bench PATH-TO-tallyhive-service [SECONDS-PER-PHASE]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    char pattern[] = "/tmp/tallyhive-service-bench-XXXXXX";
    const std::string data = ::mkdtemp(pattern);

    int out[2];
    if (::pipe(out) != 0) return 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args = {argv[1], "--port", "0", "--data", data};
    std::vector<char*> argp;
    for (std::string& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[1], &actions, nullptr, argp.data(), environ) != 0) return 1;
    ::close(out[1]);
    char line[128] = {};
    ssize_t got = ::read(out[0], line, sizeof line - 1);
    const int port = got > 0 ? std::atoi(line) : 0;
    if (port <= 0) return 1;

    const auto time = tallyhive::MakeTimeService();
    const std::string passCode = tallyhive::PassCodeFor(tallyhive::LocalMinuteStamp(time->Now(), *time));
    std::atomic<long> accepted{0};
    const Phase posts = Run(port, seconds, [&](httplib::Client& client, int c, long n) {
        const auto result = client.Post("/as/responses/add/tallyhive", Form(n * kClients + c, passCode),
                                        "application/x-www-form-urlencoded");
        const bool ok = result && result->status == 303;
        if (ok) ++accepted;
        if (!ok) {
            std::fprintf(
                stderr, "post failed: %s\n",
                result ? std::to_string(result->status).c_str() : httplib::to_string(result.error()).c_str());
        }
        return ok;
    });
    const char* pages[] = {"/software/tallyhive/start.php?lang=en", "/software/tallyhive/result_20.php",
                           "/software/tallyhive/result_profile_20.php",
                           "/software/tallyhive/share.php?id=1&lang=en"};
    const Phase gets = Run(port, seconds, [&](httplib::Client& client, int c, long n) {
        const auto result = client.Get(pages[(n + c) % 4]);
        return result && result->status == 200;
    });

    httplib::Client client("127.0.0.1", port);
    const auto list = client.Get("/software/tallyhive/api/shares?limit=1");
    const long newest =
        list && list->status == 200 ? nlohmann::json::parse(list->body).at(0).at("id").get<long>() : -1;

    std::printf("tallyhive-service, SQLite store, %d keep-alive clients, %.0f s per phase\n", kClients,
                seconds);
    Print("posts", posts, 2000);
    Print("pages", gets, 5000);
    std::printf("shares accepted %ld, stored %ld: %s\n", accepted.load(), newest,
                newest == accepted.load() ? "every accepted share stored exactly once" : "MISMATCH");
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::filesystem::remove_all(data);
    return newest == accepted.load() && posts.errors == 0 && gets.errors == 0 ? 0 : 1;
}
