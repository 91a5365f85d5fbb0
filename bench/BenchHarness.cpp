// Times command lines from the Windows side and prints markdown table rows.
//
//   velkin-bench [--env-a NAME=VALUE]... [--env-b NAME=VALUE]... [--before "<command>"]
//                <label> <rounds> <target ratio> <memory target MiB, 0 for none>
//                "<command A>" "<command B>" ["<clean-up>"]
//     A against B: A B A B ..., after one warm-up round of each; the medians,
//     their ratio and whether the target is met. The clean-up command runs
//     after every run, untimed. With a memory target a second row gives A's
//     median peak private memory.
//     A command that does not end with exit code 0 is reported, and makes
//     the harness end with 1. The options set environment variables for
//     side A or side B alone (Wine gives a child the TEMP of its registry
//     unless it is set from the Windows side), and a command that runs,
//     untimed, before every run of either side.
//   velkin-bench --single <label> <rounds> "<command>"
//     One command: its median time and median peak private memory (and its
//     exit code when that is not 0).
#include "WindowsApi.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Run {
    double milliseconds;
    double peakPrivateMiB;
    DWORD exitCode;
};

// Wine forgets a process's memory counters once it has ended: they are read
// while it runs, every millisecond.
void sampleMemory(HANDLE process, uint64_t& peak) {
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                               sizeof(memory))) {
        peak = std::max<uint64_t>({peak, memory.PrivateUsage, memory.PeakPagefileUsage});
    }
}

using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

// Sets the variables for as long as it lives.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const Environment& changes) {
        for (const auto& [name, value] : changes) {
            std::vector<wchar_t> old(32768, L'\0');
            const DWORD length = ::GetEnvironmentVariableW(name.c_str(), old.data(), 32768);
            saved_.emplace_back(name, length ? std::wstring(old.data(), length) : std::wstring());
            ::SetEnvironmentVariableW(name.c_str(), value.c_str());
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            ::SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
        }
    }

private:
    Environment saved_;
};

Run run(const std::wstring& command, const Environment& environment = {}) {
    const ScopedEnvironment childEnvironment(environment);
    std::wstring line = command;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        std::fwprintf(stderr, L"cannot start (error %lu): %ls\n", ::GetLastError(),
                      command.c_str());
        std::exit(3);
    }
    uint64_t peak = 0;
    while (::WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT) {
        sampleMemory(process.hProcess, peak);
    }
    ::QueryPerformanceCounter(&end);
    Run result{};
    result.milliseconds = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                          static_cast<double>(frequency.QuadPart);
    result.peakPrivateMiB = static_cast<double>(peak) / (1024.0 * 1024.0);
    ::GetExitCodeProcess(process.hProcess, &result.exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool failed = false;

void check(const std::wstring& label, const Run& result, const wchar_t* side, int round) {
    if (result.exitCode != 0) {
        std::fwprintf(stderr, L"%ls: side %ls failed in round %d with exit code %lu\n",
                      label.c_str(), side, round, result.exitCode);
        failed = true;
    }
}

int single(const std::wstring& label, int rounds, const std::wstring& command) {
    std::vector<double> times, peaks;
    DWORD exitCode = 0;
    for (int round = -1; round < rounds; ++round) {
        const Run result = run(command);
        exitCode = result.exitCode;
        if (round >= 0) {
            times.push_back(result.milliseconds);
            peaks.push_back(result.peakPrivateMiB);
        }
    }
    std::wprintf(L"| %ls | %.1f ms, %.1f MiB peak private memory%ls | | | | |\n", label.c_str(),
                 median(times), median(peaks),
                 exitCode ? (L", exit code " + std::to_wstring(static_cast<int32_t>(exitCode))).c_str()
                          : L"");
    return 0;
}

struct Options {
    Environment environmentA;
    Environment environmentB;
    std::wstring before;
};

int compare(const std::wstring& label, int rounds, double target, double memoryTarget,
            const std::wstring& a, const std::wstring& b, const std::wstring& cleanup,
            const Options& options) {
    std::vector<double> timesA, timesB, peaksA;
    const auto prepare = [&options] {
        if (!options.before.empty()) {
            run(options.before);
        }
    };
    for (int round = -1; round < rounds; ++round) {
        prepare();
        const Run runA = run(a, options.environmentA);
        if (!cleanup.empty()) {
            run(cleanup);
        }
        prepare();
        const Run runB = run(b, options.environmentB);
        if (!cleanup.empty()) {
            run(cleanup);
        }
        check(label, runA, L"A", round);
        check(label, runB, L"B", round);
        if (round < 0) {
            continue; // warm-up
        }
        timesA.push_back(runA.milliseconds);
        timesB.push_back(runB.milliseconds);
        peaksA.push_back(runA.peakPrivateMiB);
    }
    const double medianA = median(timesA);
    const double medianB = median(timesB);
    const double ratio = medianA / medianB;
    std::wprintf(L"| %ls | %.1f ms | %.1f ms | %.3f | <= %.2f | %ls |\n", label.c_str(), medianA,
                 medianB, ratio, target, ratio <= target ? L"yes" : L"no");
    if (memoryTarget > 0) {
        const double peak = median(peaksA);
        std::wprintf(L"| %ls: peak private memory | %.1f MiB | | | <= %.0f MiB | %ls |\n",
                     label.c_str(), peak, memoryTarget, peak <= memoryTarget ? L"yes" : L"no");
    }
    return failed ? 1 : 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wstring(argv[1]) == L"--single") {
        return single(argv[2], std::max(1, _wtoi(argv[3])), argv[4]);
    }
    Options options;
    int first = 1;
    for (; first + 1 < argc; first += 2) {
        const std::wstring option = argv[first];
        const std::wstring value = argv[first + 1];
        if (option == L"--before") {
            options.before = value;
            continue;
        }
        if (option != L"--env-a" && option != L"--env-b") {
            break;
        }
        const size_t equals = value.find(L'=');
        (option == L"--env-a" ? options.environmentA : options.environmentB)
            .emplace_back(value.substr(0, equals),
                          equals == std::wstring::npos ? std::wstring() : value.substr(equals + 1));
    }
    if (argc - first < 6) {
        std::fwprintf(stderr, L"usage: velkin-bench [--env-a NAME=VALUE]... [--env-b NAME=VALUE]... "
                              L"[--before <command>] <label> <rounds> <target ratio> <memory target> <A> <B> [clean-up]\n"
                              L"       velkin-bench --single <label> <rounds> <command>\n");
        return 2;
    }
    wchar_t** args = argv + first;
    return compare(args[0], std::max(1, _wtoi(args[1])), _wtof(args[2]), _wtof(args[3]), args[4],
                   args[5], argc - first > 6 ? args[6] : L"", options);
}
