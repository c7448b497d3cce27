#pragma once

#include <functional>

class QAbstractButton;
namespace platform {
class Host;
}

namespace ui {

// Runs the code of a window event. A run-time error that no handler caught gets the run-time's
// own report ("Error 'n' en tiempo de ejecución:", critical icon, "Project1") and ends the
// program; nothing is let through into Qt's event dispatch.
void Evento(platform::Host& host, const std::function<void()>& codigo);

// Makes Enter (and keypad Enter) press `boton` while it has the focus, without making it any
// window's default button.
void PulsarConIntro(QAbstractButton* boton);

// Twips to pixels at 15 twips a pixel.
constexpr int Px(int twips) {
    return (twips + 7) / 15;
}

}  // namespace ui
