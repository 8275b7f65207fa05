#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Calendar.h"

// The platform services the assessment core needs. Each platform implements them in whole files of
// its own (platform/posix, platform/win32); tests use fakes.
namespace tallyhive {

struct DirEntry {
    enum class Type { RegularFile, Directory, Other };
    std::string name;                  // file name only, UTF-8
    Type type = Type::RegularFile;     // after following links; Other covers FIFOs, devices, sockets
    std::int64_t creationTimeUtc = 0;  // seconds since 1970-01-01 UTC
};

struct FileTimes {
    std::int64_t creationUtc = 0;  // seconds since 1970-01-01 UTC
    std::int64_t lastWriteUtc = 0;
};

// Local calendar fields; month 1-12, day 1-31.
using LocalDateTime = DateTimeFields;

class FileService {
public:
    virtual ~FileService() = default;
    // Full path of the folder where the assessment tool keeps its datastore; empty when unknown.
    virtual std::string DatastoreFolder() = 0;
    // The separator this platform puts between a folder and a name ('/' or '\\').
    virtual char PathSeparator() const = 0;
    // Names a listing should keep; the others are dropped before their type and times are read, which
    // in a datastore of thousands of component files is most of the work.
    using NameFilter = std::function<bool(const std::string& name)>;
    // Entries of `folder` in the order the file system returns them, only those `wanted` accepts
    // when it is given. False when the folder cannot be read.
    virtual bool ListDirectory(const std::string& folder, std::vector<DirEntry>& entries,
                               std::string* why = nullptr, const NameFilter& wanted = {}) = 0;
    // Creation and last-write times of the file at `path`; false when it does not exist.
    virtual bool GetFileTimes(const std::string& path, FileTimes& times) = 0;
    // Whole content of a regular file of at most `maxBytes`; never blocks on a FIFO or device.
    virtual bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                                 std::string* why = nullptr) = 0;
};

class TimeService {
public:
    virtual ~TimeService() = default;
    virtual std::int64_t Now() const = 0;  // seconds since 1970-01-01 UTC
    // Local calendar fields of an instant; false when the platform cannot convert it.
    virtual bool ToLocal(std::int64_t utcSeconds, LocalDateTime& out) const = 0;
    // The instant of local calendar fields, daylight saving decided by the runtime; false when the
    // fields cannot be represented.
    virtual bool FromLocal(const LocalDateTime& fields, std::int64_t& utcSeconds) const = 0;
    // Reads a date and time text the way the user's locale writes it (and the assessment tool's
    // English "June 28, 2026  1:10:42pm"); false when it is not a date.
    virtual bool ParseDateText(std::string_view text, LocalDateTime& out) const = 0;
};

class ModuleService {
public:
    virtual ~ModuleService() = default;
    // True when the system module of that name can be loaded (it is unloaded again at once).
    virtual bool CanLoadModule(std::string_view name) = 0;
};

class XmlParser;

struct AssessmentServices {
    FileService& files;
    TimeService& time;
    ModuleService& modules;
    XmlParser& xml;
};

}  // namespace tallyhive
