#pragma once

#include <QWidget>

namespace ui {

// The option window, the hub of the program.
class FrmOpcion : public QWidget {
    Q_OBJECT
public:
    FrmOpcion();
    void Form_Load() {}

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace ui
