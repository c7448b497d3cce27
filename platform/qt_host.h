#pragma once

// The Qt Widgets implementations of the host's interactive services. Only the process entry
// and the windows include this header.
#include "platform/dialogs.h"

namespace platform {

class QtDialogs : public Dialogs {
  public:
    int MsgBox(const QString& text, int style, const QString& title) override;
    void Beep() override;
};

class QtScreen : public Screen {
  public:
    void SetMousePointer(int pointer) override;
};

}  // namespace platform
