// tallyhive-service: the pages the program shows after its agreement, the share endpoint and the
// store of shares.
#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
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
    "       tallyhive-service --help | --version\n"
    "  --port N            port to listen on (default " TALLYHIVE_DEFAULT_PORT
    "; 0 picks a free one)\n"
    "  --data DIR          data folder: the SQLite store and downloads/ (default ./tallyhive-service-data)\n"
    "  --address A         address to listen on (default 127.0.0.1)\n"
    "  --store URL         postgresql://... to keep shares in PostgreSQL instead of the data folder\n"
    "  --latest-version V  the program version the start page announces (default " TALLYHIVE_RELEASE_VERSION
    ")\n"
    "  --threads N         worker threads (default 32)\n"
    "The first line of output is the port being served.\n";

// Digits only, so that "0x50" or "-1" is refused rather than read some other way.
bool IsNumberWithin(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int value = std::atoi(text.c_str());
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
    CLI::App app{"The web service of the program", "tallyhive-service"};
    app.set_help_flag();  // the usage below says more than CLI11 would
    app.allow_extras();   // named below in the service's own words
    // Given twice, the later value counts.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    const CLI::Option* help = app.add_flag("-h,--help");
    const CLI::Option* version = app.add_flag("--version");
    auto check = [](auto accept, std::string what) {
        return CLI::Validator(
            [accept, what](std::string& value) { return accept(value) ? std::string() : what + value; }, "");
    };
    app.add_option("--port", options.port)
        ->check(check([](const std::string& v) { return IsNumberWithin(v, 0, 65535); }, "not a port: "));
    app.add_option("--threads", options.threads)
        ->check(
            check([](const std::string& v) { return IsNumberWithin(v, 1, 1024); }, "not a thread count: "));
    app.add_option("--data", options.dataFolder);
    app.add_option("--address", options.address);
    app.add_option("--store", store);
    // The program reads the announced version as one decimal number and compares it with its own in
    // the same form; "2.0.0.1" would read as 2.0 and never ask anyone to update.
    app.add_option("--latest-version", options.latestVersion)
        ->check(check(IsReleaseForm,
                      "the version must be in the release form, such as " TALLYHIVE_RELEASE_VERSION ": "));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ArgumentMismatch&) {
        // A value is taken whatever it looks like, so only an option at the very end lacks one.
        return Usage(std::string("missing value after ") + argv[argc - 1]);
    } catch (const CLI::ParseError& e) {
        return Usage(e.what());
    }
    if (help->count() > 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (version->count() > 0) {
        std::puts("tallyhive-service " TALLYHIVE_VERSION);
        return 0;
    }
    if (const std::vector<std::string> extra = app.remaining(); !extra.empty()) {
        const std::string& first = extra.front();
        return Usage((first.starts_with("-") ? "unknown option " : "unexpected argument ") + first);
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
