// Resource look-up through the exported table of a module.
#include "platform/resources.h"

#include <dlfcn.h>
#include <link.h>

#include <cctype>

namespace platform {

ModuleHandle programModule()
{
    // The handle of the main program stays valid for the life of the process.
    static void* self = dlopen(nullptr, RTLD_NOW);
    return self;
}

const DravikResourceTable* resourceTable(ModuleHandle module)
{
    if (!module)
        return nullptr;
    void* table = dlsym(module, kResourceTableSymbol);
    if (!table)
        return nullptr;
    // dlsym also searches the libraries a module depends on (and for the program, the global
    // scope): accept the table only when it lies in the module itself.
    link_map* wanted = nullptr;
    link_map* found = nullptr;
    Dl_info info{};
    if (dlinfo(module, RTLD_DI_LINKMAP, &wanted) != 0 ||
        !dladdr1(table, &info, reinterpret_cast<void**>(&found), RTLD_DL_LINKMAP) ||
        found != wanted)
        return nullptr;
    return static_cast<const DravikResourceTable*>(table);
}

static bool sameName(std::string_view a, const char* b)
{
    std::string_view other(b);
    if (a.size() != other.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(other[i])))
            return false;
    }
    return true;
}

std::optional<std::span<const uint8_t>> findResource(ModuleHandle module, std::string_view name,
                                                     std::string_view type)
{
    return findResourceIn(resourceTable(module), name, type);
}

std::optional<std::span<const uint8_t>> findResourceIn(const DravikResourceTable* table,
                                                       std::string_view name, std::string_view type)
{
    if (!table)
        return std::nullopt;
    for (uint32_t i = 0; i < table->count; ++i) {
        const DravikResourceEntry& entry = table->entries[i];
        if (sameName(name, entry.name) && sameName(type, entry.type))
            return std::span<const uint8_t>(entry.data, entry.size);
    }
    return std::nullopt;
}

} // namespace platform
