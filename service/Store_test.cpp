// Both stores keep shares the same way: ids, duplicates within the window, filters, ranks. The
// PostgreSQL run needs TALLYHIVE_PG_URL (set by with_postgres.sh) and is skipped without it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <pqxx/pqxx>
#include <thread>

#include "service/Store.h"

namespace tallyhive::service {
namespace {

namespace fs = std::filesystem;

StoredShare Share(std::string system, std::string cpu, std::string cpuName, std::int64_t created = 1000) {
    StoredShare share;
    share.createdUtc = created;
    for (std::size_t i = 0; i < kShareTexts; ++i) share.texts[i] = i < kScoreCount ? "5.0" : "text";
    share[ShareText::SystemScore] = std::move(system);
    share[ShareText::CpuScore] = std::move(cpu);
    share[ShareText::CpuInformation] = std::move(cpuName);
    return share;
}

class Store : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        std::string where;
        if (std::string(GetParam()) == "postgres") {
            const char* url = std::getenv("TALLYHIVE_PG_URL");
            if (!url || !*url) GTEST_SKIP() << "no PostgreSQL server (TALLYHIVE_PG_URL)";
            where = url;
        } else {
            std::string pattern = (fs::temp_directory_path() / "tallyhive-store-XXXXXX").string();
            ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
            m_folder = pattern;
            where = m_folder;
        }
        std::string why;
        m_store = OpenStore(where, why);
        ASSERT_TRUE(m_store) << why;
        m_base = m_store->Count();
    }
    void TearDown() override {
        m_store.reset();
        if (!m_folder.empty()) fs::remove_all(m_folder);
    }
    std::string Unique(const std::string& text) {
        return text + "-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    std::string m_folder;
    std::unique_ptr<ShareStore> m_store;
    std::int64_t m_base = 0;
};

TEST_P(Store, AddFindListAndDuplicates) {
    const std::string cpu = Unique("cpu");
    bool duplicate = true;
    const std::int64_t first = m_store->Add(Share("7.9", "7.9", cpu, 1000), "fp-a" + cpu, 940, duplicate);
    EXPECT_FALSE(duplicate);
    const std::int64_t again = m_store->Add(Share("7.9", "7.9", cpu, 1030), "fp-a" + cpu, 970, duplicate);
    EXPECT_TRUE(duplicate) << "the same share within the window is stored once";
    EXPECT_EQ(again, first);
    const std::int64_t later = m_store->Add(Share("7.9", "7.9", cpu, 1100), "fp-a" + cpu, 1040, duplicate);
    EXPECT_FALSE(duplicate) << "after the window it is a new share";
    EXPECT_GT(later, first);
    const std::int64_t other = m_store->Add(Share("5.9", "6.1", cpu, 1101), "fp-b" + cpu, 1041, duplicate);
    EXPECT_EQ(m_store->Count(), m_base + 3);

    const auto found = m_store->Find(first);
    ASSERT_TRUE(found);
    EXPECT_EQ((*found)[ShareText::CpuInformation], cpu);
    EXPECT_EQ(found->createdUtc, 1000);
    EXPECT_FALSE(m_store->Find(other + 1000));

    ShareQuery query;
    query.cpu = cpu;
    const auto listed = m_store->List(query);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].id, other) << "newest first";
    query.beforeId = other;
    query.limit = 1;
    ASSERT_EQ(m_store->List(query).size(), 1u);
    EXPECT_EQ(m_store->List(query)[0].id, later);
}

TEST_P(Store, RanksCountHigherScores) {
    const std::string cpu = Unique("rank");
    bool duplicate = false;
    StoredShare lowShare = Share("1.0", "1.0", cpu);
    StoredShare highShare = Share("9.9", "9.9", cpu);
    highShare[ShareText::MemoryScore] = "9.9";  // the other three stay 5.0 in both, a tie
    const std::int64_t low = m_store->Add(lowShare, "r1" + cpu, 0, duplicate);
    const std::int64_t high = m_store->Add(highShare, "r2" + cpu, 0, duplicate);
    const auto best = m_store->RanksOf(high);
    const auto worst = m_store->RanksOf(low);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(best[i].position, 1);
        EXPECT_EQ(best[i].total, m_base + 2);
        EXPECT_EQ(worst[i].total, m_base + 2);
    }
    EXPECT_EQ(worst[0].position, worst[0].total) << "nothing scores below 1.0";
    EXPECT_EQ(worst[1].position, worst[1].total);
    EXPECT_EQ(worst[3].position, best[3].position) << "equal scores share a place";
    EXPECT_EQ(m_store->RanksOf(high + 1000)[0].total, 0) << "no such share";
}

TEST_P(Store, TextsSurviveExactly) {
    const std::string hostile = Unique("'; DROP TABLE shares; -- \xE6\x97\xA5\xE6\x9C\xAC <b>&");
    bool duplicate = false;
    const std::int64_t id = m_store->Add(Share("7.9", "7.9", hostile), "t" + hostile, 0, duplicate);
    ShareQuery query;
    query.cpu = hostile;
    ASSERT_EQ(m_store->List(query).size(), 1u);
    EXPECT_EQ((*m_store->Find(id))[ShareText::CpuInformation], hostile);
}

TEST_P(Store, ConcurrentIdenticalPostsStoreOne) {
    const std::string cpu = Unique("race");
    std::vector<std::thread> threads;
    std::vector<std::int64_t> ids(8);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        threads.emplace_back([&, i] {
            bool duplicate = false;
            ids[i] = m_store->Add(Share("7.0", "7.0", cpu), "race" + cpu, 0, duplicate);
        });
    }
    for (std::thread& t : threads) t.join();
    for (std::int64_t id : ids) EXPECT_EQ(id, ids[0]);
    ShareQuery query;
    query.cpu = cpu;
    EXPECT_EQ(m_store->List(query).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Backends, Store, ::testing::Values("sqlite", "postgres"));

// A restarted database server ends every connection; the service carries on with new ones instead of
// failing every request until it is restarted itself.
TEST(PostgresStore, ConnectionsEndedByTheServerAreOpenedAgain) {
    const char* url = std::getenv("TALLYHIVE_PG_URL");
    if (!url || !*url) GTEST_SKIP() << "no PostgreSQL server (TALLYHIVE_PG_URL)";
    std::string why;
    const auto store = OpenStore(url, why);
    ASSERT_TRUE(store) << why;
    const std::string cpu = "reconnect-" + std::to_string(::getpid());
    bool duplicate = false;
    const std::int64_t first = store->Add(Share("7.0", "7.0", cpu), "c1" + cpu, 0, duplicate);
    const std::int64_t before = store->Count();

    pqxx::connection admin(url);
    pqxx::nontransaction(admin).exec(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
        " WHERE pid <> pg_backend_pid() AND datname = current_database()");

    ASSERT_TRUE(store->Find(first));
    const std::int64_t second = store->Add(Share("7.1", "7.1", cpu), "c2" + cpu, 0, duplicate);
    EXPECT_FALSE(duplicate);
    EXPECT_GT(second, first);
    EXPECT_EQ(store->Count(), before + 1);
}

}  // namespace
}  // namespace tallyhive::service
