// Library loading through dlopen, by full path for ours.
#include "platform/library.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <utility>
#include <vector>

namespace platform {

std::string programDirectory()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    std::string exe(path, static_cast<size_t>(n));
    auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

std::string thisModuleDirectory()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&thisModuleDirectory), &info) || !info.dli_fname)
        return programDirectory();
    std::string file = info.dli_fname;
    auto slash = file.rfind('/');
    // A program started from its own folder may be known by a bare name.
    return slash == std::string::npos ? programDirectory() : file.substr(0, slash);
}

std::string privateLibraryDirectory()
{
    return (std::filesystem::path(programDirectory()) / kPrivateLibraryFolder)
        .lexically_normal()
        .string();
}

std::string libraryFileName(const std::string& name)
{
    if (name.find(".so") != std::string::npos)
        return name;
    return "lib" + name + ".so";
}

Library::~Library()
{
    unload();
}

Library::Library(Library&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), path_(std::move(other.path_)),
      error_(std::move(other.error_))
{
}

Library& Library::operator=(Library&& other) noexcept
{
    if (this != &other) {
        unload();
        handle_ = std::exchange(other.handle_, nullptr);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
    }
    return *this;
}

std::vector<std::string> librarySearchFolders()
{
    // The build keeps everything in the program's folder; an installed program keeps its
    // libraries in the private folder; a program kept elsewhere may still use ours together.
    std::vector<std::string> folders = {programDirectory(), privateLibraryDirectory()};
    const std::string beside = thisModuleDirectory();
    if (std::find(folders.begin(), folders.end(), beside) == folders.end())
        folders.push_back(beside);
    return folders;
}

std::string findLibrary(const std::string& name)
{
    const std::string file = libraryFileName(name);
    std::error_code ignored;
    for (const std::string& folder : librarySearchFolders()) {
        std::string path = folder + "/" + file;
        if (std::filesystem::is_regular_file(path, ignored))
            return path;
    }
    return {};
}

std::string findProgramData(const std::string& relative)
{
    std::error_code ignored;
    for (const char* folder : {".", kSharedDataFolder}) {
        auto path =
            (std::filesystem::path(programDirectory()) / folder / relative).lexically_normal();
        if (std::filesystem::exists(path, ignored))
            return path.string();
    }
    return {};
}

bool Library::load(const std::string& name)
{
    const std::string path = findLibrary(name);
    if (!path.empty())
        return loadPath(path);
    unload();
    error_ = "cannot load " + libraryFileName(name) + ": not found in " + programDirectory() +
             " nor in " + privateLibraryDirectory();
    return false;
}

bool Library::loadPath(const std::string& path)
{
    return open(path, path);
}

bool Library::loadSystem(const std::string& soname)
{
    return open(soname, soname);
}

bool Library::open(const std::string& path, const std::string& shown)
{
    unload();
    dlerror();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error_ = "cannot load " + shown + (why ? std::string(": ") + why : std::string());
        return false;
    }
    path_ = path;
    error_.clear();
    return true;
}

void Library::unload()
{
    if (handle_) {
        dlclose(handle_);
        handle_ = nullptr;
    }
    path_.clear();
}

void* Library::symbol(const char* name)
{
    if (!handle_) {
        error_ = std::string("no library loaded to look up ") + name;
        return nullptr;
    }
    dlerror();
    void* address = dlsym(handle_, name);
    if (!address) {
        error_ = "entry point " + std::string(name) + " not found in " + path_;
        return nullptr;
    }
    return address;
}

} // namespace platform
