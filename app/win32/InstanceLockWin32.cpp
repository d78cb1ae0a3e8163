// SPDX-License-Identifier: GPL-3.0-or-later
#include "InstanceLockWin32.h"

#include "WideText.h"

#include <windows.h>

#include <cstdlib>

namespace gv {

std::string InstanceLock::DefaultPath()
{
    if (const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA"); local && *local) {
        const std::wstring folder = std::wstring(local) + L"\\gui-vonk";
        ::CreateDirectoryW(folder.c_str(), nullptr);
        return Narrow(folder) + "\\gui-vonk.lock";
    }
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    return Narrow(std::wstring(temp, n)) + "gui-vonk.lock";
}

InstanceLock::InstanceLock(std::string path)
    : m_path(std::move(path))
{
}

InstanceLock::~InstanceLock()
{
    Release();
}

bool InstanceLock::TryAcquire()
{
    if (m_handle)
        return true;
    // Shared with nobody: a second opener is refused for as long as this
    // handle lives, and the system closes it however the holder ends.
    HANDLE h = ::CreateFileW(Widen(m_path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A holder that is just letting go leaves the file pending deletion
        // for a moment, which reads as access denied: asked once more.
        DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED && ::GetFileAttributesW(Widen(m_path).c_str()) != INVALID_FILE_ATTRIBUTES) {
            ::Sleep(50);
            h = ::CreateFileW(Widen(m_path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
            error = h == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
        }
        if (h == INVALID_HANDLE_VALUE)
            return error != ERROR_SHARING_VIOLATION;
    }
    m_handle = h;
    return true;
}

void InstanceLock::Release()
{
    if (m_handle) {
        ::CloseHandle(static_cast<HANDLE>(m_handle));
        m_handle = nullptr;
    }
}

} // namespace gv
