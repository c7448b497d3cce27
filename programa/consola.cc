#include "programa/consola.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <QDir>
#include <algorithm>
#include <cerrno>

#include "programa/terminal.h"

namespace programa {

Consola::Consola(QString origen, QString destino, QString carpetaImagenes)
    : origen_(std::move(origen)),
      destino_(std::move(destino)),
      carpeta_(std::move(carpetaImagenes)),
      terminal_(::isatty(STDERR_FILENO) == 1) {}

void Consola::Contar(const generacion::ComprobacionCd& cd) {
    discos_ = cd.cantidad;
    for (const generacion::DiscoComprobado& d : cd.discos)
        total_ += static_cast<int>(d.entradas.size());
}

bool Consola::Completo(const generacion::ComprobacionCd& cd) {
    if (archivosDelDisco_.empty()) {
        Decir(QStringLiteral("CANTIDAD=«%1» no da ningún disco: no se generó ninguna imagen")
                  .arg(cd.textoCantidad));
    }
    for (size_t i = 0; i < archivosDelDisco_.size(); ++i) {
        if (archivosDelDisco_[i] == 0) {
            const int disco = static_cast<int>(i) + 1;
            Decir(QStringLiteral("disco %1 (%2): no se copió ningún archivo; la imagen queda vacía")
                      .arg(disco)
                      .arg(Imagen(disco)));
        }
    }
    if (cd.Completo())
        return true;
    Decir(QStringLiteral(
        "el juego no está completo; «QTL99 --comprobar» dice qué le falta y por qué"));
    return false;
}

void Consola::UnidadesIguales() {
    Fallar(
        QStringLiteral("Seleccione unidades diferentes para el origen y el destino de los "
                       "datos"));
}

void Consola::OrigenSinArchivos() {
    Fallar(
        QStringLiteral("El dispositivo origen, seleccionado no posee los archivos necesarios "
                       "para la generacion de discos. Seleccione otro dispositivo y "
                       "reintente"));
}

void Consola::DestinoOcupado() {
    // Refused before the set starts: the image it is about is the first one.
    if (disco_ == 0) {
        fallo_ = true;
        BorrarBarra();
        Decir(QStringLiteral("disco 1 (%1): La unidad de destino debe estar vacia").arg(Imagen(1)));
        return;
    }
    Fallar(QStringLiteral("La unidad de destino debe estar vacia"));
}

void Consola::NombreNoAdmitido(const QString& nombre, int disco, const QString& motivo) {
    Fallar(QStringLiteral("El nombre del archivo %1 del disco %2 no puede grabarse en un "
                          "diskette: %3")
               .arg(nombre)
               .arg(disco)
               .arg(motivo));
}

void Consola::ErrorSinRemedio(const platform::RuntimeError& error) {
    Fallar(error);
}

bool Consola::PedirDisco(int n) {
    if (!terminal_)
        Linea(QStringLiteral("Disco %1 de %2: %3").arg(n).arg(discos_).arg(Imagen(n)));
    if (salidaRota_)
        return false;
    disco_ = n;
    archivosDelDisco_.push_back(0);
    archivo_.reset();
    return true;
}

bool Consola::DiscoNoVacio() {
    Fallar(QStringLiteral("La unidad de destino debe estar vacia"));
    return false;
}

bool Consola::Reintentar(generacion::Fallo /*fallo*/, const platform::RuntimeError& error) {
    Fallar(error);
    return false;
}

void Consola::Copiando(const QString& nombre) {
    archivo_ = nombre;
    ++empezados_;
    if (!archivosDelDisco_.empty())
        ++archivosDelDisco_.back();
    if (terminal_)
        Barra();
    else
        Linea(QStringLiteral("  ") + nombre);
}

void Consola::Finalizado() {
    Linea(QStringLiteral("Generación de discos Finalizada"));
}

int Consola::MsgBox(const QString& texto, int estilo, const QString& /*titulo*/) {
    Fallar(texto);
    switch (platform::style::ButtonSet(estilo)) {
        case platform::style::kOk:
            return platform::answer::kOk;
        case platform::style::kYesNo:
            return platform::answer::kNo;
        default:
            return platform::answer::kCancel;
    }
}

void Consola::Say(const QString& linea) {
    BorrarBarra();
    Decir(linea);
}

void Consola::Fallar(const platform::RuntimeError& error) {
    Fallar(QString(), &error);
}

void Consola::Fallar(const QString& texto, const platform::RuntimeError* error) {
    fallo_ = true;
    QString lugar;
    if (disco_ > 0) {
        lugar = QStringLiteral("disco %1 (%2)").arg(disco_).arg(Imagen());
        if (archivo_)
            lugar += QStringLiteral(", archivo «%1»").arg(*archivo_);
        lugar += QStringLiteral(": ");
    }
    BorrarBarra();
    if (error == nullptr) {
        Decir(lugar + texto);
        return;
    }
    // A number is said one way, the run-time's words for it, and what the error knows of its
    // cause after them.
    QString linea = lugar + QStringLiteral("error %1: %2").arg(error->number()).arg(error->text());
    if (!error->cause().isEmpty())
        linea += QStringLiteral(" (%1)").arg(error->cause());
    Decir(linea);
}

QString Consola::Imagen(int disco) const {
    return QDir(carpeta_).filePath(QStringLiteral("Disco%1.img").arg(disco > 0 ? disco : disco_));
}

void Consola::Linea(const QString& texto) {
    BorrarBarra();
    Salida(Escribir(stderr, texto + QLatin1Char('\n')));
}

// A pipe whose reader has gone (`2>&1 | head`) takes no more: the set stops at the next disk,
// the ones written whole.
void Consola::Salida(bool escrito) {
    if (!escrito && errno == EPIPE)
        salidaRota_ = true;
}

void Consola::BorrarBarra() {
    if (barra_)
        Salida(Escribir(stderr, QString(), "\r\033[K"));
    barra_ = false;
}

// [#######.............]  12/30  Disco 2 de 3  NOMBRE, cut to the terminal's width.
void Consola::Barra() {
    constexpr int kAncho = 24;
    const int hechos = total_ > 0 ? std::min(kAncho, kAncho * (empezados_ - 1) / total_) : 0;
    QString linea = QStringLiteral("[%1%2] %3/%4  Disco %5 de %6  %7")
                        .arg(QString(hechos, u'#'), QString(kAncho - hechos, u'.'))
                        .arg(empezados_)
                        .arg(total_)
                        .arg(disco_)
                        .arg(discos_)
                        .arg(archivo_.value_or(QString()));
    winsize w{};
    const int columnas =
        ::ioctl(STDERR_FILENO, TIOCGWINSZ, &w) == 0 && w.ws_col > 0 ? w.ws_col : 80;
    linea.truncate(columnas - 1);
    Salida(Escribir(stderr, linea, "\r\033[K"));
    barra_ = true;
}

}  // namespace programa
