#include "remeasure/Remeasure.h"

#include <utility>

namespace tallyhive {

namespace {

void SetWhy(std::string* why, std::string text) {
    if (why) *why = std::move(text);
}

// Removes the runner file and its folder when the command leaves, however it leaves (a failed
// write, a failed run, an exception from the progress sink).
class RunnerCleanup {
public:
    RunnerCleanup(TempFolderService& temp, std::string folder) : m_temp(temp), m_folder(std::move(folder)) {}
    RunnerCleanup(const RunnerCleanup&) = delete;
    RunnerCleanup& operator=(const RunnerCleanup&) = delete;
    ~RunnerCleanup() {
        // The protection has to go first: on Windows the held handle keeps the file from deletion.
        m_held.reset();
        if (!m_file.empty()) m_temp.RemoveFile(m_file);
        m_temp.RemoveFolder(m_folder);
    }
    void SetFile(std::string path) { m_file = std::move(path); }
    void Hold(std::unique_ptr<HeldFile> held) { m_held = std::move(held); }

private:
    TempFolderService& m_temp;
    std::string m_folder;
    std::string m_file;
    std::unique_ptr<HeldFile> m_held;
};

}  // namespace

bool RunRemeasurement(const RemeasureServices& services, const OutputSink& progress, std::string* why) {
    if (services.runner.bytes.empty() || services.runner.fileName.empty()) {
        SetWhy(why, "this program carries no runner");
        return false;
    }
    // Noted before anything runs: only an assessment newer than this one counts as the new result.
    const std::optional<FormalStamp> before = services.newestFormal ? services.newestFormal() : std::nullopt;

    std::string folder;
    std::string folderWhy;
    if (!services.temp.CreatePrivateFolder(folder, &folderWhy)) {
        SetWhy(why, "no private temporary folder: " + folderWhy);
        return false;
    }
    RunnerCleanup cleanup(services.temp, folder);

    std::string path = folder;
    if (!path.empty() && path.back() != services.temp.PathSeparator())
        path.push_back(services.temp.PathSeparator());
    path.append(services.runner.fileName);
    cleanup.SetFile(path);

    std::string writeWhy;
    std::unique_ptr<HeldFile> held = services.temp.WriteExecutable(path, services.runner.bytes, &writeWhy);
    if (!held) {
        SetWhy(why, "the runner could not be written: " + writeWhy);
        return false;
    }
    cleanup.Hold(std::move(held));

    std::uint32_t exitCode = 0;
    std::string runWhy;
    if (!RunConsoleCommand(services.processes, path, "", exitCode, progress, &runWhy)) {
        SetWhy(why, runWhy);
        return false;
    }
    if (exitCode != 0) {
        SetWhy(why, "the runner ended with exit code " + std::to_string(exitCode));
        return false;
    }

    const std::optional<FormalStamp> after = services.newestFormal ? services.newestFormal() : std::nullopt;
    if (!after || (before && after->seconds <= before->seconds)) {
        SetWhy(why, "the assessment left no newer formal result");
        return false;
    }
    return true;
}

bool Remeasure(const RemeasureServices& services, const OutputSink& progress,
               const std::function<bool()>& loadLatest, std::string* why) {
    if (!RunRemeasurement(services, progress, why)) return false;
    if (!loadLatest || !loadLatest()) {
        SetWhy(why, "the new assessment could not be loaded");
        return false;
    }
    return true;
}

}  // namespace tallyhive
