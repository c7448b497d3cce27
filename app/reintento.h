#pragma once

#include "platform/runtime_error.h"

namespace Lib {

// Runs one step under an error handler that may offer Retry: `manejador(error)` returns true
// to run the same step again (with every value as it was), false to give up. Returns true when
// the step completed, false when the handler gave up on it.
template <typename Paso, typename Manejador>
bool ConReintento(Paso&& paso, Manejador&& manejador) {
    for (;;) {
        try {
            paso();
            return true;
        } catch (const platform::RuntimeError& error) {
            if (!manejador(error))
                return false;
        }
    }
}

}  // namespace Lib
