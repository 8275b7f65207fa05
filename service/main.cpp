// tallyhive-service: the pages the program shows after its agreement, the share endpoint and the
// store of shares.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "service/Server.h"
#include "share/PassCode.h"
#include "tallyhive_version.h"

namespace {

constexpr const char* kUsage =
    "usage: tallyhive-service [--port N] [--data DIR] [--address A] [--store URL] [--latest-version V] "
    "[--threads N]\n"
    "  --port N            port to listen on (default " TALLYHIVE_DEFAULT_PORT
    "; 0 picks a free one)\n"
    "  --data DIR          data folder: the SQLite store and downloads/ (default ./tallyhive-service-data)\n"
    "  --address A         address to listen on (default 127.0.0.1)\n"
    "  --store URL         postgresql://... to keep shares in PostgreSQL instead of the data folder\n"
    "  --latest-version V  the program version the start page announces (default " TALLYHIVE_RELEASE_VERSION
    ")\n"
    "  --threads N         worker threads (default 32)\n"
    "The first line of output is the port being served.\n";

bool ReadNumber(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::atoi(text.c_str());
    return value >= low && value <= high;
}

// Digits, one point, digits: how the program writes its own version ("2.00" for 2.0.0.1).
bool IsReleaseForm(const std::string& text) {
    const std::size_t point = text.find('.');
    return point != std::string::npos && point > 0 && point + 1 < text.size() && text.size() <= 16 &&
           text.find_first_not_of("0123456789.") == std::string::npos &&
           text.find('.', point + 1) == std::string::npos;
}

int Usage(const std::string& error) {
    std::fprintf(stderr, "tallyhive-service: %s\n%s", error.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tallyhive;
    service::ServiceOptions options;
    options.port = std::atoi(TALLYHIVE_DEFAULT_PORT);
    options.dataFolder = "tallyhive-service-data";
    options.latestVersion = TALLYHIVE_RELEASE_VERSION;
    std::string store;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= args.size()) return Usage("missing value after " + arg);
        const std::string& value = args[++i];
        if (arg == "--port") {
            if (!ReadNumber(value, 0, 65535, options.port)) return Usage("not a port: " + value);
        } else if (arg == "--threads") {
            if (!ReadNumber(value, 1, 1024, options.threads)) return Usage("not a thread count: " + value);
        } else if (arg == "--data") {
            options.dataFolder = value;
        } else if (arg == "--address") {
            options.address = value;
        } else if (arg == "--store") {
            store = value;
        } else if (arg == "--latest-version") {
            // The program reads the announced version as one decimal number and compares it with
            // its own in the same form; "2.0.0.1" would read as 2.0 and never ask anyone to update.
            if (!IsReleaseForm(value))
                return Usage("the version must be in the release form, such as " TALLYHIVE_RELEASE_VERSION
                             ": " +
                             value);
            options.latestVersion = value;
        } else {
            return Usage("unknown option " + arg);
        }
    }

    // SIGINT and SIGTERM are taken by one thread that stops the server; every other thread, the
    // server's workers included, inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::string why;
    std::unique_ptr<service::ShareStore> shares =
        service::OpenStore(store.empty() ? options.dataFolder : store, why);
    if (!shares) {
        std::fprintf(stderr, "tallyhive-service: %s\n", why.c_str());
        return 1;
    }
    const std::shared_ptr<TimeService> time = MakeTimeService();
    service::ServiceClock clock{[time] { return time->Now(); },
                                [time](std::int64_t utc) { return LocalMinuteStamp(utc, *time); }};
    service::Service server(options, std::move(shares), clock);
    const int port = server.Bind();
    if (port < 0) {
        std::fprintf(stderr, "tallyhive-service: cannot listen on %s port %d: %s\n", options.address.c_str(),
                     options.port, std::strerror(errno));
        return 1;
    }
    std::printf("%d http://%s:%d/\n", port, options.address.c_str(), port);
    std::fflush(stdout);

    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.Stop();
    });
    const bool served = server.Serve();
    // Serve also ends without a signal when listening fails; the stopper is then woken by hand.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    std::fprintf(stderr, "tallyhive-service: stopped\n");
    return served ? 0 : 1;
}
