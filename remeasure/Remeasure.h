#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "assessment/Services.h"
#include "remeasure/ConsoleCommand.h"

// Measuring again: the runner program the main program carries is written into a fresh private
// folder, run through the command interpreter, removed again, and the new assessment is loaded.
namespace tallyhive {

// The runner's executable as the main program carries it, and the name it is written under.
struct RunnerImage {
    std::span<const unsigned char> bytes;
    std::string_view fileName;  // "AssessRunner" on Linux, "AssessRunner.exe" on Windows
};

// Keeps a written file protected from replacement until it is destroyed (Windows: a read-only
// handle with read sharing only). The file itself is not removed by it.
class HeldFile {
public:
    virtual ~HeldFile() = default;
};

class TempFolderService {
public:
    virtual ~TempFolderService() = default;
    virtual char PathSeparator() const = 0;
    // Creates a new folder under the user's temporary folder that only this user can enter, and
    // returns its full path. False when it cannot be made; `why` then says why.
    virtual bool CreatePrivateFolder(std::string& folder, std::string* why = nullptr) = 0;
    // Creates `path`, which must not exist yet, writes every byte into it and makes it executable
    // by its owner. Null when any of that failed; a partly written file may then remain and is the
    // caller's to remove.
    virtual std::unique_ptr<HeldFile> WriteExecutable(const std::string& path,
                                                      std::span<const unsigned char> bytes,
                                                      std::string* why = nullptr) = 0;
    // Both false when nothing was removed; a missing file or folder is not an error worth a message.
    // `inUse` is set when the file stays because a program still runs from it or holds it open
    // (Windows refuses to delete such a file; POSIX never does).
    virtual bool RemoveFile(const std::string& path, bool* inUse = nullptr) = 0;
    virtual bool RemoveFolder(const std::string& folder) = 0;
    // The private folders of earlier runs still under the user's temporary folder, known by the
    // name every such folder starts with. Asked only while this program runs no measurement.
    virtual std::vector<std::string> EarlierFolders() = 0;
};

// Which assessment is the newest in the datastore: its file and its creation time in the whole
// seconds the selection compares.
struct FormalStamp {
    std::string path;
    std::int64_t seconds = 0;
    bool operator==(const FormalStamp&) const = default;
};
// Empty when the datastore holds no formal assessment (or cannot be read).
using NewestFormalQuery = std::function<std::optional<FormalStamp>()>;

// The newest formal assessment in the datastore, chosen exactly as LoadLatestResult chooses it.
// Reads files only, so it may run on a worker thread when the services allow it.
std::optional<FormalStamp> NewestFormalStamp(FileService& files, const TimeService& time);

struct RemeasureServices {
    TempFolderService& temp;
    ProcessService& processes;
    RunnerImage runner;
    NewestFormalQuery newestFormal;
};

enum class RemeasureOutcome {
    Succeeded,
    Failed,
    // The interpreter came back while the runner still runs from its file: Windows may start the
    // runner, which asks for administrator rights, apart from the interpreter and not wait for it.
    // The measurement goes on in the runner's own window; its result is not known yet.
    StillRunning,
};

// Runs the runner from a fresh private folder, relaying its output to `progress`, and removes the
// runner file and the folder again on every path; a runner file something still runs from or
// holds stays with its folder for RemoveEarlierRunners. Succeeded when the runner ended with 0 and
// the datastore now holds a formal assessment newer than the newest one before the run: an
// assessment that failed or was killed leaves no newer file and so counts as a failure. Without
// that, a runner file still in use means StillRunning. Blocks until the interpreter has ended;
// touches no window, so a host may call it on a worker thread.
RemeasureOutcome RunRemeasurement(const RemeasureServices& services, const OutputSink& progress,
                                  std::string* why = nullptr);

// The whole re-measure command: RunRemeasurement, then, when it succeeded, `loadLatest` (the main
// window's LoadLatestResult), whose failure is the command's. Unless it succeeded the record and
// the page are as they were (unless `loadLatest` itself failed); the caller shows the re-measure
// failure message on Failed and the still-running message on StillRunning.
RemeasureOutcome Remeasure(const RemeasureServices& services, const OutputSink& progress,
                           const std::function<bool()>& loadLatest, std::string* why = nullptr);

// Removes the runner files and folders that earlier runs had to leave behind, each once no
// program runs from it any more; the others stay for a later call. The hosts call it when the
// program starts and when it ends. True when none is left.
bool RemoveEarlierRunners(TempFolderService& temp, std::string_view runnerFileName);

}  // namespace tallyhive
