#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "app/lib.h"
#include "generation/generacion.h"
#include "platform/host.h"
#include "ui/drive_list_box.h"

class VentanasTest;

namespace ui {

class Programa;

// The generation window: the user picks the source and destination drives and starts the
// disk set. Its drive check and copy loop live in generacion::Generacion.
class FrmGenerar : public QWidget, public generacion::VentanaGeneracion {
    Q_OBJECT
  public:
    explicit FrmGenerar(Programa& programa);

    // Sets the default drives: the program's drive as source, a: as destination.
    void Form_Load();
    void cmdComenzar_Click();
    void cmdCerrar_Click() override;

    // The window side of the disk-set loop.
    QString UnidadOrigen() override { return drvOrigen->Drive(); }
    QString UnidadDestino() override { return drvDestino->Drive(); }
    void MostrarArchivo(const QString& nombre) override { lblArchivos->setText(nombre); }
    void VisibleEtiqueta(generacion::Etiqueta etiqueta, bool visible) override;
    void Refresh() override { repaint(); }
    // A run is on a thread of its own: this window's thread attends its desktop by itself.
    void DoEvents() override {}

    // The busy indication's wait label.
    void VisibleEspera(bool visible) { lblEspere->setVisible(visible); }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    friend class ::VentanasTest;  // the window tests check every control against the design

    Programa& programa_;
    Lib::Modulo& lib_;
    platform::Host& host_;
    // Controls, in tab order, with the names of the design.
    DriveListBox* drvOrigen;
    DriveListBox* drvDestino;
    QPushButton* cmdComenzar;
    QPushButton* cmdCerrar;
    QGroupBox* Frame1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* lblArchivos;
    QLabel* lblCopiando;
    QLabel* lblMarco;
    QLabel* Picture1;
    QLabel* Picture2;
    QLabel* Label4;
    QLabel* lblEspere;

    bool generando_ = false;  // a run of Comenzar is under way, on a thread of its own
};

}  // namespace ui
