// Loading our own libraries by full path from the program's folder, and system libraries by
// name, with their entry points looked up by name. A missing library or entry point is reported
// through error(), never called through.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The folder of the running program (where the build puts every library of ours).
std::string programDirectory();
// Where an installed program keeps our libraries, relative to its own folder
// (<prefix>/bin/dravik -> <prefix>/lib/dravik).
inline constexpr const char* kPrivateLibraryFolder = "../lib/dravik";
// That folder for the running program, as a normal path.
std::string privateLibraryDirectory();
// Where an installed program keeps its other files (help pages), relative to its own folder.
inline constexpr const char* kSharedDataFolder = "../share/dravik";
// The folders a library of ours is looked for in, in order: the program's folder, the private
// library folder, the folder of the module asking.
std::vector<std::string> librarySearchFolders();
// The full path of a library of ours in the first of those folders that holds it, or "".
std::string findLibrary(const std::string& name);
// The full path of a file or folder the program carries ("help/home.htm"): beside the program in
// the build, under the shared data folder once installed; "" when neither holds it.
std::string findProgramData(const std::string& relative);
// The folder of the module (program or library) whose code calls this.
std::string thisModuleDirectory();
// The file name of a library of ours: "Brevon.Wave" -> "libBrevon.Wave.so"; names that already
// look like file names are kept.
std::string libraryFileName(const std::string& name);

class Library {
public:
    Library() = default;
    ~Library();
    Library(Library&& other) noexcept;
    Library& operator=(Library&& other) noexcept;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Loads a library of ours ("Brevon.Wave" or "libBrevon.Wave.so") by full path: from the
    // program's folder, then from the installed program's private library folder, then from the
    // folder of the library asking, so that a program kept elsewhere can use our libraries
    // together (findLibrary). A library that is found but cannot be loaded reports why.
    bool load(const std::string& name);
    // Loads a library by full path.
    bool loadPath(const std::string& path);
    // Loads a system library through the system's search path (used for LAME only).
    bool loadSystem(const std::string& soname);
    void unload();

    bool loaded() const { return handle_ != nullptr; }
    void* handle() const { return handle_; }
    const std::string& path() const { return path_; }
    // Why the last load or lookup failed.
    const std::string& error() const { return error_; }

    // Address of an exported symbol, or null (with error() set).
    void* symbol(const char* name);
    template <typename F> F function(const char* name) { return reinterpret_cast<F>(symbol(name)); }

private:
    bool open(const std::string& path, const std::string& shown);

    void* handle_ = nullptr;
    std::string path_;
    std::string error_;
};

} // namespace platform
