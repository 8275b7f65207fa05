#include "service/Server.h"

#include <httplib.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <thread>

#include "base/Calendar.h"
#include "base/Md5.h"
#include "base/Text.h"
#include "service/Form.h"
#include "service/Pages.h"

namespace tallyhive::service {

namespace {

constexpr const char* kBase = "/software/tallyhive/";
constexpr const char* kLanguageCookie = "tallyhive_lang";
constexpr std::size_t kMaxRequestBytes = 64 * 1024;
constexpr std::int64_t kDuplicateSeconds = 60;

// A query value read from the request as it was sent. The HTTP library decodes the query before
// splitting it, so a value holding an escaped "&" ("id=1%26lang=ja", as the program's links have
// it) would reach the handler cut and mixed up with the next pair.
std::string RawParam(const httplib::Request& request, std::string_view name) {
    const std::size_t question = request.target.find('?');
    if (question == std::string::npos) return {};
    const std::string_view query = std::string_view(request.target).substr(question + 1);
    std::size_t start = 0;
    while (start <= query.size()) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string_view pair = query.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        if (pair.substr(0, equals) == name) {
            std::string value;
            if (equals != std::string_view::npos && PercentDecode(pair.substr(equals + 1), value, true))
                return value;
            return {};
        }
        start = end + 1;
    }
    return {};
}

// The page language: the query's "lang" when there is one, else the one remembered in the cookie.
Language LanguageFor(const httplib::Request& request, httplib::Response& response) {
    if (const std::string code = RawParam(request, "lang"); !code.empty()) {
        const Language language = LanguageOf(code);
        response.set_header("Set-Cookie", std::string(kLanguageCookie) + "=" + std::string(CodeOf(language)) +
                                              "; Path=/; SameSite=Lax");
        return language;
    }
    const std::string cookies = request.get_header_value("Cookie");
    const std::string key = std::string(kLanguageCookie) + "=";
    std::size_t at = cookies.find(key);
    while (at != std::string::npos && at != 0 && cookies[at - 1] != ' ' && cookies[at - 1] != ';')
        at = cookies.find(key, at + 1);
    if (at == std::string::npos) return Language::English;
    const std::size_t end = cookies.find(';', at);
    return LanguageOf(cookies.substr(at + key.size(),
                                     end == std::string::npos ? std::string::npos : end - at - key.size()));
}

void Html(httplib::Response& response, std::string html, int status = 200) {
    response.status = status;
    // Pages carry the service's time stamp and the user's share: never from a cache.
    response.set_header("Cache-Control", "no-store");
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_content(std::move(html), "text/html; charset=utf-8");
}

// The public pages run no script at all; should a stored text ever slip through unescaped, the
// browser still refuses to run it or to load anything from elsewhere.
void PublicHtml(httplib::Response& response, std::string html) {
    Html(response, std::move(html));
    response.set_header("Content-Security-Policy",
                        "default-src 'none'; style-src 'unsafe-inline'; img-src 'self'; form-action 'self'; "
                        "base-uri 'none'; frame-ancestors 'none'");
}

void Json(httplib::Response& response, std::string json, int status = 200) {
    response.status = status;
    response.set_header("Access-Control-Allow-Origin", "*");
    response.set_content(std::move(json), "application/json; charset=utf-8");
}

// "N", also when a link's "&" reached us escaped ("N&lang=ja" as one value).
std::optional<std::int64_t> ShareIdOf(std::string text, std::string* language) {
    std::size_t amp = text.find('&');
    std::size_t skip = 1;
    if (amp == std::string::npos) {
        // Whether the server decoded the escape or not, "N%26lang=ja" means the same.
        for (const char* escaped : {"%26", "%2526"}) {
            if ((amp = text.find(escaped)) != std::string::npos) {
                skip = std::char_traits<char>::length(escaped);
                break;
            }
        }
    }
    if (amp != std::string::npos) {
        const std::string rest = text.substr(amp + skip);
        if (language && rest.rfind("lang=", 0) == 0) *language = rest.substr(5);
        text.resize(amp);
    }
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t id = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        id = id * 10 + (c - '0');
    }
    return id > 0 ? std::optional<std::int64_t>(id) : std::nullopt;
}

