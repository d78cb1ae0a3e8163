#pragma once

#include <string>
#include <string_view>

namespace gv {

// How writing a resource out ended. Callers that only need the old silent
// behaviour ignore it; the start-up uses it to choose another folder.
enum class ExtractOutcome {
    Written,         // the target now holds exactly the resource's bytes
    KeptExisting,    // the target existed and replacing was not asked
    MissingResource, // no such resource (a replaced target stays deleted)
    Failed,          // the target could not be deleted or written
};

// Writes an embedded resource (see ResourceTable.h) to a file, byte for
// byte, executable (mode 0755). In this order: an existing target (any
// entry but a folder, a dangling link included) is deleted when overwrite
// is set, else left untouched; then the resource is looked up; then its
// bytes go to a temporary file beside the target that is renamed over it,
// so the target never holds part of the bytes or leftovers of an older
// file. Never throws.
ExtractOutcome ExtractResourceFile(const std::string& target, int id, std::string_view type, bool overwrite);

} // namespace gv
