#pragma once

#include "UniqueHandles.h"
#include "tstrings.h"

#include <string>
#include <thread>

// velkin-pack.exe itself, started again as a child that reads one package
// with msi.dll and writes what it found to its standard output. msi.dll can
// crash or loop on a damaged package: whatever it does stays in the child.
// The child runs in a job that ends with this process, from its creation on
// (where the system allows; before Windows 10 it joins before it runs), so
// that nothing of it outlives velkin-pack, however velkin-pack ends.
class ReaderProcess {
public:
    // The hidden first argument that makes velkin-pack.exe the reader.
    static const wchar_t argument[];

    // Starts the child for the package at `path`, at once.
    explicit ReaderProcess(const tstring& path);
    // Ends a child whose answer nobody waited for.
    ~ReaderProcess();

    ReaderProcess(const ReaderProcess&) = delete;
    ReaderProcess& operator=(const ReaderProcess&) = delete;

    // Waits for the child's answer, once; a child that takes longer is
    // ended. Throws the reason when the child crashed, was ended or wrote no
    // answer, and a DamagedFileError when the package is damaged.
    std::string answer(int timeLimitSeconds);

private:
    void end();
    SIZE_T peakMemory() const;

    UniqueHandle job_;
    UniqueHandle process_;
    UniqueHandle output_;
    std::string received_;
    std::thread receiver_;
};

// The child's side: reads the package at `path` and writes the answer to
// standard output. Gives the process exit code.
int runReaderProcess(const tstring& path);
