// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConsoleTextDecoder.h"

#include "Utf8ChunkDecoder.h"
#include "WideText.h"

#include <windows.h>

namespace gv {

namespace {

// Whether the bytes from `at` to the end could still become one well-formed
// UTF-8 character once more bytes arrive.
bool utf8PrefixAtEnd(const std::string& bytes, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(bytes[at]);
    std::size_t expected = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        expected = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        expected = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        expected = 4;
    if (expected == 0 || bytes.size() - at >= expected)
        return false;
    for (std::size_t i = at + 1; i < bytes.size(); ++i) {
        if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80)
            return false;
    }
    return true;
}

} // namespace

ConsoleTextDecoder::ConsoleTextDecoder(unsigned codePage)
    : m_codePage(codePage)
{
    if (m_codePage == 0)
        m_codePage = ::GetConsoleOutputCP();
    if (m_codePage == 0)
        m_codePage = ::GetOEMCP();
}

void ConsoleTextDecoder::convertLegacy(const std::string& bytes, std::string& out) const
{
    if (bytes.empty())
        return;
    const int size = static_cast<int>(bytes.size());
    const int n = ::MultiByteToWideChar(m_codePage, 0, bytes.data(), size, nullptr, 0);
    if (n <= 0) {
        out.append(bytes.size(), '?');
        return;
    }
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(m_codePage, 0, bytes.data(), size, wide.data(), n);
    out += Narrow(wide);
}

void ConsoleTextDecoder::decode(const char* data, std::size_t size, std::string& out)
{
    std::string bytes;
    bytes.swap(m_pending);
    bytes.append(data, size);
    std::string legacy;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            convertLegacy(legacy, out);
            legacy.clear();
            out += bytes[i++];
            continue;
        }
        if (const int len = validUtf8SequenceLength(bytes, i); len > 0) {
            convertLegacy(legacy, out);
            legacy.clear();
            out.append(bytes, i, static_cast<std::size_t>(len));
            i += static_cast<std::size_t>(len);
            continue;
        }
        if (utf8PrefixAtEnd(bytes, i)) {
            m_pending = bytes.substr(i);
            break;
        }
        // A double-byte code page's lead byte takes its trail byte along;
        // one alone at the end waits for it.
        if (::IsDBCSLeadByteEx(m_codePage, c)) {
            if (i + 1 >= bytes.size()) {
                m_pending = bytes.substr(i);
                break;
            }
            legacy.append(bytes, i, 2);
            i += 2;
            continue;
        }
        legacy += bytes[i++];
    }
    convertLegacy(legacy, out);
}

void ConsoleTextDecoder::finish(std::string& out)
{
    std::string rest;
    rest.swap(m_pending);
    convertLegacy(rest, out);
}

} // namespace gv
