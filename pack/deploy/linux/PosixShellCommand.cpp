#include "ShellCommand.h"

#include "Pipe.h"
#include "ErrorHandling.h"
#include "NativeText.h"
#include "SignalWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

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

// While the signer runs, Ctrl+\ is its to answer, as system() has it:
// velkin-pack hears how the signer ended and cleans up after it. (SIGINT,
// SIGTERM and SIGHUP are the signal watch's, which passes them on.)
class QuitLeftToChild {
public:
    QuitLeftToChild() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGQUIT, &ignore, &quit_);
    }
    ~QuitLeftToChild() { ::sigaction(SIGQUIT, &quit_, nullptr); }
    // The child gets the dispositions that velkin-pack had: one that its
    // caller ignores (nohup, a background job) stays ignored.
    void addWhatTheChildAnswers(sigset_t& defaults) const {
        if (quit_.sa_handler != SIG_IGN) {
            sigaddset(&defaults, SIGQUIT);
        }
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            if (!SignalWatch::callerIgnores(signal)) {
                sigaddset(&defaults, signal);
            }
        }
    }
    QuitLeftToChild(const QuitLeftToChild&) = delete;
    QuitLeftToChild& operator=(const QuitLeftToChild&) = delete;

private:
    struct sigaction quit_ {};
};

// The signer runs in a process group of its own, so that a signal passed on
// reaches the programs it starts and nothing of velkin-pack's caller. When
// velkin-pack has the terminal, the signer's group has it while it runs: it
// may ask for a PIN there, and Ctrl+C reaches it.
class TerminalForChild {
public:
    explicit TerminalForChild(pid_t group) {
        if (::isatty(STDIN_FILENO) && ::tcgetpgrp(STDIN_FILENO) == ::getpgrp()) {
            handOver(group);
            handedOver_ = true;
        }
    }
    ~TerminalForChild() {
        if (handedOver_) {
            handOver(::getpgrp());
        }
    }
    TerminalForChild(const TerminalForChild&) = delete;
    TerminalForChild& operator=(const TerminalForChild&) = delete;

private:
    // A process outside the terminal's group may hand it on only with
    // SIGTTOU blocked.
    static void handOver(pid_t group) {
        sigset_t ttou;
        sigset_t previous;
        sigemptyset(&ttou);
        sigaddset(&ttou, SIGTTOU);
        ::pthread_sigmask(SIG_BLOCK, &ttou, &previous);
        ::tcsetpgrp(STDIN_FILENO, group);
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }

    bool handedOver_ = false;
};

// What the signer writes to its standard error, to its last line.
class ErrorTail {
public:
    // False at the end of the stream.
    bool readFrom(int fd) {
        char buffer[4096];
        for (;;) {
            const ssize_t read = ::read(fd, buffer, sizeof(buffer));
            if (read < 0 && errno == EINTR) {
                continue;
            }
            if (read <= 0) {
                return read < 0 && errno == EAGAIN;
            }
            text_.append(buffer, static_cast<size_t>(read));
            if (text_.size() > 2 * errorTail) {
                text_.erase(0, text_.size() - errorTail);
            }
        }
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// A descriptor that becomes readable when the child ends, where the kernel
// has them (Linux 5.3); without one the child is asked after now and then.
Descriptor exitDescriptor(pid_t child) {
#ifdef SYS_pidfd_open
    return Descriptor(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
#else
    (void)child;
    return Descriptor();
#endif
}

// Reads the child's standard error until the child ends, not until the
// stream ends: a process it leaves behind (an agent, a daemon) may hold the
// stream for as long as it lives.
int waitReading(pid_t child, int errors, ErrorTail& tail) {
    ::fcntl(errors, F_SETFL, ::fcntl(errors, F_GETFL) | O_NONBLOCK);
    const Descriptor exited = exitDescriptor(child);
    const int signals = SignalWatch::wakeDescriptor();
    bool streamOpen = true;
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child) {
            if (streamOpen) {
                tail.readFrom(errors);
            }
            return status;
        }
        if (ended < 0 && errno != EINTR) {
            VK_THROW_MSG("Cannot wait for the sign command: " << std::strerror(errno));
        }
        // A signal passed on to the signer only wakes the wait: the signer
        // answers it, and its end is waited for.
        pollfd watched[3] = {{exited.get(), POLLIN, 0}, {streamOpen ? errors : -1, POLLIN, 0}, {signals, POLLIN, 0}};
        if (::poll(watched, 3, exited ? -1 : 100) > 0) {
            if (watched[1].revents != 0) {
                streamOpen = tail.readFrom(errors);
            }
            if (watched[2].revents != 0) {
                char drained[16];
                (void)!::read(signals, drained, sizeof(drained));
            }
        }
    }
}

// Whether the processes of `group` end within the bound; those that are
// left get SIGKILL.
bool groupEnded(pid_t group) {
    for (int waited = 0; waited < ShellCommand::groupEndSeconds * 50; ++waited) {
        if (::kill(-group, 0) != 0 && errno == ESRCH) {
            return true;
        }
        ::usleep(20 * 1000);
    }
    ::kill(-group, SIGKILL);
    return false;
}

} // namespace

