// A library the platform tests load by name.
#include "platform/export.h"

DRAVIK_EXPORT int PluginAnswer(int x)
{
    return x * 2 + 1;
}
