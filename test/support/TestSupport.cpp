#include "TestSupport.h"

#include "PathUtils.h"
#include "WindowsApi.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <mutex>
#include <stdexcept>

namespace {

tstring systemTempDir() {
    wchar_t buffer[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, buffer);
    return FileUtils::stripTrailingSeparators(buffer);
}

void makeDirectories(const tstring& path) {
    const tstring levels = path + L'\\';
    for (size_t i = 3; i < levels.size(); ++i) {
        if (levels[i] == L'\\') {
            ::CreateDirectoryW(levels.substr(0, i).c_str(), nullptr);
        }
    }
}

// Removes a tree with the system's calls, read-only files included; never
// follows a directory link.
void removeTree(const tstring& path) {
    WIN32_FIND_DATAW entry;
    const HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const tstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const tstring child = path + L'\\' + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                removeTree(child);
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ::RemoveDirectoryW(child.c_str());
            } else {
                ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(search, &entry));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(path.c_str());
}

} // namespace

TestDirectory::TestDirectory() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    std::replace(name.begin(), name.end(), '/', '_');
    // Directly in the temporary directory: a parent shared by the tests would
    // stay behind them.
    path_ = systemTempDir() + L"\\velkin-test-" + tstrings::fromUtf8(name);
    removeTree(path_);
    makeDirectories(path_);
}

TestDirectory::~TestDirectory() { removeTree(path_); }

tstring TestDirectory::operator/(const tstring& relative) const {
    return FileUtils::joinPath(path_, relative);
}

tstring TestDirectory::file(const tstring& relative, const std::string& content) const {
    const tstring path = *this / relative;
    makeDirectories(FileUtils::parentPath(path));
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        throw std::runtime_error("cannot write test file " + tstrings::toUtf8(path));
    }
    return path;
}

tstring TestDirectory::directory(const tstring& relative) const {
    const tstring path = *this / relative;
    makeDirectories(path);
    return path;
}

tstring TestDirectory::copy(const tstring& source, const tstring& relative) const {
    const tstring path = *this / relative;
    makeDirectories(FileUtils::parentPath(path));
    if (!::CopyFileW(source.c_str(), path.c_str(), FALSE)) {
        throw std::runtime_error("cannot copy " + tstrings::toUtf8(source) + " to " +
                                 tstrings::toUtf8(path));
    }
    return path;
}

std::string readFile(const tstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const tstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<tstring> listDirectory(const tstring& directory) {
    std::vector<tstring> names;
    WIN32_FIND_DATAW entry;
    const HANDLE search = ::FindFirstFileW((directory + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const tstring name = entry.cFileName;
            if (name != L"." && name != L"..") {
                names.push_back(name);
            }
        } while (::FindNextFileW(search, &entry));
        ::FindClose(search);
    }
    std::sort(names.begin(), names.end());
    return names;
}

tstring environmentValue(const tstring& name) {
    std::vector<wchar_t> value(::GetEnvironmentVariableW(name.c_str(), nullptr, 0) + 1);
    const DWORD length =
        ::GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    return length < value.size() ? tstring(value.data(), length) : tstring();
}

ScopedEnvironment::ScopedEnvironment(const std::vector<std::pair<tstring, tstring>>& changes) {
    for (const auto& [name, value] : changes) {
        saved_.emplace_back(name, environmentValue(name));
        ::SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
}

ScopedEnvironment::~ScopedEnvironment() {
    for (auto entry = saved_.rbegin(); entry != saved_.rend(); ++entry) {
        ::SetEnvironmentVariableW(entry->first.c_str(),
                                  entry->second.empty() ? nullptr : entry->second.c_str());
    }
}

namespace {

// A child inherits this process's environment, which is changed around its
// start: one start at a time.
std::mutex childStart;

// Where a child's output goes: a file that the system removes when the last
// handle to it closes, ours, the child's or one that the child passed on,
// however each of them ends.
HANDLE createOutputFile() {
    static std::atomic<unsigned> made{0};
    const tstring stem = systemTempDir() + L"\\vco" + std::to_wstring(::GetCurrentProcessId()) + L"-";
    for (;;) {
        const tstring path = stem + std::to_wstring(++made) + L".tmp";
        const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
}

std::string readWhole(HANDLE file) {
    std::string content;
    char chunk[65536];
    OVERLAPPED position{};
    DWORD read = 0;
    while (::ReadFile(file, chunk, sizeof(chunk), &read, &position) && read > 0) {
        content.append(chunk, read);
        position.Offset += read;
    }
    return content;
}

} // namespace

ChildProcess::ChildProcess(const tstring& program, const tstring& arguments,
                           const std::vector<std::pair<tstring, tstring>>& environment,
                           const tstring& currentDirectory)
    : commandLine_(quoted(program) + L" " + arguments), output_(createOutputFile()) {
    if (output_ == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot make a file for the output of " + tstrings::toUtf8(commandLine_) +
                                 ": error " + std::to_string(::GetLastError()));
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE output = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), output_, ::GetCurrentProcess(), &output, 0, TRUE,
                      DUPLICATE_SAME_ACCESS);
    const HANDLE input = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inheritable, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> mutableLine(commandLine_.begin(), commandLine_.end());
    mutableLine.push_back(L'\0');
    BOOL started = FALSE;
    DWORD startError = 0;
    {
        const std::lock_guard<std::mutex> oneAtATime(childStart);
        const ScopedEnvironment childEnvironment(environment);
        started = ::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                   currentDirectory.empty() ? nullptr : currentDirectory.c_str(),
                                   &startup, &process);
        startError = ::GetLastError();
    }
    ::CloseHandle(input);
    ::CloseHandle(output);
    if (!started) {
        ::CloseHandle(output_);
        throw std::runtime_error("cannot start " + tstrings::toUtf8(commandLine_) + ": error " +
                                 std::to_string(startError));
    }
    ::CloseHandle(process.hThread);
    process_ = process.hProcess;
}

