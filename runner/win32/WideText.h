// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace gv {

// UTF-8 (our text everywhere) to UTF-16 (what the wide Win32 calls take),
// and back. Ill-formed input becomes U+FFFD rather than vanishing.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

} // namespace gv
