#include "StandardError.h"

#include "WindowsApi.h"

#include <cstdio>
#include <io.h>
#include <iostream>

void writeStandardErrorLine(const tstring& text) {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stderr)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
        std::cerr.flush();
        const tstring line = text + L"\n";
        DWORD written = 0;
        ::WriteConsoleW(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    std::cerr << tstrings::toUtf8(text) << std::endl;
}
