#pragma once

#include <QString>
#include <cstdio>

#include "platform/dialogs.h"

namespace programa {

// The platform's notices as the windowed program and the menu launcher say them: each a line of
// standard error under the program's name, a line said again right after itself said once.
class Avisos : public platform::Notices {
  public:
    void Say(const QString& linea) override {
        if (linea == ultima_)
            return;
        ultima_ = linea;
        std::fprintf(stderr, "QTL99: %s\n", qPrintable(linea));
    }

  private:
    QString ultima_;
};

}  // namespace programa
