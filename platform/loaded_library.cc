#include "platform/loaded_library.h"

#include <dlfcn.h>

namespace platform {

LoadedLibrary::LoadedLibrary(const char* soname)
    : handle_(::dlopen(soname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
    // Kept in the loader's words, for whoever tells that the drives it finds are missing.
    if (handle_ == nullptr)
        problem_ = QString::fromLocal8Bit(::dlerror());
}

LoadedLibrary::~LoadedLibrary() {
    if (handle_ != nullptr)
        ::dlclose(handle_);  // it stays loaded (RTLD_NODELETE) for the next to open it
}

void* LoadedLibrary::Symbol(const char* name) {
    if (handle_ == nullptr) {
        missing_ = true;
        return nullptr;
    }
    void* call = ::dlsym(handle_, name);
    if (call == nullptr) {
        if (problem_.isEmpty())
            problem_ = QString::fromLocal8Bit(::dlerror());
        missing_ = true;
    }
    return call;
}

}  // namespace platform
