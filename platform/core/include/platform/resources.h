// Module resources: named, typed blobs that a module (the program or a library) carries, compiled
// into it at build time from files in the repository, and found through the module's handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

extern "C" {
// The table that the build generates for a module that carries resources.
struct DravikResourceEntry {
    const char* type;
    const char* name;
    const unsigned char* data;
    size_t size;
};
struct DravikResourceTable {
    uint32_t count;
    const DravikResourceEntry* entries;
};
}

namespace platform {

// The exported name of a module's resource table.
inline constexpr const char* kResourceTableSymbol = "dravik_resource_table";

using ModuleHandle = void*;

// The running program's own module.
ModuleHandle programModule();

// The resource of that name and type in that module (names and types compare without regard to
// case, as resource names do); empty when the module carries no such resource.
std::optional<std::span<const uint8_t>> findResource(ModuleHandle module, std::string_view name,
                                                     std::string_view type);

// The same in a table the caller holds itself (one made with a symbol of its own).
std::optional<std::span<const uint8_t>>
findResourceIn(const DravikResourceTable* table, std::string_view name, std::string_view type);

// The module's own table, never one of a library it depends on; null when it carries none.
const DravikResourceTable* resourceTable(ModuleHandle module);

} // namespace platform
