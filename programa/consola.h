#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "app/lib.h"
#include "generation/comprobacion.h"
#include "generation/interlocutor.h"
#include "platform/dialogs.h"

namespace programa {

// The run shown on a terminal: each disk asked for is taken at once (the drive of images takes
// its image), each file is shown as it is written (a progress bar on a terminal, a line a file
// elsewhere), and whatever stops the set is said on standard error, with the disk, the image,
// the file and the error number it happened at, and ends the run. It is also the boxes and the
// pointer of the host, which the command line never shows: a box is said and answered so that
// nothing goes on.
class Consola : public generacion::Interlocutor,
                public platform::Dialogs,
                public platform::Screen,
                public platform::Notices,
                public Lib::Ventanas {
  public:
    // `origen` and `destino` are the drives of the CD and of the images, whose folder is
    // `carpetaImagenes`.
    Consola(QString origen, QString destino, QString carpetaImagenes);

    // The size of the set, for the progress shown.
    void Contar(const generacion::ComprobacionCd& cd);
    // The run went to its end.
    bool LlegoAlFinal() const { return terminado_ && !fallo_; }
    // After a set that ran to its end: says which disks hold nothing, and whether the set is
    // whole as the check of the CD sees it, so that both end with the same status.
    bool Completo(const generacion::ComprobacionCd& cd);

    // The port of the drive check and the loop.
    QString UnidadOrigen() override { return origen_; }
    QString UnidadDestino() override { return destino_; }
    void UnidadesIguales() override;
    void OrigenSinArchivos() override;
    void DestinoOcupado() override;
    void NombreNoAdmitido(const QString& nombre, int disco, const QString& motivo) override;
    void ErrorSinRemedio(const platform::RuntimeError& error) override;
    bool PedirDisco(int n) override;
    bool DiscoNoVacio() override;
    bool Reintentar(generacion::Fallo fallo, const platform::RuntimeError& error) override;
    void Progreso(bool /*visible*/) override {}
    void Copiando(const QString& nombre) override;
    void Repintar() override {}
    void Atender() override {}
    void Ocupado(bool /*ocupado*/) override {}
    void Finalizado() override;
    void Terminado() override { terminado_ = true; }

    // The host's boxes and pointer, and the windows start-up would show.
    int MsgBox(const QString& texto, int estilo, const QString& titulo) override;
    void Beep() override {}
    void SetMousePointer(int /*pointer*/) override {}
    // The platform's notices: a line of their own, the progress bar cleared first.
    void Say(const QString& linea) override;
    void MostrarOpcion() override {}
    void VisibleEspera(bool /*visible*/) override {}
    void RefrescarGenerar() override {}

  private:
    // Says what stops the set, where it stopped and with which error, and ends the run.
    void Fallar(const QString& texto, const platform::RuntimeError* error = nullptr);
    // A failure with its number: the run-time's words for it, and its cause.
    void Fallar(const platform::RuntimeError& error);
    QString Imagen(int disco = 0) const;
    void Linea(const QString& texto);
    void Salida(bool escrito);
    void BorrarBarra();
    void Barra();

    QString origen_;
    QString destino_;
    QString carpeta_;
    bool terminal_;
    int discos_ = 0;
    int total_ = 0;
    int empezados_ = 0;
    int disco_ = 0;
    std::vector<int> archivosDelDisco_;  // the files shown for each disk asked for
    std::optional<QString> archivo_;
    bool barra_ = false;
    bool terminado_ = false;
    bool fallo_ = false;
    bool salidaRota_ = false;
};

}  // namespace programa
