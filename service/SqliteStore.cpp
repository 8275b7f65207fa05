#include <sqlite3.h>

#include <filesystem>
#include <mutex>
#include <string>

#include "service/Form.h"
#include "service/Store.h"

namespace tallyhive::service {

const std::array<const char*, kShareTexts> kShareColumns = {
    "system_score",    "cpu_score",          "memory_score",        "gpu_score",       "game_score",
    "disk_score",      "system_information", "machine_information", "cpu_information", "memory_information",
    "gpu_information", "game_information",   "disk_information"};

std::string ScoreValueColumn(std::size_t index) {
    const std::string name = kShareColumns[index];
    return name.substr(0, name.size() - 6) + "_value";  // "cpu_score" -> "cpu_value"
}

std::string RanksQuery(const std::string& parameter) {
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < kScoreCount; ++i) {
        const std::string column = ScoreValueColumn(i);
        sql += "(SELECT COUNT(*) FROM shares WHERE " + column + " > s." + column + ") + 1, ";
    }
    return sql + "(SELECT COUNT(*) FROM shares) FROM shares s WHERE s.id = " + parameter;
}

namespace {

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Resets a cached statement when the caller is done with it, whatever happened.
class Use {
public:
    explicit Use(sqlite3_stmt* statement) : m_statement(statement) {}
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    ~Use() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    sqlite3_stmt* operator*() const { return m_statement; }

private:
    sqlite3_stmt* m_statement;
};

class SqliteStore final : public ShareStore {
public:
    explicit SqliteStore(Database db) : m_db(std::move(db)) {}

    bool Prepare(std::string& why) {
        std::string columns, values, scoreValues;
        for (std::size_t i = 0; i < kShareTexts; ++i) {
            columns += std::string(", ") + kShareColumns[i];
            values += ", ?";
        }
        for (std::size_t i = 0; i < kScoreCount; ++i) {
            columns += ", " + ScoreValueColumn(i);
            values += ", ?";
        }
        std::string select = "SELECT id, created_utc";
        for (const char* column : kShareColumns) select += std::string(", ") + column;
        select += " FROM shares";
        return PrepareOne(
                   m_insert,
                   "INSERT INTO shares (created_utc, fingerprint" + columns + ") VALUES (?, ?" + values + ")",
                   why) &&
               PrepareOne(
                   m_recent,
                   "SELECT id FROM shares WHERE fingerprint = ? AND created_utc >= ? ORDER BY id LIMIT 1",
                   why) &&
               PrepareOne(m_find, select + " WHERE id = ?", why) &&
               PrepareOne(m_list,
                          select +
                              " WHERE (?1 = '' OR cpu_information = ?1) AND (?2 = '' OR gpu_information = ?2)"
                              " AND (?3 = 0 OR id < ?3) ORDER BY id DESC LIMIT ?4",
                          why) &&
               PrepareOne(m_count, "SELECT COUNT(*) FROM shares", why) &&
               PrepareOne(m_ranks, RanksQuery("?"), why);
    }

    std::int64_t Add(const StoredShare& share, const std::string& fingerprint, std::int64_t sinceUtc,
                     bool& duplicate) override {
        std::lock_guard lock(m_mutex);
        duplicate = false;
        {
            Use recent(m_recent.get());
            sqlite3_bind_text(*recent, 1, fingerprint.data(), static_cast<int>(fingerprint.size()),
                              SQLITE_STATIC);
            sqlite3_bind_int64(*recent, 2, sinceUtc);
            const int step = sqlite3_step(*recent);
            if (step == SQLITE_ROW) {
                duplicate = true;
                return sqlite3_column_int64(*recent, 0);
            }
            if (step != SQLITE_DONE) Throw("looking for an earlier identical share");
        }
        Use insert(m_insert.get());
        int slot = 1;
        sqlite3_bind_int64(*insert, slot++, share.createdUtc);
        sqlite3_bind_text(*insert, slot++, fingerprint.data(), static_cast<int>(fingerprint.size()),
                          SQLITE_STATIC);
        for (const std::string& text : share.texts)
            sqlite3_bind_text(*insert, slot++, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        for (std::size_t i = 0; i < kScoreCount; ++i)
            sqlite3_bind_double(*insert, slot++, ReadScore(share.Score(i)).value_or(0.0));
        // One statement outside any transaction is its own transaction: when this returns, the share is
        // in the write-ahead log and survives the service's end.
        if (sqlite3_step(*insert) != SQLITE_DONE) Throw("storing a share");
        return sqlite3_last_insert_rowid(m_db.get());
    }

    std::optional<StoredShare> Find(std::int64_t id) override {
        std::lock_guard lock(m_mutex);
        Use find(m_find.get());
        sqlite3_bind_int64(*find, 1, id);
        const int step = sqlite3_step(*find);
        if (step == SQLITE_DONE) return std::nullopt;
        if (step != SQLITE_ROW) Throw("reading a share");
        return Row(*find);
    }

    std::vector<StoredShare> List(const ShareQuery& query) override {
        std::lock_guard lock(m_mutex);
        Use list(m_list.get());
        sqlite3_bind_text(*list, 1, query.cpu.data(), static_cast<int>(query.cpu.size()), SQLITE_STATIC);
        sqlite3_bind_text(*list, 2, query.gpu.data(), static_cast<int>(query.gpu.size()), SQLITE_STATIC);
        sqlite3_bind_int64(*list, 3, query.beforeId);
        sqlite3_bind_int64(*list, 4, query.limit);
        std::vector<StoredShare> shares;
        int step;
        while ((step = sqlite3_step(*list)) == SQLITE_ROW) shares.push_back(Row(*list));
        if (step != SQLITE_DONE) Throw("listing shares");
        return shares;
    }

    std::array<Rank, kScoreCount> RanksOf(std::int64_t id) override {
        std::lock_guard lock(m_mutex);
        Use ranks(m_ranks.get());
        sqlite3_bind_int64(*ranks, 1, id);
        std::array<Rank, kScoreCount> out{};
        const int step = sqlite3_step(*ranks);
        if (step == SQLITE_DONE) return out;
        if (step != SQLITE_ROW) Throw("ranking a share");
        const std::int64_t total = sqlite3_column_int64(*ranks, static_cast<int>(kScoreCount));
        for (std::size_t i = 0; i < kScoreCount; ++i)
            out[i] = Rank{sqlite3_column_int64(*ranks, static_cast<int>(i)), total};
        return out;
    }

    std::int64_t Count() override {
        std::lock_guard lock(m_mutex);
        Use count(m_count.get());
        if (sqlite3_step(*count) != SQLITE_ROW) Throw("counting shares");
        return sqlite3_column_int64(*count, 0);
    }

private:
    bool PrepareOne(Statement& statement, const std::string& sql, std::string& why) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(m_db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
            why = sqlite3_errmsg(m_db.get());
            return false;
        }
        statement.reset(raw);
        return true;
    }

