// Loading the media runtime once per process.
#include "runtime.h"

#include "platform/library.h"

namespace brevon_wma {

const Runtime& runtime()
{
    static const Runtime loaded = [] {
        // Kept for the life of the process: the runtime's objects may outlive any one user.
        static platform::Library library;
        Runtime r;
        if (library.load("wmvcore")) {
            r.createProfileManager =
                library.function<WMCreateProfileManagerFn>("WMCreateProfileManager");
            r.createWriter = library.function<WMCreateWriterFn>("WMCreateWriter");
            r.createReader = library.function<WMCreateReaderFn>("WMCreateReader");
        }
        return r;
    }();
    return loaded;
}

} // namespace brevon_wma
