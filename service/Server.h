#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "service/PassCodeWindow.h"
#include "service/Store.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace tallyhive::service {

struct ServiceOptions {
    std::string address = "127.0.0.1";
    int port = 0;
    std::string dataFolder;     // downloads are served from its "downloads" folder when there is one
    std::string latestVersion;  // what the start page announces
    int threads = 32;           // enough for every keep-alive client of a busy moment
};

// The clock and the local time stamp the pages hand out, injected so tests can move them.
struct ServiceClock {
    std::function<std::int64_t()> now;                          // seconds since 1970, UTC
    std::function<std::string(std::int64_t utcSeconds)> stamp;  // the service's local "%Y%m%d%H%M"
};

class Service {
public:
    Service(ServiceOptions options, std::unique_ptr<ShareStore> store, ServiceClock clock);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Binds the listening socket; returns the port (the one picked when 0 was asked), or -1.
    int Bind();
    // Serves until Stop, also when Stop came first; false when it could not serve at all.
    bool Serve();
    // Safe from another thread; requests being answered are finished first.
    void Stop();

private:
    void Routes();
    // The routes, one function each.
    void RedirectFromRoot(const httplib::Request& request, httplib::Response& response);
    void RedirectToFolder(const httplib::Request& request, httplib::Response& response);
    void ServeSoftwarePage(const httplib::Request& request, httplib::Response& response);
    void ServeStartPage(const httplib::Request& request, httplib::Response& response);
    void ServeResultPage(const httplib::Request& request, httplib::Response& response);
    void ServeProfilePage(const httplib::Request& request, httplib::Response& response);
    void ServeSharePage(const httplib::Request& request, httplib::Response& response);
    void ServeShareListPage(const httplib::Request& request, httplib::Response& response);
    void ServeShareListJson(const httplib::Request& request, httplib::Response& response);
    void ServeShareJson(const httplib::Request& request, httplib::Response& response);
    void ServeSharePost(const httplib::Request& request, httplib::Response& response);
    void ServeError(const httplib::Request& request, httplib::Response& response);

    ServiceOptions m_options;
    std::unique_ptr<ShareStore> m_store;
    ServiceClock m_clock;
    PassCodeWindow m_passCodes;
    std::unique_ptr<httplib::Server> m_server;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_serving{false};
};

}  // namespace tallyhive::service
