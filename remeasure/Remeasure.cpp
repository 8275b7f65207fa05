#include "remeasure/Remeasure.h"

#include <utility>

namespace tallyhive {

namespace {

void SetWhy(std::string* why, std::string text) {
    if (why) *why = std::move(text);
}

std::string JoinPath(const TempFolderService& temp, std::string folder, std::string_view name) {
    if (!folder.empty() && folder.back() != temp.PathSeparator()) folder.push_back(temp.PathSeparator());
    folder.append(name);
    return folder;
}

// Removes the runner file and its folder when the command leaves, however it leaves (a failed
// write, a failed run, an exception from the progress sink). A runner file something still runs
// from stays, and so does its folder.
class RunnerCleanup {
public:
    RunnerCleanup(TempFolderService& temp, std::string folder) : m_temp(temp), m_folder(std::move(folder)) {}
    RunnerCleanup(const RunnerCleanup&) = delete;
    RunnerCleanup& operator=(const RunnerCleanup&) = delete;
    ~RunnerCleanup() {
        if (!m_done) Remove();
    }
    void SetFile(std::string path) { m_file = std::move(path); }
    void Hold(std::unique_ptr<HeldFile> held) { m_held = std::move(held); }

    // Removes both now; true when the runner file stays because a program still runs from it.
    bool Remove() {
        m_done = true;
        // The protection has to go first: on Windows the held handle keeps the file from deletion.
        m_held.reset();
        bool inUse = false;
        if (!m_file.empty()) m_temp.RemoveFile(m_file, &inUse);
        if (!inUse) m_temp.RemoveFolder(m_folder);
        return inUse;
    }

private:
    TempFolderService& m_temp;
    std::string m_folder;
    std::string m_file;
    std::unique_ptr<HeldFile> m_held;
    bool m_done = false;
};

}  // namespace

RemeasureOutcome RunRemeasurement(const RemeasureServices& services, const OutputSink& progress,
                                  std::string* why) {
    constexpr RemeasureOutcome kFailed = RemeasureOutcome::Failed;
    if (services.runner.bytes.empty() || services.runner.fileName.empty()) {
        SetWhy(why, "this program carries no runner");
        return kFailed;
    }
    // Noted before anything runs: only an assessment newer than this one counts as the new result.
    const std::optional<FormalStamp> before = services.newestFormal ? services.newestFormal() : std::nullopt;

    std::string folder;
    std::string folderWhy;
    if (!services.temp.CreatePrivateFolder(folder, &folderWhy)) {
        SetWhy(why, "no private temporary folder: " + folderWhy);
        return kFailed;
    }
    RunnerCleanup cleanup(services.temp, folder);

    const std::string path = JoinPath(services.temp, folder, services.runner.fileName);
    cleanup.SetFile(path);

    std::string writeWhy;
    std::unique_ptr<HeldFile> held = services.temp.WriteExecutable(path, services.runner.bytes, &writeWhy);
    if (!held) {
        SetWhy(why, "the runner could not be written: " + writeWhy);
        return kFailed;
    }
    cleanup.Hold(std::move(held));

    std::uint32_t exitCode = 0;
    std::string runWhy;
    const bool ran = RunConsoleCommand(services.processes, path, "", exitCode, progress, &runWhy);
    const bool stillInUse = cleanup.Remove();
    const auto newer = [&] {
        const std::optional<FormalStamp> after =
            services.newestFormal ? services.newestFormal() : std::nullopt;
        return after && (!before || after->seconds > before->seconds);
    };
    if (ran && exitCode == 0 && newer()) return RemeasureOutcome::Succeeded;
    // A runner that still runs from its file has not ended, whatever the interpreter reported: its
    // exit code and the datastore say nothing yet, so neither is taken as the result.
    if (stillInUse) {
        SetWhy(why, "the runner still runs in a window of its own; " + path + " stays until it has ended");
        return RemeasureOutcome::StillRunning;
    }
    if (!ran) {
        SetWhy(why, runWhy);
        return kFailed;
    }
    if (exitCode != 0) {
        SetWhy(why, "the runner ended with exit code " + std::to_string(exitCode));
        return kFailed;
    }
    SetWhy(why, "the assessment left no newer formal result");
    return kFailed;
}

RemeasureOutcome Remeasure(const RemeasureServices& services, const OutputSink& progress,
                           const std::function<bool()>& loadLatest, std::string* why) {
    const RemeasureOutcome outcome = RunRemeasurement(services, progress, why);
    if (outcome != RemeasureOutcome::Succeeded) return outcome;
    if (!loadLatest || !loadLatest()) {
        SetWhy(why, "the new assessment could not be loaded");
        return RemeasureOutcome::Failed;
    }
    return RemeasureOutcome::Succeeded;
}

bool RemoveEarlierRunners(TempFolderService& temp, std::string_view runnerFileName) {
    bool allGone = true;
    for (const std::string& folder : temp.EarlierFolders()) {
        // Only the file this program writes there is removed: a folder holding anything else is
        // not emptied, and the folder itself goes only once it is empty.
        bool inUse = false;
        temp.RemoveFile(JoinPath(temp, folder, runnerFileName), &inUse);
        if (inUse || !temp.RemoveFolder(folder)) allGone = false;
    }
    return allGone;
}

}  // namespace tallyhive
