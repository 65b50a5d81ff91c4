// A stand-in for Brevon.Wave that exports every listed entry point but WaveInGetGapCount, which
// it exports under another name: the binder must refuse it and say which one is missing.
#include "platform/export.h"
#include "wave_file_api_list.h"

#define WaveInGetGapCount WaveInGetGapCountRenamed
#define DRAVIK_STUB(name)                                                                          \
    DRAVIK_EXPORT void name() {}

DRAVIK_WAVE_ENTRY_POINTS(DRAVIK_STUB)
