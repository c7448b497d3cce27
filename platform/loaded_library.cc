#include "platform/loaded_library.h"

#include <dlfcn.h>

#include <cstdio>

namespace platform {

LoadedLibrary::LoadedLibrary(const char* soname)
    : handle_(::dlopen(soname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
    // Said, as the dynamic linker would have said it at the start: without it the drives that
    // it finds are missing.
    if (handle_ == nullptr)
        std::fprintf(stderr, "QTL99: %s\n", ::dlerror());
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
        std::fprintf(stderr, "QTL99: %s\n", ::dlerror());
        missing_ = true;
    }
    return call;
}

}  // namespace platform
