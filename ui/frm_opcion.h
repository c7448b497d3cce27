#pragma once

#include <QPixmap>
#include <QPushButton>
#include <QWidget>
#include <array>

#include "app/lib.h"
#include "platform/host.h"

class VentanasTest;

namespace ui {

class Programa;

// A command button in graphical style: its picture centred above its caption, which wraps
// onto more lines when it does not fit.
class BotonGrafico : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// The option window, the hub of the program: Setup, Generar, Visita Guiada and Salir over a
// cover picture.
class FrmOpcion : public QWidget {
    Q_OBJECT
  public:
    explicit FrmOpcion(Programa& programa);
    void Form_Load() {}

    // The handler shared by the control array btOpcion (0 Setup, 1 Generar, 2 Salir).
    void btOpcion_Click(int16_t Index);
    void cmdTutorial_Click();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    friend class ::VentanasTest;  // the window tests check every control against the design

    Programa& programa_;
    Lib::Modulo& lib_;
    platform::Host& host_;
    std::array<BotonGrafico*, 3> btOpcion{};
    BotonGrafico* cmdTutorial;
    QPixmap fondo_;
    bool centrada_ = false;
};

}  // namespace ui
