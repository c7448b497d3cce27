#include "platform/qt_host.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <vector>

namespace platform {

namespace {

struct Button {
    const char* text;
    int answer;
    QMessageBox::ButtonRole role;
};

std::vector<Button> ButtonsOf(int buttonSet) {
    switch (buttonSet) {
        case style::kOkCancel:
            return {{"Aceptar", answer::kOk, QMessageBox::AcceptRole},
                    {"Cancelar", answer::kCancel, QMessageBox::RejectRole}};
        case style::kYesNo:
            return {{"Sí", answer::kYes, QMessageBox::YesRole},
                    {"No", answer::kNo, QMessageBox::NoRole}};
        case style::kRetryCancel:
            return {{"Reintentar", answer::kRetry, QMessageBox::AcceptRole},
                    {"Cancelar", answer::kCancel, QMessageBox::RejectRole}};
        default:
            return {{"Aceptar", answer::kOk, QMessageBox::AcceptRole}};
    }
}

QMessageBox::Icon IconOf(int icon) {
    switch (icon) {
        case style::kCritical:
            return QMessageBox::Critical;
        case style::kQuestion:
            return QMessageBox::Question;
        case style::kExclamation:
            return QMessageBox::Warning;
        case style::kInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// A box that can refuse to be closed without an answer (Yes/No).
class Box : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;
    bool closable = true;

  protected:
    void closeEvent(QCloseEvent* event) override {
        if (closable) {
            QMessageBox::closeEvent(event);
        } else {
            event->ignore();
        }
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!closable && event->key() == Qt::Key_Escape) {
            event->ignore();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
};

}  // namespace

int QtDialogs::MsgBox(const QString& text, int style, const QString& title) {
    Box box(IconOf(style::Icon(style)), title, text, QMessageBox::NoButton,
            QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);  // a path from the settings is shown as it is written
    std::vector<std::pair<QAbstractButton*, int>> buttons;
    QAbstractButton* cancel = nullptr;
    for (const Button& b : ButtonsOf(style::ButtonSet(style))) {
        QPushButton* button = box.addButton(QString::fromUtf8(b.text), b.role);
        buttons.emplace_back(button, b.answer);
        if (b.answer == answer::kCancel)
            cancel = button;
        if (buttons.size() == 1)
            box.setDefaultButton(button);
    }
    // Escape and the title-bar close answer Cancel where there is one and OK on an OK-only box;
    // a Yes/No box has no escape button and cannot be closed without an answer.
    if (cancel != nullptr) {
        box.setEscapeButton(cancel);
    } else if (buttons.size() == 1) {
        box.setEscapeButton(buttons.front().first);
    } else {
        box.closable = false;
    }
    box.exec();
    for (const auto& [button, value] : buttons) {
        if (box.clickedButton() == button)
            return value;
    }
    return cancel != nullptr ? answer::kCancel : buttons.front().second;
}

void QtDialogs::Beep() {
    QApplication::beep();
}

void QtScreen::SetMousePointer(int state) {
    // Asked from the disk-set loop's thread (the hourglass while the disk service works): set
    // on the window's, in the order asked.
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [this, state] { SetMousePointer(state); },
            Qt::QueuedConnection);
        return;
    }
    // Qt's override cursor is a stack: clear it all, then set the one state wanted.
    while (QApplication::overrideCursor() != nullptr)
        QApplication::restoreOverrideCursor();
    if (state == pointer::kHourglass)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

}  // namespace platform
