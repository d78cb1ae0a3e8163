// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/learner/LearnedRule.h"

#include "vonk/build/DatabaseWriter.h"
#include "vonk/learner/DefinitionWriter.h"
#include "vonk/build/SourceDefinition.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace gv::learner {

namespace {

bool contains(const std::uint8_t* p, std::size_t n, const std::vector<std::uint8_t>& pattern)
{
    if (pattern.size() > n)
        return false;
    std::string_view hay(reinterpret_cast<const char*>(p), n);
    std::string_view needle(reinterpret_cast<const char*>(pattern.data()), pattern.size());
    return hay.find(needle) != std::string_view::npos;
}

std::string hex(const std::vector<std::uint8_t>& bytes)
{
    std::string out = "hex";
    for (std::uint8_t b : bytes) {
        char buf[4];
        std::snprintf(buf, sizeof buf, " %02X", b);
        out += buf;
    }
    return out;
}

} // namespace

bool LearnedRule::holds(const Sample& file) const
{
    switch (kind) {
    case Kind::At:
        if (offset >= 0) {
            std::size_t off = static_cast<std::size_t>(offset);
            return file.head.size() >= off + bytes.size()
                && std::equal(bytes.begin(), bytes.end(), file.head.begin() + static_cast<std::ptrdiff_t>(off));
        } else {
            std::size_t back = static_cast<std::size_t>(-offset);
            return back >= bytes.size() && file.tail.size() >= back
                && std::equal(bytes.begin(), bytes.end(), file.tail.end() - static_cast<std::ptrdiff_t>(back));
        }
    case Kind::Head: {
        std::size_t n = std::min(window, file.head.size());
        return contains(file.head.data(), n, bytes);
    }
    case Kind::Tail: {
        std::size_t n = std::min(window, file.tail.size());
        return contains(file.tail.data() + file.tail.size() - n, n, bytes);
    }
    }
    return false;
}

int LearnedRule::evidenceBits() const
{
    // Ranked by the database's own measure, so what we report and weigh is
    // what the compiled definition will carry.
    gv::vonk::SourceRule r;
    switch (kind) {
    case Kind::At:
        r.kind = gv::vonk::db::NodeKind::AtPattern;
        r.off = offset;
        break;
    case Kind::Head:
        r.kind = gv::vonk::db::NodeKind::Head;
        r.off = static_cast<std::int64_t>(window);
        break;
    case Kind::Tail:
        r.kind = gv::vonk::db::NodeKind::Tail;
        r.off = static_cast<std::int64_t>(window);
        break;
    }
    r.bytes = bytes;
    r.masks.assign(bytes.size(), 0xFF);
    return static_cast<int>(gv::vonk::DatabaseWriter::evidenceOf(r));
}

std::string LearnedRule::source() const
{
    std::string pattern = text ? "str " + DefinitionWriter::quote(std::string(bytes.begin(), bytes.end())) : hex(bytes);
    switch (kind) {
    case Kind::At:
        return "at " + std::to_string(offset) + " " + pattern;
    case Kind::Head:
        return "head " + std::to_string(window) + " " + pattern;
    case Kind::Tail:
        return "tail " + std::to_string(window) + " " + pattern;
    }
    return {};
}

} // namespace gv::learner
