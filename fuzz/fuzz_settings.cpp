// The settings file parser: every value of the table read from the input as the store's file,
// then one value written, which must read back from the rewritten file.
#include <cstdlib>

#include "fuzz_input.h"
#include "settings/settings_store.h"
#include "settings/settings_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz::writeInput(data, size, "Dravik.ini");
    {
        SettingsStore store(path, "1.0", "/home/fuzz");
        size_t sum = 0;
        for (const settings::Value* value : settings::installOrder())
            sum += static_cast<size_t>(store.readInt(*value)) + store.readString(*value).size();
        (void)sum;
        if (!store.writeInt(settings::SessionNum.name, 1234))
            return 0; // a file that cannot be rewritten says so
    }
    SettingsStore reread(path, "1.0", "/home/fuzz");
    if (reread.readInt(settings::SessionNum.name, 0) != 1234)
        std::abort();
    return 0;
}
