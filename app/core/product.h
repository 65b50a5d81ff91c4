// The product's name and version text. The version text also names the settings store's section.
#pragma once

namespace product {

inline constexpr const char* kName = "Dravik";
inline constexpr const char* kVersionText = "1.0";
// Organisation and application under which the settings store lives.
inline constexpr const char* kStoreOrganization = "Brevon";
inline constexpr const char* kStoreApplication = "Dravik";

} // namespace product
