#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace gv {

// One file carried inside the program, found by its type's name and its
// number. The bytes must live as long as the program (static data).
struct EmbeddedResource {
    const char* type;
    int id;
    const unsigned char* data;
    std::size_t size;
};

// Adds a table of resources to the program's lookup. The table itself is
// not copied: it must outlive every lookup. Tables registered later are
// searched first, so a later table can stand in for an earlier entry.
// Safe to call from static initialisers.
void RegisterEmbeddedResources(std::span<const EmbeddedResource> table);

// Removes a table registered before (tests register their own and take
// them away again). Unknown tables are ignored.
void UnregisterEmbeddedResources(std::span<const EmbeddedResource> table);

// The resource with this number whose type matches ignoring ASCII case
// ("files" finds "FILES"), or nullptr.
const EmbeddedResource* FindEmbeddedResource(std::string_view type, int id);

// Resource numbers and type of the files the window program carries: the
// embedded table registers them under these, deployment looks them up.
inline constexpr int kIdentifierResource = 102;
inline constexpr int kDatabaseResource = 103;
inline constexpr const char* kPayloadType = "FILES";

} // namespace gv
