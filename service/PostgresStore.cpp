#include <mutex>
#include <pqxx/pqxx>
#include <string>

#include "service/Form.h"
#include "service/Store.h"

namespace tallyhive::service {

namespace {

std::string ScoreValueColumn(std::size_t index) {
    const std::string name = kShareColumns[index];
    return name.substr(0, name.size() - 6) + "_value";
}

std::string SelectColumns() {
    std::string select = "SELECT id, created_utc";
    for (const char* column : kShareColumns) select += std::string(", ") + column;
    return select + " FROM shares";
}

class PostgresStore final : public ShareStore {
public:
    explicit PostgresStore(const std::string& url) : m_connection(url) {}

    void Migrate() {
        std::string columns;
        for (const char* column : kShareColumns) columns += std::string(", ") + column + " TEXT NOT NULL";
        for (std::size_t i = 0; i < kScoreCount; ++i)
            columns += ", " + ScoreValueColumn(i) + " DOUBLE PRECISION NOT NULL";
        pqxx::work work(m_connection);
        // Several services may start together against one database: the lock keeps the migration
        // to one of them at a time.
        work.exec("SELECT pg_advisory_xact_lock(84700001)");
        work.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
        work.exec(
            "CREATE TABLE IF NOT EXISTS shares (id BIGSERIAL PRIMARY KEY, created_utc BIGINT NOT NULL,"
            " fingerprint TEXT NOT NULL" +
            columns + ")");
        work.exec("CREATE INDEX IF NOT EXISTS shares_fingerprint ON shares (fingerprint, created_utc)");
        work.exec("CREATE INDEX IF NOT EXISTS shares_cpu ON shares (cpu_information, id)");
        work.exec("CREATE INDEX IF NOT EXISTS shares_gpu ON shares (gpu_information, id)");
        for (std::size_t i = 0; i < kScoreCount; ++i)
            work.exec("CREATE INDEX IF NOT EXISTS shares_" + ScoreValueColumn(i) + " ON shares (" +
                      ScoreValueColumn(i) + ")");
        work.exec("INSERT INTO schema_version SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM schema_version)");
        work.commit();

        std::string names, values;
        int slot = 3;
        for (const char* column : kShareColumns) {
            names += std::string(", ") + column;
            values += ", $" + std::to_string(slot++);
        }
        for (std::size_t i = 0; i < kScoreCount; ++i) {
            names += ", " + ScoreValueColumn(i);
            values += ", $" + std::to_string(slot++);
        }
        m_connection.prepare("insert", "INSERT INTO shares (created_utc, fingerprint" + names +
                                           ") VALUES ($1, $2" + values + ") RETURNING id");
        m_connection.prepare(
            "recent",
            "SELECT id FROM shares WHERE fingerprint = $1 AND created_utc >= $2 ORDER BY id LIMIT 1");
        m_connection.prepare("find", SelectColumns() + " WHERE id = $1");
        m_connection.prepare(
            "list", SelectColumns() +
                        " WHERE ($1 = '' OR cpu_information = $1) AND ($2 = '' OR gpu_information = $2)"
                        " AND ($3 = 0 OR id < $3) ORDER BY id DESC LIMIT $4");
        m_connection.prepare("count", "SELECT COUNT(*) FROM shares");
    }

    std::int64_t Add(const StoredShare& share, const std::string& fingerprint, std::int64_t sinceUtc,
                     bool& duplicate) override {
        std::lock_guard lock(m_mutex);
        return Guard("storing a share", [&] {
            pqxx::work work(m_connection);
            // Two identical posts racing each other must still give one share: the advisory lock
            // on the fingerprint orders them.
            work.exec_params("SELECT pg_advisory_xact_lock(hashtext($1))", fingerprint);
            const pqxx::result recent = work.exec_prepared("recent", fingerprint, sinceUtc);
            duplicate = !recent.empty();
            if (duplicate) return recent[0][0].as<std::int64_t>();
            const auto& t = share.texts;
            auto score = [&](std::size_t i) { return ReadScore(t[i]).value_or(0.0); };
            const pqxx::result inserted = work.exec_prepared(
                "insert", share.createdUtc, fingerprint, t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8],
                t[9], t[10], t[11], t[12], score(0), score(1), score(2), score(3), score(4), score(5));
            work.commit();
            return inserted[0][0].as<std::int64_t>();
        });
    }

    std::optional<StoredShare> Find(std::int64_t id) override {
        std::lock_guard lock(m_mutex);
        return Guard("reading a share", [&]() -> std::optional<StoredShare> {
            pqxx::read_transaction work(m_connection);
            const pqxx::result rows = work.exec_prepared("find", id);
            if (rows.empty()) return std::nullopt;
            return Row(rows[0]);
        });
    }

    std::vector<StoredShare> List(const ShareQuery& query) override {
        std::lock_guard lock(m_mutex);
        return Guard("listing shares", [&] {
            pqxx::read_transaction work(m_connection);
            std::vector<StoredShare> shares;
            for (const auto& row :
                 work.exec_prepared("list", query.cpu, query.gpu, query.beforeId, query.limit))
                shares.push_back(Row(row));
            return shares;
        });
    }

    Rank RankOf(std::int64_t id, std::size_t scoreIndex) override {
        if (scoreIndex >= kScoreCount) return {};
        std::lock_guard lock(m_mutex);
        return Guard("ranking a share", [&] {
            const std::string column = ScoreValueColumn(scoreIndex);
            pqxx::read_transaction work(m_connection);
            const pqxx::result rows =
                work.exec_params("SELECT (SELECT COUNT(*) FROM shares WHERE " + column + " > s." + column +
                                     ") + 1, (SELECT COUNT(*) FROM shares)"
                                     " FROM shares s WHERE s.id = $1",
                                 id);
            if (rows.empty()) return Rank{};
            return Rank{rows[0][0].as<std::int64_t>(), rows[0][1].as<std::int64_t>()};
        });
    }

    std::int64_t Count() override {
        std::lock_guard lock(m_mutex);
        return Guard("counting shares", [&] {
            pqxx::read_transaction work(m_connection);
            return work.exec_prepared("count")[0][0].as<std::int64_t>();
        });
    }

private:
    static StoredShare Row(const pqxx::row& row) {
        StoredShare share;
        share.id = row[0].as<std::int64_t>();
        share.createdUtc = row[1].as<std::int64_t>();
        for (std::size_t i = 0; i < kShareTexts; ++i)
            share.texts[i] = row[static_cast<int>(i) + 2].as<std::string>();
        return share;
    }

    template <typename Work>
    auto Guard(const char* what, Work work) -> decltype(work()) {
        try {
            return work();
        } catch (const std::exception& e) {
            throw StoreError(std::string(what) + ": " + e.what());
        }
    }

    std::mutex m_mutex;  // a pqxx connection serves one transaction at a time
    pqxx::connection m_connection;
};

}  // namespace

std::unique_ptr<ShareStore> OpenPostgresStore(const std::string& url, std::string& why) {
    try {
        auto store = std::make_unique<PostgresStore>(url);
        store->Migrate();
        return store;
    } catch (const std::exception& e) {
        why = std::string("cannot open the PostgreSQL store: ") + e.what();
        return nullptr;
    }
}

}  // namespace tallyhive::service