std::string Fingerprint(const ShareForm& form) {
    std::string joined;
    for (std::size_t i = 0; i < kShareTexts; ++i) {
        joined += form.values[i];
        joined += '\x1f';
    }
    Md5Digest digest{};
    ComputeMd5(joined, digest);
    return HexText(digest);
}

std::string CreatedText(std::int64_t utc) {
    return FormatUtc(utc, "%Y-%m-%d %H:%M UTC");
}

}  // namespace

Service::Service(ServiceOptions options, std::unique_ptr<ShareStore> store, ServiceClock clock)
    : m_options(std::move(options)),
      m_store(std::move(store)),
      m_clock(std::move(clock)),
      m_passCodes(m_clock.stamp),
      m_server(std::make_unique<httplib::Server>()) {
    const int threads = m_options.threads;
    // The server owns the queue it is given and deletes it when it ends.
    m_server->new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<std::size_t>(threads));
    };
    m_server->set_payload_max_length(kMaxRequestBytes);
    // Pages are small and answered at once: waiting to fill a packet would add tens of milliseconds.
    m_server->set_tcp_nodelay(true);
    m_server->set_read_timeout(10, 0);
    m_server->set_write_timeout(10, 0);
    m_server->set_keep_alive_timeout(5);
    m_server->set_keep_alive_max_count(10000);
    m_server->set_logger([](const httplib::Request& request, const httplib::Response& response) {
        const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        const std::string when = FormatUtc(now, "%Y-%m-%dT%H:%M:%SZ");
        // One line a request; the path only, since queries of share pages may hold the user's text.
        std::fprintf(stderr, "%s %s %s %s %d %zu\n", when.c_str(), request.remote_addr.c_str(),
                     request.method.c_str(), request.path.c_str(), response.status, response.body.size());
    });
    m_server->set_exception_handler(
        [](const httplib::Request& request, httplib::Response& response, std::exception_ptr error) {
            std::string what = "internal error";
            try {
                if (error) std::rethrow_exception(error);
            } catch (const std::exception& e) {
                what = e.what();
            }
            std::fprintf(stderr, "error: %s %s: %s\n", request.method.c_str(), request.path.c_str(),
                         what.c_str());
            httplib::Response ignored;
            const Language language = LanguageFor(request, ignored);
            // A failed post must not look like a page that merely went missing: the user is told
            // that the result was not shared.
            response.headers.erase("Location");
            response.headers.erase("Set-Cookie");
            Html(response, ServiceErrorPage(language, request.method == "POST"), 500);
        });
    Routes();
}

Service::~Service() = default;

namespace {

// The HTTP library listens with a queue of 5 waiting connections, fixed when it was built. When more
// clients connect at once (16 opening their keep-alive connections together, say) the kernel drops
// the rest, and their requests stall for seconds of retransmission or fail. Listening again on the
// same socket only changes the queue's length; the library does not hand out its socket, so it is
// found among the process's listening sockets by its port.
void LengthenListenQueue(int port) {
    rlimit limit{};
    const int highest = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536
                            ? static_cast<int>(limit.rlim_cur)
                            : 65536;
    for (int fd = 0; fd < highest; ++fd) {
        int listening = 0;
        socklen_t size = sizeof listening;
        if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || !listening) continue;
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) continue;
        int bound = -1;
        if (address.ss_family == AF_INET) bound = ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
        if (address.ss_family == AF_INET6)
            bound = ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
        if (bound == port) ::listen(fd, SOMAXCONN);
    }
}

}  // namespace

int Service::Bind() {
    const int port = m_options.port == 0 ? m_server->bind_to_any_port(m_options.address)
                     : m_server->bind_to_port(m_options.address, m_options.port) ? m_options.port
                                                                                 : -1;
    if (port > 0) LengthenListenQueue(port);
    return port;
}

