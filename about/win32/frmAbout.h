// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace gv::win32 {

// The About window, native: a fixed-size window with the description of
// the program and the identifier, the terms of use and three links.
class frmAbout {
public:
    static constexpr const wchar_t* kClassName = L"GuiVonkAbout";
    // Designed client size in pixels (7500 x 5280 twips).
    static constexpr int kClientWidth = 500;
    static constexpr int kClientHeight = 352;

    // Shows the window modally over owner (disabled meanwhile), in the
    // centre of the screen; returns when it is closed. Links go to
    // openLink.
    static void showModalAbout(HINSTANCE instance, HWND owner, std::function<void(const std::string&)> openLink);
};

} // namespace gv::win32
