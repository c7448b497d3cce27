#include "ui/evento.h"

#include <QAbstractButton>
#include <QImageReader>
#include <QKeyEvent>
#include <QPixmap>
#include <cstdio>
#include <exception>

#include "app/lib.h"
#include "platform/host.h"
#include "platform/runtime_error.h"

namespace ui {

namespace {
// The status of a program ended by an internal error: never that of a success.
constexpr int kErrorInterno = 70;
}  // namespace

void Evento(platform::Host& host, const std::function<void()>& codigo) {
    try {
        codigo();
    } catch (const platform::RuntimeError& error) {
        if (!error.cause().isEmpty())
            std::fprintf(stderr, "QTL99: %s\n", qPrintable(error.cause()));
        host.dialogs().MsgBox(QStringLiteral("Error '%1' en tiempo de ejecución:\n\n%2")
                                  .arg(error.number())
                                  .arg(error.text()),
                              platform::style::kOk + platform::style::kCritical,
                              Lib::kTituloAplicacion);
        host.processes().End(0);
    } catch (const std::exception& e) {
        // Not a run-time error (out of memory and the like): say so and end, never crash.
        std::fprintf(stderr, "QTL99: error interno: %s\n", e.what());
        host.processes().End(kErrorInterno);
    } catch (...) {
        // Whatever else was thrown must not cross Qt's event dispatch either.
        std::fprintf(stderr, "QTL99: error interno\n");
        host.processes().End(kErrorInterno);
    }
}

namespace {
// Enter and keypad Enter press the button that has the focus, as Space does.
class IntroPulsa : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* objeto, QEvent* evento) override {
        if (evento->type() != QEvent::KeyPress)
            return false;
        const auto* tecla = static_cast<QKeyEvent*>(evento);
        if (tecla->key() != Qt::Key_Return && tecla->key() != Qt::Key_Enter)
            return false;
        if (!tecla->isAutoRepeat())
            static_cast<QAbstractButton*>(objeto)->click();
        return true;
    }
};
}  // namespace

void PulsarConIntro(QAbstractButton* boton) {
    boton->installEventFilter(new IntroPulsa(boton));
}

QPixmap Dibujo(const QString& recurso) {
    QImageReader lector(recurso, "png");
    lector.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(lector.read());
}

}  // namespace ui
