#pragma once

namespace gv {

// Resource numbers of the files the window program carries, type "FILES".
inline constexpr int kIdentifierResource = 102;
inline constexpr int kDatabaseResource = 103;
inline constexpr const char* kPayloadType = "FILES";

// Makes the embedded identifier (FILES 102) and its database (FILES 103)
// known to the resource lookup. Called once at start; harmless twice.
void RegisterIdentifierPayloads();

} // namespace gv
