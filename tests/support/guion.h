#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>

#include "app/lib.h"
#include "generation/generacion.h"
#include "platform/dialogs.h"

namespace qtltest {

// Message boxes and beeps answered from a script and recorded as a transcript:
// "Beep", "MsgBox 65 [Quintarel] Inserte el diskette número 1 en la unidad".
class DialogosGuionados : public platform::Dialogs {
  public:
    // The next box gets `respuesta`; `antes` runs first (as the user would act before answering).
    DialogosGuionados& Responder(int respuesta, std::function<void()> antes = {});
    int MsgBox(const QString& text, int style, const QString& title) override;
    void Beep() override { transcripcion << QStringLiteral("Beep"); }

    QStringList transcripcion;
    bool guionAgotado = false;  // a box came with no answer left in the script
    // Answers the boxes that come after the script, when set (text, style -> answer).
    std::function<int(const QString&, int)> respondedor;

  private:
    std::deque<std::pair<int, std::function<void()>>> guion_;
};

// A transcript line for a box, as DialogosGuionados records it.
QString Caja(int style, const QString& title, const QString& text);

class PantallaFalsa : public platform::Screen {
  public:
    void SetMousePointer(int pointer) override {
        puntero = pointer;
        cambios << pointer;
    }
    int puntero = 0;
    QList<int> cambios;
};

// The generation window, with no window at all.
class VentanaFalsa : public generacion::VentanaGeneracion, public Lib::Ventanas {
  public:
    QString UnidadOrigen() override { return origen; }
    QString UnidadDestino() override { return destino; }
    void MostrarArchivo(const QString& nombre) override {
        archivo = nombre;
        archivosMostrados << nombre;
    }
    void VisibleEtiqueta(generacion::Etiqueta etiqueta, bool visible) override {
        etiquetas[etiqueta] = visible;
    }
    void Refresh() override { ++refrescos; }
    void DoEvents() override {
        if (alProcesarEventos)
            alProcesarEventos();
    }
    void cmdCerrar_Click() override { ++cerrada; }
    void MostrarOpcion() override { ++opcionMostrada; }
    void VisibleEspera(bool visible) override { espera = visible; }
    void RefrescarGenerar() override { ++refrescos; }

    bool ProgresoVisible() const;
    bool ProgresoOculto() const;

    QString origen = QStringLiteral("d: [QTL99]");
    QString destino = QStringLiteral("a:");
    QString archivo;
    QStringList archivosMostrados;
    std::map<generacion::Etiqueta, bool> etiquetas;
    bool espera = false;
    int refrescos = 0;
    int cerrada = 0;
    int opcionMostrada = 0;
    std::function<void()> alProcesarEventos;
};

// Connects the shared services to the fakes for the life of a test.
class ServiciosDePrueba {
  public:
    ServiciosDePrueba() { Lib::Conectar({&ventana, &dialogos, &pantalla}); }
    ~ServiciosDePrueba() { Lib::Conectar({}); }
    ServiciosDePrueba(const ServiciosDePrueba&) = delete;
    ServiciosDePrueba& operator=(const ServiciosDePrueba&) = delete;

    DialogosGuionados dialogos;
    PantallaFalsa pantalla;
    VentanaFalsa ventana;
};

}  // namespace qtltest
