#pragma once

// A shared library opened when one of its calls is first needed rather than at the program's
// start, and kept loaded from then on, as a linked one is: the first window needs neither the
// mount tables nor udev, and a run that never looks at the drives never loads them.
#include <QString>

namespace platform {

class LoadedLibrary {
  public:
    // Opens `soname`; opening it again when it is loaded already costs a lookup.
    explicit LoadedLibrary(const char* soname);
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    // The library's call `name`, of the type `Call` its header declares; nullptr when the
    // library or the call is missing.
    template <typename Call>
    Call Find(const char* name) {
        return reinterpret_cast<Call>(Symbol(name));
    }
    // The library was opened and every call asked for was found.
    bool complete() const { return handle_ != nullptr && !missing_; }
    // Why it is not: the dynamic loader's words for the first thing missing.
    const QString& problem() const { return problem_; }

  private:
    void* Symbol(const char* name);
    void* handle_;
    bool missing_ = false;
    QString problem_;
};

}  // namespace platform

// Declares the member `name`, the call of that name found in the member `library` (declared
// before it), typed as the library's header declares it. `name` is a name, not an expression.
// NOLINTNEXTLINE(bugprone-macro-parentheses)
#define QTL_LIBRARY_CALL(name) decltype(&::name) name = library.Find<decltype(&::name)>(#name)
