// SPDX-License-Identifier: GPL-3.0-or-later
// A child program for the Windows runner tests, started through
// "cmd /c": each mode writes one precise output or never ends.
//   count N    N bytes of a repeating digit pattern, in one write
//   hex HEX    the bytes given in hexadecimal, in one write
//   forever    a grandchild of the same mode holds the output, and both
//              print "waiting PID" and wait (ending by themselves after a
//              safety time)

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void out(const std::string& bytes)
{
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "count" && argc > 2) {
        std::string bytes;
        for (long i = 0, n = std::strtol(argv[2], nullptr, 10); i < n; ++i)
            bytes += static_cast<char>('0' + i % 10);
        out(bytes);
        return 0;
    }
    if (mode == "hex" && argc > 2) {
        std::string bytes;
        for (const char* p = argv[2]; p[0] && p[1]; p += 2) {
            const char pair[3] = { p[0], p[1], 0 };
            bytes += static_cast<char>(std::strtoul(pair, nullptr, 16));
        }
        out(bytes);
        return 0;
    }
    if (mode == "forever" || mode == "forever-leaf") {
        if (mode == "forever") {
            wchar_t self[MAX_PATH];
            ::GetModuleFileNameW(nullptr, self, MAX_PATH);
            std::wstring command = L"\"" + std::wstring(self) + L"\" forever-leaf";
            STARTUPINFOW si {};
            si.cb = sizeof si;
            PROCESS_INFORMATION pi {};
            if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
                ::CloseHandle(pi.hThread);
                ::CloseHandle(pi.hProcess);
            }
        }
        out("waiting " + std::to_string(::GetCurrentProcessId()) + "\n");
        ::Sleep(20000);
        return 0;
    }
    return 2;
}
