// Times two command lines against each other from the Windows side: A B A B
// ..., after one warm-up round of each, and prints a markdown table row with
// the medians, their ratio and whether the target is met. Optionally runs a
// clean-up command after every run (not timed). With a memory target it
// prints a second row: the median peak private memory of side A's process.
//
// Usage: velkin-bench <label> <rounds> <target ratio> <memory target MiB, 0 for none>
//                     "<command A>" "<command B>" ["<clean-up>"]
#include "WindowsApi.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Run {
    double milliseconds;
    uint64_t peakPrivateBytes;
    DWORD exitCode;
};

Run run(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        std::fwprintf(stderr, L"cannot start (error %lu): %ls\n", ::GetLastError(),
                      commandLine.c_str());
        std::exit(3);
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::QueryPerformanceCounter(&end);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(process.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                           sizeof(memory));
    Run result{};
    result.milliseconds = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                          static_cast<double>(frequency.QuadPart);
    result.peakPrivateBytes = memory.PeakPagefileUsage;
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

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 7) {
        std::fwprintf(stderr, L"usage: velkin-bench <label> <rounds> <target ratio> <memory target> "
                              L"<A> <B> [clean-up]\n");
        return 2;
    }
    const std::wstring label = argv[1];
    const int rounds = std::max(1, _wtoi(argv[2]));
    const double target = _wtof(argv[3]);
    const double memoryTarget = _wtof(argv[4]);
    const std::wstring a = argv[5];
    const std::wstring b = argv[6];
    const std::wstring cleanup = argc > 7 ? argv[7] : L"";

    std::vector<double> timesA, timesB, peaksA;
    bool failed = false;
    const auto check = [&](const Run& result, const wchar_t* side, int round) {
        if (result.exitCode != 0) {
            std::fwprintf(stderr, L"%ls: side %ls failed in round %d with exit code %ld\n",
                          label.c_str(), side, round, static_cast<long>(result.exitCode));
            failed = true;
        }
    };
    for (int round = -1; round < rounds; ++round) {
        const Run runA = run(a);
        if (!cleanup.empty()) {
            run(cleanup);
        }
        const Run runB = run(b);
        if (!cleanup.empty()) {
            run(cleanup);
        }
        check(runA, L"A", round);
        check(runB, L"B", round);
        if (round < 0) {
            continue; // warm-up
        }
        timesA.push_back(runA.milliseconds);
        timesB.push_back(runB.milliseconds);
        peaksA.push_back(static_cast<double>(runA.peakPrivateBytes) / (1024.0 * 1024.0));
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
