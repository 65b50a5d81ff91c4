// Binding the engine's and the file library's entry point tables from their one list.
#include "wave_file_api.h"

namespace {

template <typename F>
void lookUp(platform::Library& library, const char* name, F& entry, std::string& missing)
{
    entry = library.function<F>(name);
    if (!entry)
        missing += (missing.empty() ? "" : ", ") + std::string(name);
}

// Loads the library by name unless the caller loaded one already; false with the reason.
bool ensureLoaded(platform::Library& library, const char* name, std::string& error)
{
    if (library.loaded() || library.load(name))
        return true;
    error = library.error();
    return false;
}

// A table is bound whole or not at all: on any missing entry point every field is null again.
template <typename Api>
bool finish(platform::Library& library, Api& api, const std::string& missing, std::string& error)
{
    if (library.loaded() && missing.empty())
        return true;
    api = Api{};
    error = library.loaded() ? "entry points missing from " + library.path() + ": " + missing
                             : std::string("no library loaded to bind");
    return false;
}

} // namespace

#define DRAVIK_LOOK_UP(name) lookUp(library, #name, api.name, missing);

bool bindWaveApi(platform::Library& library, WaveApi& api, std::string& error)
{
    error.clear();
    std::string missing;
    DRAVIK_WAVE_ENTRY_POINTS(DRAVIK_LOOK_UP)
    return finish(library, api, missing, error);
}

bool bindFileApi(platform::Library& library, FileApi& api, std::string& error)
{
    error.clear();
    std::string missing;
    DRAVIK_FILE_ENTRY_POINTS(DRAVIK_LOOK_UP)
    return finish(library, api, missing, error);
}

#undef DRAVIK_LOOK_UP

bool EngineLibraries::bind()
{
    std::string waveError;
    std::string fileError;
    const bool waveBound = ensureLoaded(waveLibrary, "Brevon.Wave", waveError) &&
                           bindWaveApi(waveLibrary, wave, waveError);
    const bool fileBound = ensureLoaded(fileLibrary, "Brevon.File", fileError) &&
                           bindFileApi(fileLibrary, file, fileError);
    bound = waveBound && fileBound;
    error = !waveBound ? waveError : !fileBound ? fileError : std::string();
    return bound;
}
