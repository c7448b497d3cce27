#include "platform/qt_host.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

namespace platform {

namespace {

struct Boton {
    const char* texto;
    int respuesta;
    QMessageBox::ButtonRole rol;
};

std::vector<Boton> BotonesDe(int conjunto) {
    switch (conjunto) {
        case estilo::kOkCancelar:
            return {{"Aceptar", respuesta::kAceptar, QMessageBox::AcceptRole},
                    {"Cancelar", respuesta::kCancelar, QMessageBox::RejectRole}};
        case estilo::kSiNo:
            return {{"Sí", respuesta::kSi, QMessageBox::YesRole},
                    {"No", respuesta::kNo, QMessageBox::NoRole}};
        case estilo::kReintentarCancelar:
            return {{"Reintentar", respuesta::kReintentar, QMessageBox::AcceptRole},
                    {"Cancelar", respuesta::kCancelar, QMessageBox::RejectRole}};
        default:
            return {{"Aceptar", respuesta::kAceptar, QMessageBox::AcceptRole}};
    }
}

QMessageBox::Icon IconoDe(int icono) {
    switch (icono) {
        case estilo::kCritico:
            return QMessageBox::Critical;
        case estilo::kPregunta:
            return QMessageBox::Question;
        case estilo::kExclamacion:
            return QMessageBox::Warning;
        case estilo::kInformacion:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// A box that can refuse to be closed without an answer (Yes/No).
class Caja : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;
    bool cerrable = true;

  protected:
    void closeEvent(QCloseEvent* event) override {
        if (cerrable) {
            QMessageBox::closeEvent(event);
        } else {
            event->ignore();
        }
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!cerrable && event->key() == Qt::Key_Escape) {
            event->ignore();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
};

}  // namespace

int QtDialogs::MsgBox(const QString& text, int style, const QString& title) {
    Caja caja(IconoDe(style & 0x70), title, text, QMessageBox::NoButton,
              QApplication::activeWindow());
    caja.setWindowModality(Qt::ApplicationModal);
    caja.setTextFormat(Qt::PlainText);  // a path from the settings is shown as it is written
    std::vector<std::pair<QAbstractButton*, int>> botones;
    QAbstractButton* cancelar = nullptr;
    for (const Boton& b : BotonesDe(style & 0x0F)) {
        QPushButton* boton = caja.addButton(QString::fromUtf8(b.texto), b.rol);
        botones.emplace_back(boton, b.respuesta);
        if (b.respuesta == respuesta::kCancelar)
            cancelar = boton;
        if (botones.size() == 1)
            caja.setDefaultButton(boton);
    }
    // Escape and the title-bar close answer Cancel where there is one and OK on an OK-only box;
    // a Yes/No box has no escape button and cannot be closed without an answer.
    if (cancelar != nullptr) {
        caja.setEscapeButton(cancelar);
    } else if (botones.size() == 1) {
        caja.setEscapeButton(botones.front().first);
    } else {
        caja.cerrable = false;
    }
    caja.exec();
    for (const auto& [boton, valor] : botones) {
        if (caja.clickedButton() == boton)
            return valor;
    }
    return cancelar != nullptr ? respuesta::kCancelar : botones.front().second;
}

void QtDialogs::Beep() {
    QApplication::beep();
}

void QtScreen::SetMousePointer(int pointer) {
    // Qt's override cursor is a stack: clear it all, then set the one state wanted.
    while (QApplication::overrideCursor() != nullptr)
        QApplication::restoreOverrideCursor();
    if (pointer == 11)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

}  // namespace platform
