// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/win32/WideText.h"

#include <windows.h>

#include <string>

namespace gv::win32 {

// The text of a window or control, UTF-16 as the system keeps it.
inline std::wstring windowText(HWND window)
{
    const int n = GetWindowTextLengthW(window);
    std::wstring text(size_t(n) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(window, text.data(), n + 1)));
    return text;
}

} // namespace gv::win32
