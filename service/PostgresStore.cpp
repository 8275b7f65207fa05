#include <condition_variable>
#include <memory>
#include <mutex>
#include <pqxx/pqxx>
#include <string>

#include "service/Form.h"
#include "service/Store.h"

namespace tallyhive::service {

namespace {

constexpr std::size_t kPostgresConnections = 4;

std::string SelectColumns() {
    std::string select = "SELECT id, created_utc";
    for (const char* column : kShareColumns) select += std::string(", ") + column;
    return select + " FROM shares";
}

// A few connections shared by the request threads: one PostgreSQL connection answers one transaction
// at a time, and a single one would queue every page behind every other. A connection that breaks
// (a restarted server, a dropped network path) is opened again on its next use.
class PostgresStore final : public ShareStore {
public:
    PostgresStore(std::string url, std::size_t connections) : m_url(std::move(url)), m_slots(connections) {
        for (std::size_t i = 0; i < connections; ++i) m_free.push_back(i);
    }

    void Migrate() {
        Run("preparing the tables", [](pqxx::connection_base& connection) {
            std::string columns;
            for (const char* column : kShareColumns) columns += std::string(", ") + column + " TEXT NOT NULL";
            for (std::size_t i = 0; i < kScoreCount; ++i)
                columns += ", " + ScoreValueColumn(i) + " DOUBLE PRECISION NOT NULL";
            pqxx::work work(connection);
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
            return 0;
        });
    }

    std::int64_t Add(const StoredShare& share, const std::string& fingerprint, std::int64_t sinceUtc,
                     bool& duplicate) override {
        // Should the connection break after the insert was committed, the second attempt finds that
        // share by its fingerprint and answers with it: a retry never stores a share twice.
        return Run("storing a share", [&](pqxx::connection_base& connection) {
            pqxx::work work(connection);
            // Two identical posts racing each other must still give one share: the advisory lock
            // on the fingerprint orders them.
            work.exec_params("SELECT pg_advisory_xact_lock(hashtext($1))", fingerprint);
            const pqxx::result recent = work.exec_prepared("recent", fingerprint, sinceUtc);
            duplicate = !recent.empty();
            if (duplicate) return recent[0][0].as<std::int64_t>();
            std::array<double, kScoreCount> values{};
            for (std::size_t i = 0; i < kScoreCount; ++i) values[i] = ReadScore(share.Score(i)).value_or(0.0);
            // The texts in column order, then the scores' numbers: the order of the statement's columns.
            const pqxx::result inserted = work.exec_prepared("insert", share.createdUtc, fingerprint,
                                                             pqxx::prepare::make_dynamic_params(share.texts),
                                                             pqxx::prepare::make_dynamic_params(values));
            work.commit();
            return inserted[0][0].as<std::int64_t>();
        });
    }

    std::optional<StoredShare> Find(std::int64_t id) override {
        return Run("reading a share", [&](pqxx::connection_base& connection) -> std::optional<StoredShare> {
            pqxx::read_transaction work(connection);
            const pqxx::result rows = work.exec_prepared("find", id);
            if (rows.empty()) return std::nullopt;
            return Row(rows[0]);
        });
    }

    std::vector<StoredShare> List(const ShareQuery& query) override {
        return Run("listing shares", [&](pqxx::connection_base& connection) {
            pqxx::read_transaction work(connection);
            std::vector<StoredShare> shares;
            for (const auto& row :
                 work.exec_prepared("list", query.cpu, query.gpu, query.beforeId, query.limit))
                shares.push_back(Row(row));
            return shares;
        });
    }

    std::array<Rank, kScoreCount> RanksOf(std::int64_t id) override {
        return Run("ranking a share", [&](pqxx::connection_base& connection) {
            pqxx::read_transaction work(connection);
            const pqxx::result rows = work.exec_prepared("ranks", id);
            std::array<Rank, kScoreCount> out{};
            if (rows.empty()) return out;
            const auto total = rows[0][static_cast<int>(kScoreCount)].as<std::int64_t>();
            for (std::size_t i = 0; i < kScoreCount; ++i)
                out[i] = Rank{rows[0][static_cast<int>(i)].as<std::int64_t>(), total};
            return out;
        });
    }

    std::int64_t Count() override {
        return Run("counting shares", [](pqxx::connection_base& connection) {
            pqxx::read_transaction work(connection);
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

    // A fresh connection with the statements every operation uses.
    std::unique_ptr<pqxx::connection> Connect() {
        auto connection = std::make_unique<pqxx::connection>(m_url);
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
        connection->prepare("insert", "INSERT INTO shares (created_utc, fingerprint" + names +
                                          ") VALUES ($1, $2" + values + ") RETURNING id");
        connection->prepare(
            "recent",
            "SELECT id FROM shares WHERE fingerprint = $1 AND created_utc >= $2 ORDER BY id LIMIT 1");
        connection->prepare("find", SelectColumns() + " WHERE id = $1");
        connection->prepare(
            "list", SelectColumns() +
                        " WHERE ($1 = '' OR cpu_information = $1) AND ($2 = '' OR gpu_information = $2)"
                        " AND ($3 = 0 OR id < $3) ORDER BY id DESC LIMIT $4");
        connection->prepare("count", "SELECT COUNT(*) FROM shares");
        connection->prepare("ranks", RanksQuery("$1"));
        return connection;
    }

    // Runs `work` on a connection of the pool; a broken connection is replaced and the work tried once
    // more. Every failure leaves as a StoreError.
    template <typename Work>
    auto Run(const char* what, Work work) -> decltype(work(std::declval<pqxx::connection_base&>())) {
        const std::size_t slot = Take();
        struct Give {
            PostgresStore& store;
            std::size_t slot;
            ~Give() { store.Return(slot); }
        } give{*this, slot};
        std::unique_ptr<pqxx::connection>& connection = m_slots[slot];
        for (int attempt = 1;; ++attempt) {
            try {
                if (!connection || !connection->is_open()) connection = Connect();
                return work(*connection);
            } catch (const pqxx::broken_connection& e) {
                connection.reset();
                if (attempt == 2) throw StoreError(std::string(what) + ": " + e.what());
            } catch (const pqxx::in_doubt_error& e) {
                connection.reset();
                if (attempt == 2) throw StoreError(std::string(what) + ": " + e.what());
            } catch (const std::exception& e) {
                throw StoreError(std::string(what) + ": " + e.what());
            }
        }
    }

    std::size_t Take() {
        std::unique_lock lock(m_mutex);
        m_returned.wait(lock, [this] { return !m_free.empty(); });
        const std::size_t slot = m_free.back();
        m_free.pop_back();
        return slot;
    }

    void Return(std::size_t slot) {
        {
            std::lock_guard lock(m_mutex);
            m_free.push_back(slot);
        }
        m_returned.notify_one();
    }

    std::string m_url;
    std::vector<std::unique_ptr<pqxx::connection>> m_slots;  // each used by one thread at a time
    std::mutex m_mutex;
    std::condition_variable m_returned;
    std::vector<std::size_t> m_free;
};

}  // namespace

std::unique_ptr<ShareStore> OpenPostgresStore(const std::string& url, std::string& why) {
    try {
        auto store = std::make_unique<PostgresStore>(url, kPostgresConnections);
        store->Migrate();
        return store;
    } catch (const std::exception& e) {
        why = std::string("cannot open the PostgreSQL store: ") + e.what();
        return nullptr;
    }
}

}  // namespace tallyhive::service
