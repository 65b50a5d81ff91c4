// Library loading through dlopen, by full path for ours.
#include "platform/library.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <utility>

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

bool Library::load(const std::string& name)
{
    const std::string file = libraryFileName(name);
    if (loadPath(programDirectory() + "/" + file))
        return true;
    std::string firstError = error_;
    const std::string beside = thisModuleDirectory();
    if (beside != programDirectory() && loadPath(beside + "/" + file))
        return true;
    error_ = firstError;
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
