#pragma once

#include <QString>
#include <cstdio>

#include "platform/dialogs.h"

namespace programa {

// The platform's notices as the windowed program and the menu launcher say them: each a line of
// standard error under the program's name.
class Avisos : public platform::Notices {
  public:
    void Say(const QString& linea) override {
        std::fprintf(stderr, "QTL99: %s\n", qPrintable(linea));
    }
};

}  // namespace programa
