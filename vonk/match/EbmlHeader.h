#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace gv::vonk {

// The DocType of an EBML header (the first element of a Matroska or WebM
// file), read by walking the header's child elements rather than matching
// bytes: writers pick their own size widths and may pad the name with NULs.
// Empty when the head does not open with a well-formed header that names
// one. Reads only `head`.
std::string readEbmlDocType(std::span<const std::uint8_t> head);

} // namespace gv::vonk
