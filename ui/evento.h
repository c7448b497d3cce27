#pragma once

#include <functional>

class QAbstractButton;
class QPixmap;
class QString;
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

// One of the windows' pictures, a PNG in the program's resources. Read as PNG and nothing else:
// a picture read by its name's suffix first asks every image plugin whether it reads PNG,
// loading them all before the first window.
QPixmap Dibujo(const QString& recurso);

// Twips to pixels at 15 twips a pixel.
constexpr int Px(int twips) {
    return (twips + 7) / 15;
}

}  // namespace ui
