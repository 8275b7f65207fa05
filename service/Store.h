#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Where shares are kept: SQLite in a data folder by default, PostgreSQL for a service that outgrows
// one machine. Both behind the same small interface.
namespace tallyhive::service {

// The thirteen texts of a share, in the form's key order (six scores, then seven descriptions).
inline constexpr std::size_t kShareTexts = 13;
inline constexpr std::size_t kScoreCount = 6;

// The texts by name, in the order of `StoredShare::texts` and of kShareColumns.
enum class ShareText : std::size_t {
    SystemScore,
    CpuScore,
    MemoryScore,
    GpuScore,
    GameScore,
    DiskScore,
    SystemInformation,  // the Windows product name
    MachineInformation,
    CpuInformation,
    MemoryInformation,
    GpuInformation,
    GameInformation,
    DiskInformation,
};
static_assert(static_cast<std::size_t>(ShareText::DiskInformation) + 1 == kShareTexts);

struct StoredShare {
    std::int64_t id = 0;
    std::int64_t createdUtc = 0;
    // In column order, for the stores that read and write them all alike.
    std::array<std::string, kShareTexts> texts;

    std::string& operator[](ShareText text) { return texts[static_cast<std::size_t>(text)]; }
    const std::string& operator[](ShareText text) const { return texts[static_cast<std::size_t>(text)]; }
    // Score `index` of the six, system first.
    const std::string& Score(std::size_t index) const { return texts.at(index); }
    // The description of the hardware behind score `index`; the system score has none. The five
    // hardware scores and their descriptions are in the same order.
    std::string DescriptionOfScore(std::size_t index) const {
        if (index == 0) return {};
        return texts.at(static_cast<std::size_t>(ShareText::CpuInformation) + index - 1);
    }
};

struct ShareQuery {
    std::string cpu;  // exact processor description, or empty for any
    std::string gpu;  // exact adapter description, or empty for any
    std::int64_t limit = 50;
    std::int64_t beforeId = 0;  // 0: from the newest
};

struct Rank {
    std::int64_t position = 0;  // 1 for the best
    std::int64_t total = 0;
};

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ShareStore {
public:
    virtual ~ShareStore() = default;
    // Stores the share and returns its id, unless a share with the same fingerprint arrived at or
    // after `sinceUtc`: then that share's id is returned and `duplicate` is set. Throws StoreError.
    virtual std::int64_t Add(const StoredShare& share, const std::string& fingerprint, std::int64_t sinceUtc,
                             bool& duplicate) = 0;
    virtual std::optional<StoredShare> Find(std::int64_t id) = 0;
    // Newest first.
    virtual std::vector<StoredShare> List(const ShareQuery& query) = 0;
    // Positions of the share's six scores among all shares, highest first, in one look at the store;
    // all empty (total 0) when there is no such share.
    virtual std::array<Rank, kScoreCount> RanksOf(std::int64_t id) = 0;
    virtual std::int64_t Count() = 0;
};

// Opens (creating and migrating) the store named by `where`: "postgresql://…" or "postgres://…" for
// PostgreSQL, anything else is a folder for the SQLite file. Null with `why` set on failure.
std::unique_ptr<ShareStore> OpenStore(const std::string& where, std::string& why);
std::unique_ptr<ShareStore> OpenSqliteStore(const std::string& folder, std::string& why);
std::unique_ptr<ShareStore> OpenPostgresStore(const std::string& url, std::string& why);

// The column names, in text order.
extern const std::array<const char*, kShareTexts> kShareColumns;
// The numeric column of score `index` ("cpu_score" is kept as text and as "cpu_value").
std::string ScoreValueColumn(std::size_t index);
// One statement giving a share's six positions and the number of shares; `parameter` names the id.
std::string RanksQuery(const std::string& parameter);

}  // namespace tallyhive::service
