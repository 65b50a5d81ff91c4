// The media runtime, loaded by name from the program's folder on first use and never freed.
#pragma once

#include "wmvcore/wmvcore.h"

namespace brevon_wma {

// The entry points of the runtime; null members when it or an entry point is missing.
struct Runtime {
    WMCreateProfileManagerFn createProfileManager = nullptr;
    WMCreateWriterFn createWriter = nullptr;
    WMCreateReaderFn createReader = nullptr;
};

const Runtime& runtime();

// HRESULT for a runtime that could not be loaded (the module or an entry point is missing).
constexpr wmv::HRESULT kRuntimeMissing = static_cast<wmv::HRESULT>(0x8007007E);

} // namespace brevon_wma
