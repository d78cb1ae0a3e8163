// SPDX-License-Identifier: GPL-3.0-or-later
#include "Utf8ChunkDecoder.h"

namespace gv {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Number of continuation bytes a lead byte announces; -1 when the byte
// cannot start a character (a continuation byte, C0, C1, F5..FF).
int continuationCount(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 1;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 2;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 3;
    return -1;
}

// Whether `c` may follow at position `index` (1-based) of a character
// that starts with `lead`. The narrowed second-byte ranges exclude
// overlong forms, UTF-16 surrogates and code points above U+10FFFF.
bool acceptsContinuation(unsigned char lead, std::size_t index, unsigned char c)
{
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (index == 1) {
        switch (lead) {
        case 0xE0: low = 0xA0; break;
        case 0xED: high = 0x9F; break;
        case 0xF0: low = 0x90; break;
        case 0xF4: high = 0x8F; break;
        default: break;
        }
    }
    return c >= low && c <= high;
}

} // namespace

int validUtf8SequenceLength(std::string_view bytes, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80)
        return 1;
    const int count = continuationCount(lead);
    if (count < 0 || bytes.size() - at <= static_cast<std::size_t>(count))
        return 0;
    for (int k = 1; k <= count; ++k) {
        if (!acceptsContinuation(lead, static_cast<std::size_t>(k), static_cast<unsigned char>(bytes[at + k])))
            return 0;
    }
    return count + 1;
}

void Utf8ChunkDecoder::decode(const char* data, std::size_t size, std::string& out)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::size_t i = 0;

    // Complete (or give up) the character held back from the last read.
    while (m_pendingSize != 0 && i < size) {
        const unsigned char lead = m_pending[0];
        const auto needed = static_cast<std::size_t>(continuationCount(lead)) + 1;
        if (!acceptsContinuation(lead, m_pendingSize, bytes[i])) {
            out += kReplacement;
            m_pendingSize = 0; // the offending byte is decoded afresh below
            break;
        }
        m_pending[m_pendingSize++] = bytes[i++];
        if (m_pendingSize == needed) {
            out.append(reinterpret_cast<const char*>(m_pending), needed);
            m_pendingSize = 0;
        }
    }
    if (m_pendingSize != 0)
        return; // still incomplete: the read ended inside the character

    // Valid stretches are copied in one piece; only faults break them.
    std::size_t runStart = i;
    while (i < size) {
        const unsigned char b = bytes[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        const int count = continuationCount(b);
        if (count < 0) {
            out.append(data + runStart, i - runStart);
            out += kReplacement;
            runStart = ++i;
            continue;
        }
        std::size_t k = 1;
        bool broken = false;
        for (; k <= static_cast<std::size_t>(count); ++k) {
            if (i + k >= size)
                break;
            if (!acceptsContinuation(b, k, bytes[i + k])) {
                broken = true;
                break;
            }
        }
        if (broken) {
            out.append(data + runStart, i - runStart);
            out += kReplacement;
            i += k; // the byte that broke the sequence starts the next one
            runStart = i;
            continue;
        }
        if (k <= static_cast<std::size_t>(count)) {
            // The read ends inside this character: keep its start for later.
            out.append(data + runStart, i - runStart);
            m_pendingSize = size - i;
            for (std::size_t j = 0; j < m_pendingSize; ++j)
                m_pending[j] = bytes[i + j];
            return;
        }
        i += k;
    }
    out.append(data + runStart, size - runStart);
}

void Utf8ChunkDecoder::finish(std::string& out)
{
    if (m_pendingSize != 0) {
        out += kReplacement;
        m_pendingSize = 0;
    }
}

} // namespace gv
