// Writing assessment files on POSIX systems: local time, the datastore folder, and file times that
// agree with the execution time written inside.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>

#include "base/Calendar.h"
#include "platform/Platform.h"
#include "platform/posix/UniqueFd.h"
#include "tools/assessment_writer/AssessmentWriter.h"

namespace tallyhive::writer {

namespace {

bool Fail(std::string* why, std::string reason) {
    if (why) *why = std::move(reason);
    return false;
}

std::string ErrorText(int error) {
    return std::strerror(error);
}

// Removes the temporary file on every path that does not hand it over to its final name.
class TemporaryName {
public:
    explicit TemporaryName(std::string path) : m_path(std::move(path)) {}
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    ~TemporaryName() {
        if (!m_path.empty()) ::unlink(m_path.c_str());
    }
    const std::string& Path() const { return m_path; }
    void Release() { m_path.clear(); }

private:
    std::string m_path;
};

timespec TimespecOf(std::int64_t utcMs) {
    std::int64_t seconds = utcMs / 1000;
    std::int64_t ms = utcMs % 1000;
    if (ms < 0) {
        ms += 1000;
        --seconds;
    }
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(ms * 1'000'000);
    return ts;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t wrote = ::write(fd, bytes.data(), bytes.size());
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return true;
}

// Moves `from` to `to` unless `to` exists; the check and the move are one step, so a file that
// appears meanwhile is never replaced.
bool MoveWithoutReplacing(const std::string& from, const std::string& to, std::string* why) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) return Fail(why, to + " already exists; it was left as it was");
    if (errno != EINVAL && errno != ENOSYS) return Fail(why, "cannot create " + to + ": " + ErrorText(errno));
    // A file system without the no-replace move: a hard link fails the same way on an existing name.
    if (::link(from.c_str(), to.c_str()) != 0) {
        if (errno == EEXIST) return Fail(why, to + " already exists; it was left as it was");
        return Fail(why, "cannot create " + to + ": " + ErrorText(errno));
    }
    ::unlink(from.c_str());
    return true;
}

bool IsDirectory(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

}  // namespace

bool ToLocalMoment(std::int64_t utcMs, LocalMoment& moment) {
    const timespec ts = TimespecOf(utcMs);
    LocalDateTime local;
    if (!MakeTimeService()->ToLocal(ts.tv_sec, local)) return false;
    moment = LocalMoment{local.year,
                         local.month,
                         local.day,
                         local.hour,
                         local.minute,
                         local.second,
                         static_cast<int>(ts.tv_nsec / 1'000'000)};
    return true;
}

bool FromLocalMoment(const LocalMoment& moment, std::int64_t& utcMs) {
    std::int64_t seconds = 0;
    if (!MakeTimeService()->FromLocal(
            LocalDateTime{moment.year, moment.month, moment.day, moment.hour, moment.minute, moment.second},
            seconds))
        return false;
    utcMs = seconds * 1000 + moment.millisecond;
    return true;
}

bool ParseMoment(std::string_view text, std::int64_t& utcMs, std::string* why) {
    const std::string shown = "\"" + std::string(text) + "\"";
    auto digits = [&](std::size_t& at, std::size_t count, int& value) {
        value = 0;
        for (std::size_t k = 0; k < count; ++k, ++at) {
            if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
            value = value * 10 + (text[at] - '0');
        }
        return true;
    };
    // ".5" is half a second: one to three digits of a fraction, nothing finer.
    auto fraction = [&](std::size_t& at, int& ms) {
        ms = 0;
        if (at == text.size()) return true;
        if (text[at] != '.') return false;
        ++at;
        int scale = 100;
        std::size_t count = 0;
        for (; at < text.size() && count < 3; ++at, ++count) {
            if (text[at] < '0' || text[at] > '9') return false;
            ms += (text[at] - '0') * scale;
            scale /= 10;
        }
        return count > 0 && at == text.size();
    };

    if (text.starts_with('@')) {
        std::size_t at = 1;
        const bool negative = at < text.size() && text[at] == '-';
        if (negative) ++at;
        const std::size_t start = at;
        std::int64_t seconds = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
            if (at - start >= 12) return Fail(why, "the time " + shown + " is out of range");
            seconds = seconds * 10 + (text[at] - '0');
        }
        int ms = 0;
        if (at == start || !fraction(at, ms))
            return Fail(why, "the time " + shown + " is not @SECONDS or @SECONDS.mmm");
        utcMs = negative ? -(seconds * 1000 + ms) : seconds * 1000 + ms;
        return true;
    }

    LocalMoment m;
    std::size_t at = 0;
    const bool shaped = digits(at, 4, m.year) && at < text.size() && text[at++] == '-' &&
                        digits(at, 2, m.month) && at < text.size() && text[at++] == '-' &&
                        digits(at, 2, m.day) && at < text.size() && (text[at] == ' ' || text[at] == 'T') &&
                        digits(++at, 2, m.hour) && at < text.size() && text[at++] == ':' &&
                        digits(at, 2, m.minute) && at < text.size() && text[at++] == ':' &&
                        digits(at, 2, m.second) && fraction(at, m.millisecond);
    if (!shaped) return Fail(why, "the time " + shown + " is not YYYY-MM-DD HH:MM:SS[.mmm] or @SECONDS");
    const bool valid =
        m.year >= 1900 && IsValidDateTime(DateTimeFields{m.year, m.month, m.day, m.hour, m.minute, m.second});
    if (!valid) return Fail(why, "the time " + shown + " is not a date and time (from 1900 on)");
    if (!FromLocalMoment(m, utcMs)) return Fail(why, "the time " + shown + " cannot be converted");
    return true;
}

