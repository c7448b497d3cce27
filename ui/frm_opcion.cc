#include "ui/frm_opcion.h"

#include <QCloseEvent>

#include "ui/ventanas.h"

namespace ui {

namespace {
constexpr int Px(int twips) { return twips / 15; }
}  // namespace

FrmOpcion::FrmOpcion() {
    setWindowTitle(QStringLiteral("QTL99"));
    resize(Px(5295), Px(5280));
}

// Closing by the title bar unloads the window; with nothing else loaded the program ends.
void FrmOpcion::closeEvent(QCloseEvent* event) {
    event->ignore();
    frmOpcion.Unload();
}

}  // namespace ui
