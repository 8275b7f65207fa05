#pragma once
// Fakes of the process and temporary-folder services, for the tests of the re-measure logic and the
// runner. Test targets only.
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "remeasure/Remeasure.h"

namespace tallyhive::testing {

// What one fake interpreter does: the answers to its reads in order (then Empty for ever), after how
// many HasEnded questions it has ended, and its exit status.
struct InterpreterScript {
    bool startFails = false;
    bool writeFails = false;
    std::vector<std::pair<InterpreterProcess::Output, std::string>> reads;
    int endsAfterQuestions = 0;  // HasEnded answers false this many times, then true
    std::optional<std::uint32_t> exitCode = 0;
    // A writer that never stops (a background program holding the pipe): every read gives this.
    std::string endlessOutput;
    // Called with each piece of input the interpreter takes, as it would start the program a line
    // names (a test marks the runner as running from its file here).
    std::function<void(std::string_view)> onInput;
};

// Everything the routine did to the fake, in order.
struct InterpreterLog {
    std::vector<std::string> events;  // "write", "close-input", "read", "ended?", "wait"
    std::string input;
    std::vector<int> readWaits;
    int reads = 0;
    bool started = false;
};

class FakeInterpreter final : public InterpreterProcess {
public:
    FakeInterpreter(const InterpreterScript& script, InterpreterLog& log) : m_script(script), m_log(log) {}

    bool WriteInput(std::string_view text) override {
        m_log.events.push_back("write");
        if (m_script.writeFails || m_inputClosed) return false;
        m_log.input.append(text);
        if (m_script.onInput) m_script.onInput(text);
        return true;
    }
    void CloseInput() override {
        m_inputClosed = true;
        m_log.events.push_back("close-input");
    }
    Output ReadOutput(std::string& chunk, int waitMs) override {
        m_log.events.push_back("read");
        m_log.readWaits.push_back(waitMs);
        ++m_log.reads;
        // A safety net for the test itself: a routine that never stops reading fails, not hangs.
        if (m_log.reads > 100000) throw std::runtime_error("the relay loop does not end");
        if (!m_script.endlessOutput.empty()) {
            chunk.append(m_script.endlessOutput);
            return Output::Data;
        }
        if (m_next >= m_script.reads.size()) return Output::Empty;
        const auto& [status, bytes] = m_script.reads[m_next++];
        chunk.append(bytes);
        return status;
    }
    bool HasEnded() override {
        m_log.events.push_back("ended?");
        return ++m_questions > m_script.endsAfterQuestions;
    }
    void WaitForEnd() override {
        m_log.events.push_back("wait");
        m_questions = m_script.endsAfterQuestions + 1;
    }
    std::optional<std::uint32_t> ExitCode() override {
        if (m_questions <= m_script.endsAfterQuestions)
            throw std::logic_error("exit code read before the end");
        return m_script.exitCode;
    }

private:
    InterpreterScript m_script;
    InterpreterLog& m_log;
    std::size_t m_next = 0;
    int m_questions = 0;
    bool m_inputClosed = false;
};

class FakeProcessService final : public ProcessService {
public:
    explicit FakeProcessService(InterpreterScript plan,
                                InterpreterSyntax syntax = InterpreterSyntax::PosixShell)
        : script(std::move(plan)), m_syntax(syntax) {}

    InterpreterSyntax Syntax() const override { return m_syntax; }
    std::unique_ptr<InterpreterProcess> StartInterpreter(std::string* why) override {
        if (script.startFails) {
            if (why) *why = "no such interpreter";
            return nullptr;
        }
        log.started = true;
        return std::make_unique<FakeInterpreter>(script, log);
    }

    InterpreterScript script;
    InterpreterLog log;

private:
    InterpreterSyntax m_syntax;
};

// A temporary folder kept in memory. It checks the order the real platforms need: the written file
// is released before it is removed, and the folder is removed only once it is empty. A file a
// program runs from cannot be removed, as on Windows: "The DeleteFile function fails if an
// application attempts to delete a file that has other handles open for normal I/O or as a
// memory-mapped file" (DeleteFile function, Remarks), and a running program's file is mapped.
class FakeTempFolders final : public TempFolderService {
public:
    bool folderFails = false;
    bool writeFails = false;  // the write stops half-way, leaving a partial file
    bool trailingSeparator = false;

    std::set<std::string> folders;
    std::map<std::string, std::string> files;
    std::set<std::string> running;  // files a program still runs from
    std::vector<std::string> events;
    std::string lastWritten;
    std::string lastWrittenPath;
    int held = 0;

    char PathSeparator() const override { return '/'; }
    bool CreatePrivateFolder(std::string& folder, std::string* why) override {
        events.push_back("create-folder");
        if (folderFails) {
            if (why) *why = "read-only file system";
            return false;
        }
        folder = "/tmp/tallyhive-" + std::to_string(++m_count);
        folders.insert(folder);
        if (trailingSeparator) folder.push_back('/');
        return true;
    }
    std::unique_ptr<HeldFile> WriteExecutable(const std::string& path, std::span<const unsigned char> bytes,
                                              std::string* why) override {
        events.push_back("write");
        if (files.count(path)) throw std::logic_error("the runner file existed before it was written");
        std::string content(bytes.begin(), bytes.end());
        if (writeFails) {
            files[path] = content.substr(0, content.size() / 2);
            if (why) *why = "no space left on device";
            return nullptr;
        }
        files[path] = content;
        lastWritten = content;
        lastWrittenPath = path;
        ++held;
        return std::make_unique<Held>(*this);
    }
    bool RemoveFile(const std::string& path, bool* inUse) override {
        events.push_back("remove-file");
        if (held > 0) throw std::logic_error("the runner file was removed while still held");
        if (running.count(path) && files.count(path)) {
            if (inUse) *inUse = true;
            return false;
        }
        return files.erase(path) > 0;
    }
    bool RemoveFolder(const std::string& folder) override {
        events.push_back("remove-folder");
        std::string name = folder;
        if (name.size() > 1 && name.back() == '/') name.pop_back();
        for (const auto& [path, content] : files)
            if (path.rfind(name + "/", 0) == 0) return false;  // rmdir refuses a folder that is not empty
        return folders.erase(name) > 0;
    }
    std::vector<std::string> EarlierFolders() override {
        events.push_back("earlier-folders");
        return {folders.begin(), folders.end()};
    }

private:
    struct Held final : HeldFile {
        explicit Held(FakeTempFolders& owner) : m_owner(owner) {}
        ~Held() override {
            --m_owner.held;
            m_owner.events.push_back("release");
        }
        FakeTempFolders& m_owner;
    };
    int m_count = 0;
};

}  // namespace tallyhive::testing
