#include "winhelpers/core/ResourceTable.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace gv {

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::span<const EmbeddedResource>> tables;
};

// Built on first use, so tables registered from static initialisers of
// other files find it ready whatever the order of initialisation.
Registry& registry()
{
    static Registry r;
    return r;
}

bool sameTypeName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

void RegisterEmbeddedResources(std::span<const EmbeddedResource> table)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.tables.push_back(table);
}

void UnregisterEmbeddedResources(std::span<const EmbeddedResource> table)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto same = [&](const std::span<const EmbeddedResource>& t) {
        return t.data() == table.data() && t.size() == table.size();
    };
    r.tables.erase(std::remove_if(r.tables.begin(), r.tables.end(), same), r.tables.end());
}

const EmbeddedResource* FindEmbeddedResource(std::string_view type, int id)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (auto t = r.tables.rbegin(); t != r.tables.rend(); ++t) {
        for (const EmbeddedResource& res : *t) {
            if (res.id == id && res.type && sameTypeName(res.type, type))
                return &res;
        }
    }
    return nullptr;
}

} // namespace gv
