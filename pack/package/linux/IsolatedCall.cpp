#include "IsolatedCall.h"

#include "DamagedFile.h"
#include "Pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// The first byte of the child's answer: what follows is the result, or the
// reason of a failure (a damaged file's, or another). Then the length of
// that (8 bytes, least significant first), so that the answer is whole when
// it has come: the child's end, which takes as long as the reading of a
// small package, is not waited for.
constexpr char succeeded = 'R';
constexpr char failed = 'F';
constexpr char damaged = 'D';
constexpr size_t headerSize = 9;

std::string header(char outcome, size_t length) {
    std::string bytes(1, outcome);
    for (int byte = 0; byte < 8; ++byte) {
        bytes += static_cast<char>((static_cast<uint64_t>(length) >> (8 * byte)) & 0xFF);
    }
    return bytes;
}

// Whether `answer` holds a whole answer: its header and as much as that says.
bool whole(const std::string& answer) {
    if (answer.size() < headerSize) {
        return false;
    }
    uint64_t length = 0;
    for (int byte = 7; byte >= 0; --byte) {
        length = (length << 8) | static_cast<uint8_t>(answer[1 + static_cast<size_t>(byte)]);
    }
    return answer.size() - headerSize >= length;
}

// The answer's pipe and the memory bound, in the child.
int childAnswer = -1;
uint64_t childAllowance = 0;

void writeAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        done += static_cast<size_t>(written);
    }
}

// The address space mapped now, in bytes; 0 when it cannot be read.
uint64_t addressSpace() {
    unsigned long long pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm) {
        if (std::fscanf(statm, "%llu", &pages) != 1) {
            pages = 0;
        }
        std::fclose(statm);
    }
    return pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

// The most address space this process has had mapped, in bytes; 0 when it
// cannot be read.
uint64_t peakAddressSpace() {
    unsigned long long kib = 0;
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status) {
        char line[256];
        while (std::fgets(line, sizeof(line), status) && std::sscanf(line, "VmPeak: %llu kB", &kib) != 1) {
        }
        std::fclose(status);
    }
    return static_cast<uint64_t>(kib) * 1024;
}

[[noreturn]] void runChild(const std::function<std::string()>& work, int answer, uint64_t addressSpaceAllowance) {
    childAnswer = answer;
    childAllowance = addressSpaceAllowance;
    // Beyond what the child has: what a copy of this process has mapped
    // varies (a sanitizer's shadow alone takes terabytes).
    const uint64_t mapped = addressSpace();
    const bool bounded = addressSpaceAllowance != 0 && mapped != 0;
    if (bounded) {
        const rlimit limit{mapped + addressSpaceAllowance, mapped + addressSpaceAllowance};
        ::setrlimit(RLIMIT_AS, &limit);
    }
    const int quiet = ::open("/dev/null", O_RDWR);
    if (quiet >= 0) {
        ::dup2(quiet, STDIN_FILENO);
        ::dup2(quiet, STDOUT_FILENO);
        ::dup2(quiet, STDERR_FILENO);
    }
    char outcome = succeeded;
    std::string message;
    try {
        message = work();
    } catch (const VkError<DamagedFileError>& e) {
        outcome = damaged;
        message = e.originalMessage();
    } catch (const VkErrorBase& e) {
        outcome = failed;
        message = e.originalMessage();
    } catch (const std::bad_alloc&) {
        outcome = failed;
        message = IsolatedCall::memoryReasonInChild();
    } catch (const std::exception& e) {
        outcome = failed;
        message = e.what();
    } catch (...) {
        outcome = failed;
        message = "it failed";
    }
    // libmsi short of memory fails with a reason of its own ("init"), or
    // finds the package damaged: a failure that came within an eighth of
    // the bound is the bound's.
    if (outcome != succeeded && bounded &&
        peakAddressSpace() >= mapped + addressSpaceAllowance - addressSpaceAllowance / 8) {
        outcome = failed;
        message = IsolatedCall::memoryReasonInChild();
    }
    writeAll(answer, header(outcome, message.size()) + message);
    // No destructors, no exit handlers: they belong to the parent's state.
    ::_exit(0);
}

} // namespace

IsolatedCall::IsolatedCall(const std::function<std::string()>& work, uint64_t addressSpaceAllowance) {
    Pipe pipe("Cannot make a pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
        // The signals a signal watch takes in the parent end the reader as
        // any process; and the reader ends with velkin-pack, however that
        // ends.
        sigset_t none;
        sigemptyset(&none);
        ::pthread_sigmask(SIG_SETMASK, &none, nullptr);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        pipe.readEnd.reset();
        runChild(work, pipe.writeEnd.get(), addressSpaceAllowance);
    }
    // The child's end is the child's alone: the answer ends when it goes.
    pipe.writeEnd.reset();
    if (pid_ < 0) {
        VK_THROW_MSG("Cannot start a process: " << std::strerror(errno));
    }
    answer_.reset(pipe.readEnd.release());
}

void IsolatedCall::failInChild(const std::string& reason) {
    writeAll(childAnswer, header(failed, reason.size()) + reason);
    ::_exit(0);
}

std::string IsolatedCall::memoryReasonInChild() {
    return "it needs more than the " + std::to_string(childAllowance >> 20) + " MiB of memory that the reader may take";
}

IsolatedCall::~IsolatedCall() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        waitForChild();
    }
}

int IsolatedCall::waitForChild() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = 0;
    return status;
}

std::string IsolatedCall::answer(int timeLimitSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
    const int fd = answer_.get();
    std::string answer;
    char buffer[65536];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            VK_THROW_MSG("the reader took longer than " << timeLimitSeconds << " seconds");
        }
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno != EINTR) {
            VK_THROW_MSG("Cannot read from a pipe: " << std::strerror(errno));
        }
        if (polled <= 0) {
            continue;
        }
        const ssize_t read = ::read(fd, buffer, sizeof(buffer));
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read <= 0) {
            break;
        }
        answer.append(buffer, static_cast<size_t>(read));
        if (whole(answer)) {
            break;
        }
    }
    // A child that has answered is ended and collected by the destructor.
    if (!whole(answer)) {
        const int status = waitForChild();
        if (WIFSIGNALED(status)) {
            VK_THROW_MSG("the reader crashed (" << strsignal(WTERMSIG(status)) << ")");
        }
    }
    if (!whole(answer) || (answer[0] != succeeded && answer[0] != failed && answer[0] != damaged)) {
        VK_THROW_MSG("the reader ended without an answer");
    }
    if (answer[0] == damaged) {
        VK_THROW_DAMAGED(answer.substr(headerSize));
    }
    if (answer[0] == failed) {
        VK_THROW_MSG(answer.substr(headerSize));
    }
    return answer.substr(headerSize);
}