ChildProcess::~ChildProcess() {
    kill();
    ::CloseHandle(process_);
    ::CloseHandle(output_);
}

ChildResult ChildProcess::finish() {
    // Half the time limit of a unit test (test/CMakeLists.txt): a hung child is
    // ended and named here rather than outliving the test that ctest ends.
    if (::WaitForSingleObject(process_, 30000) != WAIT_OBJECT_0) {
        kill();
        ADD_FAILURE() << "child did not end within 30 s: " << tstrings::toUtf8(commandLine_);
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process_, &exitCode);
    return ChildResult{exitCode, readWhole(output_)};
}

void ChildProcess::kill() {
    if (running()) {
        ::TerminateProcess(process_, 99);
        ::WaitForSingleObject(process_, INFINITE);
    }
}

bool ChildProcess::running() const { return ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

ChildResult runChild(const tstring& program, const tstring& arguments,
                     const std::vector<std::pair<tstring, tstring>>& environment,
                     const tstring& currentDirectory) {
    return ChildProcess(program, arguments, environment, currentDirectory).finish();
}

void DisplayTest::SetUp() {
    if (environmentValue(L"VELKIN_TEST_DISPLAY") != L"1") {
        GTEST_SKIP() << "needs a display: run under xvfb-run with VELKIN_TEST_DISPLAY=1";
    }
}

HWND findMessageBox(void* process, const tstring& title, uint32_t timeoutMs, HWND seen) {
    for (uint32_t waited = 0; waited < timeoutMs; waited += 50) {
        const HWND box = ::FindWindowW(L"#32770", title.c_str());
        if (box && box != seen) {
            return box;
        }
        if (::WaitForSingleObject(process, 50) == WAIT_OBJECT_0) {
            return nullptr;
        }
    }
    return nullptr;
}

tstring messageText(HWND box) {
    tstring text;
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM found) -> BOOL {
            wchar_t className[16] = {};
            ::GetClassNameW(child, className, 16);
            wchar_t buffer[1024] = {};
            ::GetWindowTextW(child, buffer, 1024);
            if (tstring(className) == L"Static" && buffer[0] != L'\0') {
                *reinterpret_cast<tstring*>(found) = buffer;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

namespace {

tstring sidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!sid || !::ConvertSidToStringSidW(sid, &text)) {
        return L"<unknown>";
    }
    const tstring result = text;
    ::LocalFree(text);
    return result;
}

} // namespace

tstring currentUserSid() {
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    alignas(TOKEN_USER) unsigned char user[256] = {};
    DWORD size = 0;
    const BOOL read = ::GetTokenInformation(token, TokenUser, user, sizeof(user), &size);
    ::CloseHandle(token);
    return read ? sidText(reinterpret_cast<TOKEN_USER*>(user)->User.Sid) : L"<unknown>";
}

tstring ownerSid(const tstring& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"<unknown>";
    }
    const tstring result = sidText(owner);
    ::LocalFree(descriptor);
    return result;
}