namespace ShellCommand {

tstring quoteWithin(const tstring& path) {
    tstring quoted;
    for (const wchar_t c : path) {
        if (c == L'"' || c == L'\\' || c == L'$' || c == L'`') {
            quoted += L'\\';
        }
        quoted += c;
    }
    return quoted;
}

tstring quote(const tstring& path) {
    tstring quoted = L"'";
    for (const wchar_t c : path) {
        quoted += c == L'\'' ? tstring(L"'\\''") : tstring(1, c);
    }
    return quoted + L"'";
}

Outcome run(const tstring& commandLine, const std::map<tstring, tstring>& variables) {
    const std::string command = toNative(commandLine);
    std::vector<std::string> added;
    for (const auto& [name, value] : variables) {
        added.push_back(toNative(name) + "=" + toNative(value));
    }
    std::vector<char*> environment;
    for (char** entry = environ; *entry; ++entry) {
        const bool replaced = std::any_of(variables.begin(), variables.end(), [entry](const auto& variable) {
            const std::string prefix = toNative(variable.first) + "=";
            return std::strncmp(*entry, prefix.c_str(), prefix.size()) == 0;
        });
        if (!replaced) {
            environment.push_back(*entry);
        }
    }
    for (std::string& variable : added) {
        environment.push_back(&variable[0]);
    }
    environment.push_back(nullptr);
    Pipe errors("Cannot start the sign command");
    FileActions actions;
    // Its output is no part of velkin-pack's (a report, a pipe to head): it
    // goes where velkin-pack's messages go.
    ::posix_spawn_file_actions_adddup2(actions.get(), STDERR_FILENO, STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(actions.get(), errors.writeEnd.get(), STDERR_FILENO);
    const QuitLeftToChild quit;
    SpawnAttributes attributes;
    // velkin-pack ignores SIGPIPE for itself, not for the signer. Handlers
    // (SIGTERM, SIGHUP while a staging file is named) go with the exec.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    quit.addWhatTheChildAnswers(defaults);
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigdefault(attributes.get(), &defaults);
    ::posix_spawnattr_setsigmask(attributes.get(), &none);
    ::posix_spawnattr_setpgroup(attributes.get(), 0);
    ::posix_spawnattr_setflags(attributes.get(),
                               POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(command.c_str()),
                          nullptr};
    pid_t child = 0;
    {
        const SignalWatch::Held spawning;
        const int started =
            ::posix_spawn(&child, "/bin/sh", actions.get(), attributes.get(), argv, environment.data());
        if (started != 0) {
            VK_THROW_MSG("Cannot start the sign command with /bin/sh: " << std::strerror(started));
        }
        SignalWatch::passOnTo(child);
    }
    errors.writeEnd.reset();
    ErrorTail tail;
    int status = 0;
    {
        const TerminalForChild terminal(child);
        try {
            status = waitReading(child, errors.readEnd.get(), tail);
        } catch (...) {
            SignalWatch::passOnTo(0);
            throw;
        }
    }
    const bool exited = WIFEXITED(status);
    const int interruptedBy = SignalWatch::received(exited ? 0 : WTERMSIG(status));
    // A signal passed on reached the whole group, and a program that sh
    // started may still be cleaning up (a trap that takes a while): the run
    // ends after it, or ends it.
    const bool groupKilled = interruptedBy != 0 && !groupEnded(child);
    SignalWatch::passOnTo(0);
    Outcome outcome{exited, exited ? WEXITSTATUS(status) : WTERMSIG(status), lastLine(tail.text()), interruptedBy};
    outcome.groupKilled = groupKilled;
    return outcome;
}

} // namespace ShellCommand
