#include "platform/loaded_library.h"

#include <dlfcn.h>

namespace platform {

LoadedLibrary::LoadedLibrary(const char* soname)
    : handle_(::dlopen(soname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {}

LoadedLibrary::~LoadedLibrary() {
    if (handle_ != nullptr)
        ::dlclose(handle_);  // it stays loaded (RTLD_NODELETE) for the next to open it
}

void* LoadedLibrary::Symbol(const char* name) {
    void* call = handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
    missing_ |= call == nullptr;
    return call;
}

}  // namespace platform