bool Service::Serve() {
    m_serving = true;
    if (m_stopRequested) {
        m_serving = false;
        return true;
    }
    const bool served = m_server->listen_after_bind();
    m_serving = false;
    return served;
}

void Service::Stop() {
    // The HTTP library ignores a stop that comes before it listens, and would then serve for ever: a
    // stop asked for that early is seen by Serve, or waited out here until the server is listening.
    m_stopRequested = true;
    while (m_serving && !m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_server->stop();
}

namespace {

// The filters of a list of shares, from its query.
ShareQuery QueryOf(const httplib::Request& request) {
    ShareQuery query;
    query.cpu = RawParam(request, "cpu");
    query.gpu = RawParam(request, "gpu");
    query.beforeId = ShareIdOf(RawParam(request, "before"), nullptr).value_or(0);
    if (const auto limit = ShareIdOf(RawParam(request, "limit"), nullptr))
        query.limit = std::min<std::int64_t>(*limit, 200);
    return query;
}

}  // namespace

void Service::Routes() {
    httplib::Server& server = *m_server;
    const std::string base = kBase;
    auto serve = [this](void (Service::*page)(const httplib::Request&, httplib::Response&)) {
        return [this, page](const httplib::Request& request, httplib::Response& response) {
            (this->*page)(request, response);
        };
    };

    server.Get("/", serve(&Service::RedirectFromRoot));
    server.Get(base.substr(0, base.size() - 1), serve(&Service::RedirectToFolder));
    server.Get(base, serve(&Service::ServeSoftwarePage));
    server.Get(base + "start.php", serve(&Service::ServeStartPage));
    server.Get(base + "result_20.php", serve(&Service::ServeResultPage));
    server.Get(base + "result_profile_20.php", serve(&Service::ServeProfilePage));
    server.Get(base + "share.php", serve(&Service::ServeSharePage));
    server.Get(base + "shares.php", serve(&Service::ServeShareListPage));
    server.Get(base + "api/shares", serve(&Service::ServeShareListJson));
    server.Get(base + R"(api/shares/(\d+))", serve(&Service::ServeShareJson));
    server.Post("/as/responses/add/tallyhive", serve(&Service::ServeSharePost));
    const std::string downloads = (std::filesystem::path(m_options.dataFolder) / "downloads").string();
    // Made at start, so builds copied into it later are served without a restart.
    std::error_code ec;
    if (!m_options.dataFolder.empty()) std::filesystem::create_directories(downloads, ec);
    if (!m_options.dataFolder.empty() && std::filesystem::is_directory(downloads, ec))
        server.set_mount_point(base + "downloads", downloads);
    server.set_error_handler(serve(&Service::ServeError));
}

void Service::RedirectFromRoot(const httplib::Request&, httplib::Response& response) {
    response.set_redirect(kBase, 302);
}

void Service::RedirectToFolder(const httplib::Request&, httplib::Response& response) {
    response.set_redirect(kBase, 301);
}

void Service::ServeSoftwarePage(const httplib::Request& request, httplib::Response& response) {
    // Looked up on every visit, so files put in place later are offered without a restart.
    const std::filesystem::path folder = std::filesystem::path(m_options.dataFolder) / "downloads";
    std::error_code ec;
    Downloads downloads;
    downloads.windowsBuild = std::filesystem::is_regular_file(folder / kWindowsDownload, ec);
    downloads.linuxBuild = std::filesystem::is_regular_file(folder / kLinuxDownload, ec);
    PublicHtml(response, SoftwarePage(LanguageFor(request, response), m_options.latestVersion, downloads));
}

void Service::ServeStartPage(const httplib::Request& request, httplib::Response& response) {
    Html(response, StartPage(LanguageFor(request, response), m_options.latestVersion));
}

void Service::ServeResultPage(const httplib::Request& request, httplib::Response& response) {
    Html(response, ResultPage(LanguageFor(request, response), m_clock.stamp(m_clock.now())));
}

void Service::ServeProfilePage(const httplib::Request& request, httplib::Response& response) {
    const Language language = LanguageFor(request, response);
    std::optional<std::int64_t> id;
    if (const std::string text = RawParam(request, "id"); !text.empty()) {
        id = ShareIdOf(text, nullptr);
        if (!id || !m_store->Find(*id)) return Html(response, NotFoundPage(language), 404);
    }
    Html(response, ProfilePage(language, m_clock.stamp(m_clock.now()), id));
}

void Service::ServeSharePage(const httplib::Request& request, httplib::Response& response) {
    std::string escapedLanguage;
    const auto id = ShareIdOf(RawParam(request, "id"), &escapedLanguage);
    Language language = LanguageFor(request, response);
    if (!escapedLanguage.empty()) language = LanguageOf(escapedLanguage);
    const auto share = id ? m_store->Find(*id) : std::nullopt;
    if (!share) return Html(response, NotFoundPage(language), 404);
    ShareView view;
    view.share = *share;
    const auto ranks = m_store->RanksOf(share->id);
    view.ranks.assign(ranks.begin(), ranks.end());
    ShareQuery same;
    same.cpu = (*share)[ShareText::CpuInformation];
    same.limit = 11;
    for (StoredShare& other : m_store->List(same))
        if (other.id != share->id && view.sameCpu.size() < 10) view.sameCpu.push_back(std::move(other));
    view.createdText = CreatedText(share->createdUtc);
    PublicHtml(response, SharePage(language, view));
}

void Service::ServeShareListPage(const httplib::Request& request, httplib::Response& response) {
    const ShareQuery query = QueryOf(request);
    PublicHtml(response, ShareListPage(LanguageFor(request, response), m_store->List(query), query));
}

void Service::ServeShareListJson(const httplib::Request& request, httplib::Response& response) {
    Json(response, ShareListJson(m_store->List(QueryOf(request))));
}

void Service::ServeShareJson(const httplib::Request& request, httplib::Response& response) {
    const auto id = ShareIdOf(request.matches[1], nullptr);
    const auto share = id ? m_store->Find(*id) : std::nullopt;
    if (!share) return Json(response, "{\"error\":\"no such share\"}", 404);
    Json(response, ShareJson(*share));
}

void Service::ServeSharePost(const httplib::Request& request, httplib::Response& response) {
    const Language language = LanguageFor(request, response);
    const std::string type = request.get_header_value("Content-Type");
    if (!type.empty() && type.rfind("application/x-www-form-urlencoded", 0) != 0)
        return Html(response, RejectedPage(language, TextsOf(language).notUrlEncoded), 415);
    FormProblem problem;
    const std::optional<ShareForm> form = DecodeShareForm(request.body, problem);
    if (form) problem = ValidateShare(*form);
    if (problem) return Html(response, RejectedPage(language, DescribeProblem(language, problem)), 400);
    const std::int64_t now = m_clock.now();
    if (!m_passCodes.Accepts(form->Get("pass_code"), now))
        return Html(response, RejectedPage(language, TextsOf(language).passCodeRefused), 403);
    StoredShare share;
    share.createdUtc = now;
    for (std::size_t i = 0; i < kShareTexts; ++i) share.texts[i] = form->values[i];
    bool duplicate = false;
    const std::int64_t id = m_store->Add(share, Fingerprint(*form), now - kDuplicateSeconds, duplicate);
    // See Other: the browser fetches the profile page with GET, so reloading it posts nothing again.
    response.set_redirect(std::string(kBase) + "result_profile_20.php?id=" + std::to_string(id) +
                              "&lang=" + std::string(CodeOf(language)),
                          303);
}

// What the server answers itself (an unknown address, a form too large) gets a page of ours.
void Service::ServeError(const httplib::Request& request, httplib::Response& response) {
    if (!response.body.empty()) return;
    httplib::Response ignored;
    const Language language = LanguageFor(request, ignored);
    if (response.status == 404) {
        Html(response, NotFoundPage(language), 404);
    } else if (response.status == 413) {
        Html(response, RejectedPage(language, TextsOf(language).formTooLarge), 413);
    }
}

}  // namespace tallyhive::service