bool MakeDatastore(const std::string& windowsDir, std::string& datastore, std::string* why) {
    namespace fs = std::filesystem;
    if (windowsDir.empty()) return Fail(why, "no Windows directory was given");
    // The folder the readers resolve (an existing folder in any letter case wins); the parts that
    // do not exist yet are created with the spelling Windows uses.
    const std::string resolved = MakeFileService(windowsDir)->DatastoreFolder();
    if (!IsDirectory(resolved)) {
        static constexpr const char* kWindowsSpelling[] = {"Performance", "WinSAT", "DataStore"};
        fs::path parts[3];
        fs::path base = resolved;
        for (int i = 2; i >= 0; --i) {
            parts[i] = base.filename();
            base = base.parent_path();
        }
        fs::path folder = base;
        bool creating = false;
        for (int i = 0; i < 3; ++i) {
            creating = creating || !IsDirectory(folder / parts[i]);
            folder /= creating ? fs::path(kWindowsSpelling[i]) : parts[i];
        }
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) return Fail(why, "cannot create " + folder.string() + ": " + ec.message());
    }
    datastore = MakeFileService(windowsDir)->DatastoreFolder();
    if (!IsDirectory(datastore)) return Fail(why, "cannot create the datastore folder in " + windowsDir);
    return true;
}

bool SetFileTimes(const std::string& path, std::int64_t utcMs, std::string* why) {
    const timespec times[2] = {TimespecOf(utcMs), TimespecOf(utcMs)};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        return Fail(why, "cannot set the times of " + path + ": " + ErrorText(errno));
    return true;
}

bool WriteToPath(const AssessmentContent& content, const std::string& path, std::string* why) {
    LocalMoment executed;
    if (!ToLocalMoment(content.executedUtcMs, executed))
        return Fail(why, "the execution time cannot be converted to local time");
    std::string xml;
    std::string bytes;
    if (!RenderDocument(content, executed, xml, why) || !EncodeUtf16Le(xml, bytes, why)) return false;

    // Written under a name no reader takes for an assessment (its extension is not ".xml"), then
    // moved into place, so that a reader never sees half a file.
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = path + ".partial-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return Fail(why, "cannot create " + temporary + ": " + ErrorText(errno));
    }
    if (fd < 0) return Fail(why, "cannot find a free temporary name beside " + path);
    TemporaryName cleanup(temporary);
    UniqueFd file(fd);
    if (!WriteAll(file.Get(), bytes)) return Fail(why, "cannot write " + temporary + ": " + ErrorText(errno));
    // The modification time is the execution time; the birth time stays "now", which readers
    // ignore when it is later than the modification time (as for any copied file).
    const timespec times[2] = {TimespecOf(content.executedUtcMs), TimespecOf(content.executedUtcMs)};
    if (::futimens(file.Get(), times) != 0)
        return Fail(why, "cannot set the times of " + temporary + ": " + ErrorText(errno));
    if (!file.Close()) return Fail(why, "cannot write " + temporary + ": " + ErrorText(errno));
    if (!MoveWithoutReplacing(temporary, path, why)) return false;
    cleanup.Release();
    return true;
}

bool WriteIntoFolder(const AssessmentContent& content, const std::string& folder, std::string& written,
                     std::string* why) {
    LocalMoment executed;
    if (!ToLocalMoment(content.executedUtcMs, executed))
        return Fail(why, "the execution time cannot be converted to local time");
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += FileNameFor(executed, content.kind, content.run);
    if (!WriteToPath(content, path, why)) return false;
    written = std::move(path);
    return true;
}

}  // namespace tallyhive::writer