tstring damagedSetupCopy(const tstring& setup, const tstring& destination, uint32_t extraBytes) {
    // Where the loader finds the package (its address relative to the image)
    // and its size: the pair that the resource's directory entry holds.
    const HMODULE module = ::LoadLibraryExW(setup.c_str(), nullptr,
                                            LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const HRSRC found = module ? ::FindResourceW(module, L"MSI", RT_RCDATA) : nullptr;
    if (!found) {
        throw std::runtime_error("no package in " + tstrings::toUtf8(setup));
    }
    const auto base = reinterpret_cast<uintptr_t>(module) & ~uintptr_t{3};
    const uint32_t entry[2] = {
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(::LockResource(::LoadResource(module, found))) - base),
        ::SizeofResource(module, found)};
    ::FreeLibrary(module);
    std::string bytes = readFile(setup);
    const size_t at = bytes.find(std::string(reinterpret_cast<const char*>(entry), sizeof(entry)));
    if (at == std::string::npos) {
        throw std::runtime_error("no resource entry for the package in " + tstrings::toUtf8(setup));
    }
    const uint32_t claimed = entry[1] + extraBytes;
    bytes.replace(at + 4, 4, reinterpret_cast<const char*>(&claimed), 4);
    std::ofstream(destination.c_str(), std::ios::binary) << bytes;
    return destination;
}

tstring siblingProgram(const tstring& fileName) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return FileUtils::joinPath(FileUtils::parentPath(self), fileName);
}

tstring systemProgram(const tstring& fileName) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    return FileUtils::joinPath(system, fileName);
}

tstring testPackage(const tstring& fileName) {
    return siblingProgram(L"..\\packages\\" + fileName);
}

tstring demoInstallDir() { return environmentValue(L"LOCALAPPDATA") + L"\\VelkinDemo"; }

tstring plantInstallerLibrary(const tstring& directory) {
    EXPECT_EQ(0u, environmentValue(L"WINEDLLOVERRIDES").find(L"msi"))
        << "the test run must prefer a native msi.dll";
    const tstring planted = FileUtils::joinPath(directory, L"msi.dll");
    if (!::CopyFileW(siblingProgram(L"..\\planted\\msi.dll").c_str(), planted.c_str(), FALSE)) {
        throw std::runtime_error("cannot plant " + tstrings::toUtf8(planted));
    }
    return FileUtils::joinPath(directory, L"planted-msi-was-loaded");
}

namespace {

testing::AssertionResult textCheck(bool holds, const std::string& text, const char* relation,
                                   const std::string& piece) {
    testing::AssertionResult result =
        holds ? testing::AssertionSuccess() : testing::AssertionFailure();
    return result << "\"" << text << "\"\n" << (holds ? "does " : "does not ") << relation << "\n\""
                  << piece << "\"";
}

} // namespace

testing::AssertionResult startsWith(const std::string& text, const std::string& piece) {
    return textCheck(text.compare(0, piece.size(), piece) == 0, text, "start with", piece);
}

testing::AssertionResult startsWith(const tstring& text, const tstring& piece) {
    return startsWith(tstrings::toUtf8(text), tstrings::toUtf8(piece));
}

testing::AssertionResult contains(const std::string& text, const std::string& piece) {
    return textCheck(text.find(piece) != std::string::npos, text, "hold", piece);
}

testing::AssertionResult contains(const tstring& text, const tstring& piece) {
    return contains(tstrings::toUtf8(text), tstrings::toUtf8(piece));
}

tstring quoted(const tstring& argument) { return L"\"" + argument + L"\""; }
