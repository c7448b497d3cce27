// Val and the 16-bit count on any text: a number, or error 6, nothing else.
#include <cstdint>
#include <cstdlib>

#include "platform/runtime_error.h"
#include "platform/val.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const int16_t n = platform::CInt(platform::Val(text));
        (void)n;
    } catch (const platform::RuntimeError& e) {
        if (e.number() != platform::errors::kOverflow)
            std::abort();
    }
    return 0;
}
