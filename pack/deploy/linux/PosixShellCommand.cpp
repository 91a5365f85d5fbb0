#include "ShellCommand.h"

#include "Pipe.h"
#include "ErrorHandling.h"
#include "NativeText.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace {

// Enough of the signer's standard error to hold its last line.
constexpr size_t errorTail = 4096;

class SpawnAttributes {
public:
    SpawnAttributes() { ::posix_spawnattr_init(&attributes_); }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

class FileActions {
public:
    FileActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

// While the signer runs, Ctrl+C and Ctrl+\ are its to answer, as system()
// has it: velkin-pack hears how the signer ended and cleans up after it.
class InterruptsLeftToChild {
public:
    InterruptsLeftToChild() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGINT, &ignore, &interrupt_);
        ::sigaction(SIGQUIT, &ignore, &quit_);
    }
    ~InterruptsLeftToChild() {
        ::sigaction(SIGINT, &interrupt_, nullptr);
        ::sigaction(SIGQUIT, &quit_, nullptr);
    }
    // The child gets the dispositions that velkin-pack had: one that its
    // caller ignores (nohup, a background job) stays ignored.
    void addWhatTheChildAnswers(sigset_t& defaults) const {
        if (interrupt_.sa_handler != SIG_IGN) {
            sigaddset(&defaults, SIGINT);
        }
        if (quit_.sa_handler != SIG_IGN) {
            sigaddset(&defaults, SIGQUIT);
        }
    }
    InterruptsLeftToChild(const InterruptsLeftToChild&) = delete;
    InterruptsLeftToChild& operator=(const InterruptsLeftToChild&) = delete;

private:
    struct sigaction interrupt_ {};
    struct sigaction quit_ {};
};

} // namespace

namespace ShellCommand {

tstring quote(const tstring& path) {
    tstring quoted = L"'";
    for (const wchar_t c : path) {
        quoted += c == L'\'' ? tstring(L"'\\''") : tstring(1, c);
    }
    return quoted + L"'";
}

Outcome run(const tstring& commandLine) {
    const std::string command = toNative(commandLine);
    Pipe errors("Cannot start the sign command");
    FileActions actions;
    ::posix_spawn_file_actions_adddup2(actions.get(), errors.writeEnd.get(), STDERR_FILENO);
    const InterruptsLeftToChild interrupts;
    SpawnAttributes attributes;
    // velkin-pack ignores SIGPIPE for itself, not for the signer. Handlers
    // (SIGTERM, SIGHUP while a staging file is named) go with the exec.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    interrupts.addWhatTheChildAnswers(defaults);
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigdefault(attributes.get(), &defaults);
    ::posix_spawnattr_setsigmask(attributes.get(), &none);
    ::posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(command.c_str()),
                          nullptr};
    pid_t child = 0;
    const int started = ::posix_spawn(&child, "/bin/sh", actions.get(), attributes.get(), argv, environ);
    if (started != 0) {
        VK_THROW_MSG("Cannot start the sign command with /bin/sh: " << std::strerror(started));
    }
    errors.writeEnd.reset();
    std::string tail;
    char buffer[4096];
    for (;;) {
        const ssize_t read = ::read(errors.readEnd.get(), buffer, sizeof(buffer));
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read <= 0) {
            break;
        }
        tail.append(buffer, static_cast<size_t>(read));
        if (tail.size() > 2 * errorTail) {
            tail.erase(0, tail.size() - errorTail);
        }
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            VK_THROW_MSG("Cannot wait for the sign command: " << std::strerror(errno));
        }
    }
    const bool exited = WIFEXITED(status);
    return Outcome{exited, exited ? WEXITSTATUS(status) : WTERMSIG(status), lastLine(tail)};
}

} // namespace ShellCommand
