#pragma once

#include "app/lib.h"
#include "generation/interlocutor.h"

namespace generacion {

// The progress labels of the generation window.
enum class Etiqueta { lblArchivos, lblCopiando, lblMarco };

// What the boxes need of the generation window itself: its drive lists and labels.
class VentanaGeneracion {
  public:
    virtual ~VentanaGeneracion() = default;
    // The current `Drive` value of drvOrigen / drvDestino ("a:", "d: [QTL99]").
    virtual QString UnidadOrigen() = 0;
    virtual QString UnidadDestino() = 0;
    // lblArchivos.Caption.
    virtual void MostrarArchivo(const QString& nombre) = 0;
    virtual void VisibleEtiqueta(Etiqueta etiqueta, bool visible) = 0;
    // Repaints the window at once.
    virtual void Refresh() = 0;
    // Lets the event loop process what is pending, once.
    virtual void DoEvents() = 0;
    // Closes the window exactly as its "Cerrar" button does.
    virtual void cmdCerrar_Click() = 0;
};

// The drive check and the loop as the windows show them: the message boxes of the design, with
// their beeps, texts, buttons and titles, and the generation window's labels. No widget: the
// boxes are the host's, reached through the module.
class Cajas : public Interlocutor {
  public:
    Cajas(VentanaGeneracion& ventana, Lib::Modulo& lib) : ventana_(ventana), lib_(lib) {}

    QString UnidadOrigen() override { return ventana_.UnidadOrigen(); }
    QString UnidadDestino() override { return ventana_.UnidadDestino(); }
    void UnidadesIguales() override;
    void OrigenSinArchivos() override;
    void DestinoOcupado() override;
    void NombreNoAdmitido(const QString& nombre, int disco, const QString& motivo) override;
    void ErrorSinRemedio(const platform::RuntimeError& error) override;
    bool PedirDisco(int n) override;
    bool DiscoNoVacio() override;
    bool Reintentar(Fallo fallo, const platform::RuntimeError& error) override;
    // lblArchivos, lblCopiando and lblMarco, in that order.
    void Progreso(bool visible) override;
    void Copiando(const QString& nombre) override { ventana_.MostrarArchivo(nombre); }
    void Repintar() override { ventana_.Refresh(); }
    void Atender() override { ventana_.DoEvents(); }
    void Ocupado(bool ocupado) override;
    void Finalizado() override;
    void Terminado() override { ventana_.cmdCerrar_Click(); }

  private:
    // The box says only its number's words: what the error knows of its cause goes to standard
    // error, as a line of its own.
    static void DecirCausa(const platform::RuntimeError& error);
    // A beep, then the box.
    int Avisar(const QString& texto, int estilo, const QString& titulo = Lib::kTitulo);

    VentanaGeneracion& ventana_;
    Lib::Modulo& lib_;
};

}  // namespace generacion