    static StoredShare Row(sqlite3_stmt* row) {
        StoredShare share;
        share.id = sqlite3_column_int64(row, 0);
        share.createdUtc = sqlite3_column_int64(row, 1);
        for (std::size_t i = 0; i < kShareTexts; ++i) {
            const int column = static_cast<int>(i) + 2;
            const auto* text = sqlite3_column_text(row, column);
            if (text)
                share.texts[i].assign(reinterpret_cast<const char*>(text),
                                      static_cast<std::size_t>(sqlite3_column_bytes(row, column)));
        }
        return share;
    }

    [[noreturn]] void Throw(const std::string& what) {
        throw StoreError(what + ": " + sqlite3_errmsg(m_db.get()));
    }

    std::mutex m_mutex;  // one connection, used by one request at a time
    Database m_db;
    Statement m_insert, m_recent, m_find, m_list, m_count, m_ranks;
};

bool Execute(sqlite3* db, const std::string& sql, std::string& why) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
    why = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

// Ranks count the shares above a score: an index per score keeps that a range scan.
std::string ValueIndexes() {
    std::string sql;
    for (std::size_t i = 0; i < kScoreCount; ++i)
        sql += "CREATE INDEX IF NOT EXISTS shares_" + ScoreValueColumn(i) + " ON shares (" +
               ScoreValueColumn(i) + ");";
    return sql;
}

// Version 1 of the schema; later versions add their steps after it.
bool Migrate(sqlite3* db, std::string& why) {
    std::string columns;
    for (const char* column : kShareColumns) columns += std::string(", ") + column + " TEXT NOT NULL";
    for (std::size_t i = 0; i < kScoreCount; ++i) columns += ", " + ScoreValueColumn(i) + " REAL NOT NULL";
    return Execute(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA busy_timeout=5000;",
                   why) &&
           Execute(db,
                   "BEGIN; CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);"
                   "CREATE TABLE IF NOT EXISTS shares (id INTEGER PRIMARY KEY AUTOINCREMENT, created_utc "
                   "INTEGER NOT NULL,"
                   " fingerprint TEXT NOT NULL" +
                       columns +
                       ");"
                       "CREATE INDEX IF NOT EXISTS shares_fingerprint ON shares (fingerprint, created_utc);"
                       "CREATE INDEX IF NOT EXISTS shares_cpu ON shares (cpu_information, id);"
                       "CREATE INDEX IF NOT EXISTS shares_gpu ON shares (gpu_information, id);" +
                       ValueIndexes() +
                       "INSERT INTO schema_version SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM schema_version);"
                       "COMMIT;",
                   why);
}

}  // namespace

std::unique_ptr<ShareStore> OpenSqliteStore(const std::string& folder, std::string& why) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        why = "cannot create the data folder " + folder + ": " + ec.message();
        return nullptr;
    }
    const std::string path = (std::filesystem::path(folder) / "tallyhive.sqlite3").string();
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(
        path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    Database db(raw);
    if (opened != SQLITE_OK) {
        why = "cannot open " + path + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory");
        return nullptr;
    }
    if (!Migrate(db.get(), why)) {
        why = "cannot prepare " + path + ": " + why;
        return nullptr;
    }
    auto store = std::make_unique<SqliteStore>(std::move(db));
    if (!store->Prepare(why)) return nullptr;
    return store;
}

std::unique_ptr<ShareStore> OpenStore(const std::string& where, std::string& why) {
    if (where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0)
        return OpenPostgresStore(where, why);
    return OpenSqliteStore(where, why);
}

}  // namespace tallyhive::service
