// The service in-process, with its clock and store in the test's hands: the program's own share form
// (built by the core from a record) is accepted and kept, codes outside the window are refused, and a
// store that fails is reported as a failure, never as a share or a missing page.
#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "assessment/AssessmentResult.h"
#include "platform/Platform.h"
#include "service/PassCodeWindow.h"
#include "service/Server.h"
#include "share/PassCode.h"
#include "share/ShareForm.h"

namespace tallyhive::service {
namespace {

constexpr std::int64_t kNow = 1'796'886'639;  // 2026-12-10 07:10:39 UTC

// Keeps shares in memory; fails every call when told to.
class MemoryStore final : public ShareStore {
public:
    explicit MemoryStore(bool failing) : m_failing(failing) {}
    std::int64_t Add(const StoredShare& share, const std::string&, std::int64_t, bool& duplicate) override {
        Check();
        duplicate = false;
        m_shares.push_back(share);
        m_shares.back().id = static_cast<std::int64_t>(m_shares.size());
        return m_shares.back().id;
    }
    std::optional<StoredShare> Find(std::int64_t id) override {
        Check();
        if (id < 1 || id > static_cast<std::int64_t>(m_shares.size())) return std::nullopt;
        return m_shares[static_cast<std::size_t>(id - 1)];
    }
    std::vector<StoredShare> List(const ShareQuery&) override {
        Check();
        return {m_shares.rbegin(), m_shares.rend()};
    }
    std::array<Rank, kScoreCount> RanksOf(std::int64_t) override {
        Check();
        std::array<Rank, kScoreCount> ranks{};
        ranks.fill({1, static_cast<std::int64_t>(m_shares.size())});
        return ranks;
    }
    std::int64_t Count() override {
        Check();
        return static_cast<std::int64_t>(m_shares.size());
    }
    std::vector<StoredShare> m_shares;

private:
    void Check() const {
        if (m_failing) throw StoreError("the database is unreachable");
    }
    bool m_failing;
};

std::string Form(const std::string& passCode) {
    const std::shared_ptr<TimeService> time = MakeTimeService();
    CAssessmentResult record(*time);
    record.systemScore = "5.9";
    record.cpuScore = "7.4";
    record.memoryScore = "7.5";
    record.graphicsScore = "5.9";
    record.gamingScore = "6.1";
    record.diskScore = "5.9";
    record.osProductName = "Windows 7 Ultimate";
    record.machineManufacturer = "Acme <b>&";
    record.machineProductName = "ワークステーション";
    record.processorNames = {"Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz"};
    record.adapterDescriptions = {"NVIDIA GeForce GTX 560 Ti"};
    record.dedicatedVideoMemories = {"1073741824"};
    record.totalPhysicalBytes = "8589934592";
    record.diskModel = "ST1000DM003";
    record.directXVersion = "11";
    return BuildShareForm(record, passCode);
}

class Running {
public:
    explicit Running(bool failingStore) {
        auto store = std::make_unique<MemoryStore>(failingStore);
        m_store = store.get();
        ServiceOptions options;
        options.threads = 2;
        ServiceClock clock{[] { return kNow; }, [](std::int64_t utc) { return UtcMinuteStamp(utc); }};
        m_service = std::make_unique<Service>(options, std::move(store), clock);
        m_port = m_service->Bind();
        if (m_port > 0) m_thread = std::thread([this] { m_service->Serve(); });
    }
    ~Running() {
        if (m_thread.joinable()) {
            m_service->Stop();
            m_thread.join();
        }
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", m_port);
        client.set_connection_timeout(5);
        client.set_read_timeout(10);
        return client;
    }
    int Port() const { return m_port; }
    MemoryStore& Store() { return *m_store; }

private:
    std::unique_ptr<Service> m_service;
    MemoryStore* m_store = nullptr;
    int m_port = -1;
    std::thread m_thread;
};

TEST(Service, TheProgramsFormIsStoredAsTheRecordHadIt) {
    Running running(false);
    ASSERT_GT(running.Port(), 0);
    httplib::Client client = running.Client();
    struct Case {
        std::string stamp;
        int status;
        const char* why;
    };
    const Case cases[] = {
        {UtcMinuteStamp(kNow), 303, "the stamp of the result page just served"},
        {UtcMinuteStamp(kNow - 29 * 60), 303, "a result page of half an hour ago"},
        {UtcMinuteStamp(kNow + 9 * 3600), 303, "a client clock in Tokyo"},
        {UtcMinuteStamp(kNow - 15 * 3600), 403, "a clock beyond every time zone"},
        {"", 403, "no stamp at all"},
    };
    std::size_t stored = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const auto result = client.Post("/as/responses/add/tallyhive", Form(PassCodeFor(c.stamp)),
                                        "application/x-www-form-urlencoded");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, c.status);
        if (c.status == 303) {
            ++stored;
            EXPECT_NE(result->get_header_value("Location").find("result_profile_20.php?id="),
                      std::string::npos);
        }
        EXPECT_EQ(running.Store().m_shares.size(), stored);
    }
    const StoredShare& share = running.Store().m_shares.front();
    EXPECT_EQ(share[ShareText::CpuScore], "7.4");
    EXPECT_EQ(share[ShareText::SystemInformation], "Windows 7 Ultimate");
    EXPECT_NE(share[ShareText::MachineInformation].find("Acme <b>&"), std::string::npos)
        << share[ShareText::MachineInformation];
    EXPECT_NE(share[ShareText::MachineInformation].find("ワークステーション"), std::string::npos)
        << share[ShareText::MachineInformation];
    EXPECT_EQ(share.createdUtc, kNow);
}

TEST(Service, AStopRightAfterStartingEndsTheService) {
    // A supervisor may stop the service the moment it has started; the stop must not be lost.
    for (int round = 0; round < 50; ++round) {
        Running running(false);
        ASSERT_GT(running.Port(), 0);
    }
}

TEST(Service, AFailingStoreIsReportedAsAFailure) {
    Running running(true);
    ASSERT_GT(running.Port(), 0);
    httplib::Client client = running.Client();
    const httplib::Headers japanese = {{"Cookie", "tallyhive_lang=ja"}};
    const auto posted =
        client.Post("/as/responses/add/tallyhive", japanese, Form(PassCodeFor(UtcMinuteStamp(kNow))),
                    "application/x-www-form-urlencoded");
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->status, 500);
    EXPECT_FALSE(posted->has_header("Location"));
    EXPECT_NE(posted->body.find("共有されませんでした"), std::string::npos);
    EXPECT_NE(posted->body.find("id=\"home\""), std::string::npos);

    const auto page = client.Get("/software/tallyhive/share.php?id=1&lang=en");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 500);
    EXPECT_EQ(page->body.find("no such page"), std::string::npos);
    EXPECT_NE(page->body.find("try again"), std::string::npos);
}

}  // namespace
}  // namespace tallyhive::service
