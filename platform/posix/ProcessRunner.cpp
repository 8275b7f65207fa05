// The command interpreter on POSIX: /bin/sh started through posix_spawn with pipes as its standard
// handles. Not $SHELL: the lines sent are quoted for a POSIX shell, and a login shell may be fish or
// csh; /bin/sh is always a POSIX shell, as ComSpec is always cmd on Windows.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/Processes.h"
#include "platform/posix/UniqueFd.h"
#include "remeasure/ConsoleCommand.h"

extern char** environ;

namespace tallyhive {

namespace {

// Bytes taken from the output pipe per read: a whole pipe buffer, so fast output costs few calls.
constexpr std::size_t kReadChunk = 64 * 1024;

std::string ErrnoText(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

// Writing to a pipe whose reader has gone raises SIGPIPE, which would end the whole program. The
// signal is blocked for this thread during the write, and one it caused is taken off again.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigemptyset(&m_set);
        sigaddset(&m_set, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        m_wasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        m_blocked = pthread_sigmask(SIG_BLOCK, &m_set, &m_old) == 0;
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;
    ~SigpipeGuard() {
        if (!m_blocked) return;
        if (m_raised && !m_wasPending) {
            timespec zero{};
            while (sigtimedwait(&m_set, nullptr, &zero) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    void NoteBrokenPipe() { m_raised = true; }

private:
    sigset_t m_set{};
    sigset_t m_old{};
    bool m_wasPending = false;
    bool m_blocked = false;
    bool m_raised = false;
};

class PosixInterpreter final : public InterpreterProcess {
public:
    PosixInterpreter(pid_t pid, UniqueFd input, UniqueFd output)
        : m_pid(pid), m_input(std::move(input)), m_output(std::move(output)) {}
    PosixInterpreter(const PosixInterpreter&) = delete;
    PosixInterpreter& operator=(const PosixInterpreter&) = delete;

    ~PosixInterpreter() override {
        m_input.Reset();
        m_output.Reset();
        // Only an interrupted run (an exception from the output sink) gets here with the
        // interpreter still running; it is stopped rather than waited for without end.
        if (!m_reaped) {
            ::kill(m_pid, SIGKILL);
            WaitForEnd();
        }
    }

    bool WriteInput(std::string_view text) override {
        if (!m_input) return false;
        SigpipeGuard guard;
        while (!text.empty()) {
            const ssize_t n = ::write(m_input.Get(), text.data(), text.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EPIPE) guard.NoteBrokenPipe();
                return false;
            }
            text.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    void CloseInput() override { m_input.Reset(); }

    Output ReadOutput(std::string& chunk, int waitMs) override {
        if (!m_output) return Output::Closed;
        pollfd pfd{m_output.Get(), POLLIN, 0};
        int ready = 0;
        do {
            ready = ::poll(&pfd, 1, waitMs);
        } while (ready < 0 && errno == EINTR);
        if (ready < 0) return Fail();
        if (ready == 0) return Output::Empty;

        const std::size_t old = chunk.size();
        chunk.resize(old + kReadChunk);
        ssize_t n = 0;
        do {
            n = ::read(m_output.Get(), chunk.data() + old, kReadChunk);
        } while (n < 0 && errno == EINTR);
        chunk.resize(old + (n > 0 ? static_cast<std::size_t>(n) : 0));
        if (n > 0) return Output::Data;
        if (n == 0) {
            m_output.Reset();
            return Output::Closed;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) return Output::Empty;
        return Fail();
    }

    bool HasEnded() override {
        if (m_reaped) return true;
        Reap(WNOHANG);
        return m_reaped;
    }

    void WaitForEnd() override {
        while (!m_reaped) {
            if (!Reap(0)) break;
        }
    }

    std::optional<std::uint32_t> ExitCode() override {
        if (!m_reaped || !WIFEXITED(m_status)) return std::nullopt;
        return static_cast<std::uint32_t>(WEXITSTATUS(m_status));
    }

private:
    Output Fail() {
        m_output.Reset();
        return Output::Failed;
    }

    // False when waiting is impossible (the child is not ours any more); the run then counts as
    // ended without a status.
    bool Reap(int flags) {
        int status = 0;
        const pid_t got = ::waitpid(m_pid, &status, flags);
        if (got == m_pid) {
            m_reaped = true;
            m_status = status;
            return true;
        }
        if (got == 0) return true;
        if (errno == EINTR) return true;
        m_reaped = true;
        m_status = -1;
        return false;
    }

    pid_t m_pid;
    UniqueFd m_input;   // our end of the interpreter's standard input
    UniqueFd m_output;  // our end of its standard output and error
    bool m_reaped = false;
    int m_status = -1;
};

class SpawnActions {
public:
    SpawnActions() { m_ok = posix_spawn_file_actions_init(&m_actions) == 0; }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() {
        if (m_ok) posix_spawn_file_actions_destroy(&m_actions);
    }
    bool ok() const { return m_ok; }
    posix_spawn_file_actions_t* get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions{};
    bool m_ok = false;
};

class SpawnAttributes {
public:
    SpawnAttributes() { m_ok = posix_spawnattr_init(&m_attributes) == 0; }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    ~SpawnAttributes() {
        if (m_ok) posix_spawnattr_destroy(&m_attributes);
    }
    bool ok() const { return m_ok; }
    posix_spawnattr_t* get() { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes{};
    bool m_ok = false;
};

class PosixProcessService final : public ProcessService {
public:
    explicit PosixProcessService(std::string interpreter) : m_interpreter(std::move(interpreter)) {}

    InterpreterSyntax Syntax() const override { return InterpreterSyntax::PosixShell; }

    std::unique_ptr<InterpreterProcess> StartInterpreter(std::string* why) override {
        const std::string shell = InterpreterPath();
        auto fail = [why](std::string text) -> std::unique_ptr<InterpreterProcess> {
            if (why) *why = std::move(text);
            return nullptr;
        };

        // Every end is close-on-exec from birth, so no other process started meanwhile by another
        // thread inherits one and keeps a pipe open.
        int inputFds[2];
        if (::pipe2(inputFds, O_CLOEXEC) != 0) return fail(ErrnoText("input pipe", errno));
        UniqueFd inputRead(inputFds[0]), inputWrite(inputFds[1]);
        int outputFds[2];
        if (::pipe2(outputFds, O_CLOEXEC) != 0) return fail(ErrnoText("output pipe", errno));
        UniqueFd outputRead(outputFds[0]), outputWrite(outputFds[1]);
        if (::fcntl(outputRead.Get(), F_SETFL, O_NONBLOCK) != 0) return fail(ErrnoText("output pipe", errno));

        SpawnActions actions;
        SpawnAttributes attributes;
        if (!actions.ok() || !attributes.ok()) return fail("process attributes could not be made");
        posix_spawn_file_actions_adddup2(actions.get(), inputRead.Get(), STDIN_FILENO);
        posix_spawn_file_actions_adddup2(actions.get(), outputWrite.Get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(actions.get(), outputWrite.Get(), STDERR_FILENO);

        // The interpreter and what it runs get ordinary signal handling, whatever this program set
        // for itself (an ignored SIGPIPE would otherwise be inherited through exec).
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGALRM, SIGXFSZ})
            sigaddset(&defaults, sig);
        posix_spawnattr_setsigmask(attributes.get(), &none);
        posix_spawnattr_setsigdefault(attributes.get(), &defaults);
        posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

        std::string argv0 = shell;
        char* argv[] = {argv0.data(), nullptr};
        pid_t pid = 0;
        const int error = ::posix_spawn(&pid, shell.c_str(), actions.get(), attributes.get(), argv, environ);
        if (error != 0) return fail(ErrnoText(shell.c_str(), error));

        // Only the interpreter holds the other ends now: end of file on the output then means that
        // nobody can write any more.
        inputRead.Reset();
        outputWrite.Reset();
        return std::make_unique<PosixInterpreter>(pid, std::move(inputWrite), std::move(outputRead));
    }

private:
    std::string InterpreterPath() const {
        if (!m_interpreter.empty()) return m_interpreter;
        return "/bin/sh";
    }

    std::string m_interpreter;
};

}  // namespace

std::unique_ptr<ProcessService> MakeProcessService(const std::string& interpreter) {
    return std::make_unique<PosixProcessService>(interpreter);
}

}  // namespace tallyhive
