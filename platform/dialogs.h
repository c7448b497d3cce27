#pragma once

#include <QString>

namespace platform {

// Message-box styles: a button set plus an icon.
namespace estilo {
inline constexpr int kOk = 0;
inline constexpr int kOkCancelar = 1;
inline constexpr int kSiNo = 4;
inline constexpr int kReintentarCancelar = 5;
inline constexpr int kCritico = 16;
inline constexpr int kPregunta = 32;
inline constexpr int kExclamacion = 48;
inline constexpr int kInformacion = 64;
}  // namespace estilo

// Message-box answers: the button pressed.
namespace respuesta {
inline constexpr int kAceptar = 1;
inline constexpr int kCancelar = 2;
inline constexpr int kReintentar = 4;
inline constexpr int kSi = 6;
inline constexpr int kNo = 7;
}  // namespace respuesta

// Modal message boxes and the system beep.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // Shows `text` in a modal box titled `title` with the buttons and icon of `style`, the
    // first button being the default, and returns the answer. Escape or the title-bar close
    // answer Cancel where the box has Cancel and OK on an OK-only box; a Yes/No box cannot be
    // closed without an answer. Never raises.
    virtual int MsgBox(const QString& text, int style, const QString& title) = 0;
    // Rings the display's bell. Never raises.
    virtual void Beep() = 0;
};

// The application-wide mouse pointer: 0 default, 11 hourglass. An absolute state: setting 0
// removes the hourglass whatever was set before.
class Screen {
  public:
    virtual ~Screen() = default;
    virtual void SetMousePointer(int pointer) = 0;
};

}  // namespace platform
