#include "Payloads.h"

#include "winhelpers/core/ResourceTable.h"

#include <array>

extern "C" {
extern const unsigned char gv_payload_vonk_begin[];
extern const unsigned char gv_payload_vonk_end[];
extern const unsigned char gv_payload_defs_begin[];
extern const unsigned char gv_payload_defs_end[];
}

namespace gv {

void RegisterIdentifierPayloads()
{
    static const std::array<EmbeddedResource, 2> table{{
        {kPayloadType, kIdentifierResource, gv_payload_vonk_begin,
         static_cast<std::size_t>(gv_payload_vonk_end - gv_payload_vonk_begin)},
        {kPayloadType, kDatabaseResource, gv_payload_defs_begin,
         static_cast<std::size_t>(gv_payload_defs_end - gv_payload_defs_begin)},
    }};
    static bool registered = false;
    if (!registered) {
        RegisterEmbeddedResources(table);
        registered = true;
    }
}

} // namespace gv
