// The entry points of the wave engine and the file library that the recorder and the player look
// up by name. A set is complete only when every entry point was found; nothing is ever called
// through one that was not.
#pragma once

#include <string>

#include "BrevonFile.h"
#include "BrevonWave.h"
#include "platform/library.h"
#include "wave_file_api_list.h"

#define DRAVIK_ENTRY_FIELD(name) decltype(&::name) name = nullptr;

struct WaveApi {
    DRAVIK_WAVE_ENTRY_POINTS(DRAVIK_ENTRY_FIELD)
};

struct FileApi {
    DRAVIK_FILE_ENTRY_POINTS(DRAVIK_ENTRY_FIELD)
};

#undef DRAVIK_ENTRY_FIELD

// Looks every listed entry point up in a loaded library. When any is missing the table is left
// empty and error names each missing entry point and the library.
bool bindWaveApi(platform::Library& library, WaveApi& api, std::string& error);
bool bindFileApi(platform::Library& library, FileApi& api, std::string& error);

// Brevon.Wave and Brevon.File loaded from the program's folder with every entry point looked up,
// as the recorder and the player each hold them.
struct EngineLibraries {
    platform::Library waveLibrary;
    platform::Library fileLibrary;
    WaveApi wave;
    FileApi file;
    // Both libraries and all their entry points were found; otherwise error says what is missing.
    bool bound = false;
    std::string error;

    // Loads each library unless it is already loaded, then binds both tables.
    bool bind();
};
