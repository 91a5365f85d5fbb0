// Stands in for msiexec.exe where a test must see exactly what reaches it:
// writes its own command line, as UTF-16 and nothing else, to the file that
// VELKIN_TEST_RECORD names, and beside it the files in the package's folder
// (the folder of the argument after "/i"): each one's path below the folder
// and its size, a line each, as UTF-8, then what another program may do to
// the package. With VELKIN_TEST_GO it waits, before it ends, until the file
// that names exists; with VELKIN_TEST_KEEP it first copies the package to the
// file that names. Ends with 0 when the package's folder holds at the end
// what it held at the start (the package among it), 3 when it does not.
#include "CommandLine.h"
#include "PathUtils.h"
#include "WindowsApi.h"

#include <fstream>
#include <string>

namespace {

void listFiles(const tstring& folder, const tstring& below, std::string& listing) {
    WIN32_FIND_DATAW entry;
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const tstring name = entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != L"." && name != L"..") {
                listFiles(folder + L"\\" + name, below + name + L"\\", listing);
            }
        } else {
            listing += tstrings::toUtf8(below + name) + " " + std::to_string(entry.nFileSizeLow) + "\n";
        }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    wchar_t record[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"VELKIN_TEST_RECORD", record, MAX_PATH)) {
        return 1;
    }
    const std::wstring line = ::GetCommandLineW();
    const tstring_array args = CommandLine::splitArguments(line);
    const bool install = args.size() >= 2 && args[0] == L"/i";
    const auto folderContents = [&] {
        std::string contents;
        listFiles(FileUtils::parentPath(args[1]), L"", contents);
        return contents;
    };
    const std::string contentsAtStart = install ? folderContents() : std::string();
    wchar_t keep[MAX_PATH] = {};
    if (install && ::GetEnvironmentVariableW(L"VELKIN_TEST_KEEP", keep, MAX_PATH)) {
        ::CopyFileW(args[1].c_str(), keep, FALSE);
    }
    if (install) {
        const auto opens = [&](DWORD access) {
            const HANDLE file = ::CreateFileW(args[1].c_str(), access,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                              nullptr, OPEN_EXISTING, 0, nullptr);
            ::CloseHandle(file);
            return file != INVALID_HANDLE_VALUE;
        };
        std::ofstream((std::wstring(record) + L".files").c_str(), std::ios::binary)
            << contentsAtStart << "package: read " << opens(GENERIC_READ) << ", write "
            << opens(GENERIC_WRITE) << ", delete " << opens(DELETE) << "\n";
    }
    // Last: a test that sees the command line sees everything else too.
    std::ofstream(record, std::ios::binary)
        .write(reinterpret_cast<const char*>(line.data()),
               static_cast<std::streamsize>(line.size() * sizeof(wchar_t)));
    if (!install) {
        return 2;
    }

    wchar_t go[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"VELKIN_TEST_GO", go, MAX_PATH)) {
        for (int waited = 0; waited < 20000 && ::GetFileAttributesW(go) == INVALID_FILE_ATTRIBUTES;
             waited += 10) {
            ::Sleep(10);
        }
    }
    return folderContents() == contentsAtStart ? 0 : 3;
}
