// The command line: the same generation loop and drives as the windows, with a terminal in
// place of the generation window and of the message boxes. Nothing here needs a display.
#include "programa/linea_de_ordenes.h"

#include <getopt.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "app/lib.h"
#include "generation/comprobacion.h"
#include "generation/generacion.h"
#include "platform/dialogs.h"
#include "platform/host.h"
#include "platform/runtime_error.h"

namespace programa {

namespace {

namespace style = platform::style;
namespace answer = platform::answer;

// The set is read from the CD as drive d: and written as images to drive a:.
const QString kOrigen = QStringLiteral("d:");
const QString kDestino = QStringLiteral("a:");

const char kUso[] = "Uso: QTL99 [--imagenes CARPETA | --comprobar [--json]] [--cd CARPETA]\n";

// Writes `texto` after the terminal's own `control` sequence; a control character in the text
// (a CD's file name may carry an escape sequence) is shown as \xNN, never sent to the terminal
// raw. False when the write failed: a full or closed output, a pipe whose reader has gone.
bool Escribir(FILE* salida, const QString& texto, const char* control = "") {
    QString visible;
    visible.reserve(texto.size());
    for (const QChar c : texto) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\n') || (u >= 0x7F && u < 0xA0))
            visible += QStringLiteral("\\x%1").arg(static_cast<int>(u), 2, 16, QLatin1Char('0'));
        else
            visible += c;
    }
    const bool escrito = std::fputs(control, salida) >= 0 &&
                         std::fputs(visible.toLocal8Bit().constData(), salida) >= 0;
    return std::fflush(salida) == 0 && escrito;
}

void Decir(const QString& texto) {
    Escribir(stderr, QStringLiteral("QTL99: ") + texto + QLatin1Char('\n'));
}

int MalUso(const QString& texto) {
    Decir(texto);
    std::fputs(kUso, stderr);
    Escribir(stderr, QStringLiteral("Pruebe «QTL99 --help» para más información.\n"));
    return 2;
}

bool Ayuda() {
    if (!Escribir(stdout, QString::fromLatin1(kUso)))
        return false;
    return Escribir(
        stdout,
        QStringLiteral(
            "Sin opciones, abre la ventana del programa.\n"
            "\n"
            "  --imagenes CARPETA  escribe el juego de disquetes del CD como imágenes Disco1.img,\n"
            "                      Disco2.img... en CARPETA (la crea si falta), sin ventana\n"
            "  --comprobar         comprueba el Archivos.ini del CD: qué copiará cada disco, qué "
            "no,\n"
            "                      qué falta y si cabe en un disquete de 1,44 MB\n"
            "      --json          el informe de --comprobar en JSON\n"
            "  --cd CARPETA        el CD está en CARPETA (sin ella, la carpeta del programa)\n"
            "  -h, --help          muestra esta ayuda y termina\n"
            "  -V, --version       muestra la versión y termina\n"
            "\n"
            "Estado de salida: 0 hecho (o el juego se generaría completo), 1 falló (o no se\n"
            "generaría completo), 2 uso incorrecto.\n"));
}

// The host of the command line: this machine's drives and boxes, with the CD's folder as
// the program folder, so that the settings are read from the CD as when it runs from there.
class AnfitrionDelCd : public platform::Host {
  public:
    AnfitrionDelCd(platform::Host& base, QString carpeta)
        : base_(base), carpeta_(std::move(carpeta)) {}
    platform::DriveTable Drives() override { return base_.Drives(); }
    QString ProgramFolder() override { return carpeta_; }
    platform::Dialogs& dialogs() override { return base_.dialogs(); }
    platform::Screen& screen() override { return base_.screen(); }
    platform::Processes& processes() override { return base_.processes(); }

  private:
    platform::Host& base_;
    QString carpeta_;
};

// The generation window and the message boxes, on a terminal: the prompt for each disk is
// answered by itself (the drive of images takes the disk's image), each file is shown as it is
// written, and a box that reports a failure is said on standard error and answered so that the
// run ends (Cancel where the box has it).
class Consola : public platform::Dialogs,
                public platform::Screen,
                public Lib::Ventanas,
                public generacion::VentanaGeneracion {
  public:
    explicit Consola(QString carpetaImagenes)
        : carpeta_(std::move(carpetaImagenes)), terminal_(::isatty(STDERR_FILENO) == 1) {}

    // The size of the set, for the progress shown.
    void Contar(const generacion::ComprobacionCd& cd) {
        discos_ = cd.cantidad;
        for (const generacion::DiscoComprobado& d : cd.discos)
            total_ += static_cast<int>(d.entradas.size());
    }

    bool Terminado() const { return terminado_ && !fallo_; }

    // After a set that ran to its end: says which disks hold nothing, and whether the set is
    // whole as the check of the CD sees it, so that both end with the same status.
    bool Completo(const generacion::ComprobacionCd& cd) {
        if (archivosDelDisco_.empty()) {
            Decir(QStringLiteral("CANTIDAD=«%1» no da ningún disco: no se generó ninguna imagen")
                      .arg(cd.textoCantidad));
        }
        for (size_t i = 0; i < archivosDelDisco_.size(); ++i) {
            if (archivosDelDisco_[i] == 0) {
                const int disco = static_cast<int>(i) + 1;
                Decir(QStringLiteral(
                          "disco %1 (%2): no se copió ningún archivo; la imagen queda vacía")
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

    int MsgBox(const QString& texto, int estilo, const QString& /*titulo*/) override {
        if (estilo == style::kOkCancel + style::kInformation &&
            texto.startsWith(QStringLiteral("Inserte el diskette número "))) {
            if (!terminal_)
                Linea(QStringLiteral("Disco %1 de %2: %3")
                          .arg(disco_ + 1)
                          .arg(discos_)
                          .arg(Imagen(disco_ + 1)));
            if (salidaRota_)
                return answer::kCancel;
            ++disco_;
            archivosDelDisco_.push_back(0);
            archivo_.reset();
            return answer::kOk;
        }
        if (texto == QStringLiteral("Generación de discos Finalizada")) {
            Linea(texto);
            return answer::kOk;
        }
        // Every other box reports what stops the set: said, and the run ends.
        fallo_ = true;
        QString lugar;
        if (disco_ > 0) {
            lugar = QStringLiteral("disco %1 (%2)").arg(disco_).arg(Imagen());
            if (archivo_)
                lugar += QStringLiteral(", archivo «%1»").arg(*archivo_);
            lugar += QStringLiteral(": ");
        } else if (texto == QStringLiteral("La unidad de destino debe estar vacia")) {
            lugar = QStringLiteral("disco 1 (%1): ").arg(Imagen(1));  // refused before starting
        }
        if (error_)
            lugar += QStringLiteral("error %1: ").arg(*error_);
        error_.reset();
        BorrarBarra();
        Decir(lugar + texto);
        switch (style::ButtonSet(estilo)) {
            case style::kOk:
                return answer::kOk;
            case style::kYesNo:
                return answer::kNo;
            default:
                return answer::kCancel;
        }
    }
    void Beep() override {}
    void SetMousePointer(int /*pointer*/) override {}

    void MostrarOpcion() override {}
    void VisibleEspera(bool /*visible*/) override {}
    void RefrescarGenerar() override {}

    QString UnidadOrigen() override { return kOrigen; }
    QString UnidadDestino() override { return kDestino; }
    void MostrarArchivo(const QString& nombre) override {
        archivo_ = nombre;
        ++empezados_;
        if (!archivosDelDisco_.empty())
            ++archivosDelDisco_.back();
        if (terminal_)
            Barra();
        else
            Linea(QStringLiteral("  ") + nombre);
    }
    void VisibleEtiqueta(generacion::Etiqueta /*etiqueta*/, bool /*visible*/) override {}
    void Refresh() override {}
    void DoEvents() override {}
    void cmdCerrar_Click() override { terminado_ = true; }
    void AvisarError(const platform::RuntimeError& error) override { error_ = error.number(); }

  private:
    QString Imagen(int disco = 0) const {
        return QDir(carpeta_).filePath(
            QStringLiteral("Disco%1.img").arg(disco > 0 ? disco : disco_));
    }
    void Linea(const QString& texto) {
        BorrarBarra();
        Salida(Escribir(stderr, texto + QLatin1Char('\n')));
    }
    // A pipe whose reader has gone (`2>&1 | head`) takes no more: the set stops at the next
    // disk, the ones written whole.
    void Salida(bool escrito) {
        if (!escrito && errno == EPIPE)
            salidaRota_ = true;
    }
    void BorrarBarra() {
        if (barra_)
            Salida(Escribir(stderr, QString(), "\r\033[K"));
        barra_ = false;
    }
    // [#######.............]  12/30  Disco 2 de 3  NOMBRE, cut to the terminal's width.
    void Barra() {
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

    QString carpeta_;
    bool terminal_;
    int discos_ = 0;
    int total_ = 0;
    int empezados_ = 0;
    int disco_ = 0;
    std::vector<int> archivosDelDisco_;  // the files shown for each disk asked for
    std::optional<QString> archivo_;
    std::optional<int> error_;
    bool barra_ = false;
    bool terminado_ = false;
    bool fallo_ = false;
    bool salidaRota_ = false;
};

// A folder given on the command line, absolute; empty (said) when it cannot be a drive.
QString CarpetaDeUnidad(const QString& dada, bool crear) {
    QString carpeta = QDir::cleanPath(QDir::current().absoluteFilePath(dada));
    if (carpeta.contains(u';') || carpeta.back().isSpace()) {
        Decir(QStringLiteral("la carpeta «%1» no puede ser una unidad (lleva «;» o acaba en "
                             "blanco)")
                  .arg(dada));
        return {};
    }
    const QFileInfo info(carpeta);
    if (crear && !info.exists() && !QDir().mkpath(carpeta)) {
        Decir(QStringLiteral("no se pudo crear la carpeta «%1»").arg(dada));
        return {};
    }
    if (!QFileInfo(carpeta).isDir()) {
        Decir(QStringLiteral("«%1» no es una carpeta").arg(dada));
        return {};
    }
    return carpeta;
}

QString Nombre(const QString& nombre) {
    return QStringLiteral("«%1»").arg(nombre);
}

// The report of a check, for people; false when it could not be written.
bool Informe(const QString& carpetaCd, const generacion::ComprobacionCd& cd) {
    QString t = QStringLiteral("CD: %1\n").arg(carpetaCd);
    if (!cd.hayArchivoIni)
        t += QStringLiteral("NO HAY Archivos.ini en la raíz del CD: no se generaría nada\n");
    t += QStringLiteral("CANTIDAD=%1: %2 discos; DiskPath=%3\n")
             .arg(Nombre(cd.textoCantidad), QString::number(cd.cantidad), Nombre(cd.prefijo));
    if (cd.errorCantidad != 0) {
        t += QStringLiteral("CANTIDAD: error %1: %2\n")
                 .arg(cd.errorCantidad)
                 .arg(platform::StandardText(cd.errorCantidad));
    } else if (cd.cantidad < 1) {
        t += QStringLiteral("CANTIDAD no da ningún disco: no se generaría ninguno\n");
    }
    for (const generacion::DiscoComprobado& d : cd.discos) {
        t += QStringLiteral("Disco %1 (%2):\n").arg(d.numero).arg(d.carpeta);
        if (cd.discosSinLista.contains(d.numero))
            t += QStringLiteral("  DISCOS no tiene la clave Disco%1\n").arg(d.numero);
        if (d.entradas.isEmpty())
            t += QStringLiteral("  NO COPIA NINGÚN ARCHIVO: el disco se pide y queda vacío\n");
        for (const generacion::EntradaComprobada& e : d.entradas) {
            if (e.error != 0) {
                t += QStringLiteral("  %1: %2 (error %3: %4)\n")
                         .arg(Nombre(e.nombre),
                              e.enCarpeta ? QStringLiteral("NO SE COPIA: va a una carpeta del "
                                                           "disquete, que no tiene ninguna")
                              : e.error == platform::errors::kFileNotFound ||
                                      e.error == platform::errors::kPathNotFound
                                  ? QStringLiteral("FALTA EN EL CD")
                                  : QStringLiteral("NO SE PUEDE COPIAR DEL CD"),
                              QString::number(e.error), platform::StandardText(e.error));
            } else if (!e.motivoFat.isEmpty()) {
                t += QStringLiteral("  %1: NOMBRE QUE UN DISQUETE FAT NO ADMITE: %2\n")
                         .arg(Nombre(e.nombre), e.motivoFat);
            } else {
                t += QStringLiteral("  %1: se copia, %2 bytes\n")
                         .arg(Nombre(e.nombre), QString::number(e.bytes));
            }
        }
        if (!d.sinComa.isEmpty())
            t += QStringLiteral("  %1: NO SE COPIA: le falta la coma final\n")
                     .arg(Nombre(d.sinComa));
        for (const QString& nombre : d.cortados) {
            t += QStringLiteral(
                     "  %1: NO SE COPIA: queda fuera del límite de 254 caracteres de "
                     "la lista\n")
                     .arg(Nombre(nombre));
        }
        t += QStringLiteral(
                 "  ocupa %1 de %2 grupos de %3 bytes y %4 de %5 entradas de la raíz: "
                 "%6\n")
                 .arg(d.grupos)
                 .arg(generacion::kGruposDelDisquete)
                 .arg(generacion::kBytesPorGrupo)
                 .arg(d.entradasRaiz)
                 .arg(generacion::kEntradasDeLaRaiz)
                 .arg(d.Cabe() ? QStringLiteral("cabe en un disquete de 1,44 MB")
                               : QStringLiteral("NO CABE EN UN DISQUETE DE 1,44 MB"));
    }
    for (const QString& clave : cd.clavesNoLeidas) {
        t += QStringLiteral("DISCOS tiene %1, que no se lee: CANTIDAD da %2 discos\n")
                 .arg(Nombre(clave), QString::number(cd.cantidad));
    }
    t += cd.Completo() ? QStringLiteral("El juego se generaría completo.\n")
                       : QStringLiteral("EL JUEGO NO SE GENERARÍA COMPLETO.\n");
    return Escribir(stdout, t);
}

// The same, for machines.
bool InformeJson(const QString& carpetaCd, const generacion::ComprobacionCd& cd) {
    QJsonArray discos;
    for (const generacion::DiscoComprobado& d : cd.discos) {
        QJsonArray archivos;
        for (const generacion::EntradaComprobada& e : d.entradas) {
            archivos.append(QJsonObject{
                {QStringLiteral("nombre"), e.nombre},
                {QStringLiteral("bytes"), e.bytes < 0 ? QJsonValue() : QJsonValue(e.bytes)},
                {QStringLiteral("error"), e.error},
                {QStringLiteral("mensaje"), platform::StandardText(e.error)},
                {QStringLiteral("motivo_fat"),
                 e.motivoFat.isEmpty() ? QJsonValue() : QJsonValue(e.motivoFat)},
                {QStringLiteral("entradas"), e.entradas},
                {QStringLiteral("grupos"), e.grupos},
            });
        }
        discos.append(QJsonObject{
            {QStringLiteral("numero"), d.numero},
            {QStringLiteral("carpeta"), d.carpeta},
            {QStringLiteral("con_clave"), !cd.discosSinLista.contains(d.numero)},
            {QStringLiteral("archivos"), archivos},
            {QStringLiteral("sin_coma"),
             d.sinComa.isEmpty() ? QJsonValue() : QJsonValue(d.sinComa)},
            {QStringLiteral("cortados"), QJsonArray::fromStringList(d.cortados)},
            {QStringLiteral("grupos"), d.grupos},
            {QStringLiteral("entradas_raiz"), d.entradasRaiz},
            {QStringLiteral("cabe"), d.Cabe()},
            {QStringLiteral("completo"), d.Completo()},
        });
    }
    const QJsonObject informe{
        {QStringLiteral("cd"), carpetaCd},
        {QStringLiteral("archivos_ini"), cd.hayArchivoIni},
        {QStringLiteral("cantidad"), QJsonObject{{QStringLiteral("texto"), cd.textoCantidad},
                                                 {QStringLiteral("discos"), cd.cantidad},
                                                 {QStringLiteral("error"), cd.errorCantidad}}},
        {QStringLiteral("diskpath"), cd.prefijo},
        {QStringLiteral("grupos_del_disquete"), generacion::kGruposDelDisquete},
        {QStringLiteral("bytes_por_grupo"), generacion::kBytesPorGrupo},
        {QStringLiteral("entradas_de_la_raiz"), generacion::kEntradasDeLaRaiz},
        {QStringLiteral("discos"), discos},
        {QStringLiteral("claves_no_leidas"), QJsonArray::fromStringList(cd.clavesNoLeidas)},
        {QStringLiteral("completo"), cd.Completo()},
    };
    const bool escrito =
        std::fputs(QJsonDocument(informe).toJson(QJsonDocument::Indented).constData(), stdout) >= 0;
    return std::fflush(stdout) == 0 && escrito;
}

// Takes a folder name of the command line into `carpeta`. A name whose bytes are no text in the
// system's encoding would name another folder once read as text: it is refused, said, and the
// status to end with comes back.
std::optional<int> Carpeta(const char* dada, std::optional<QString>& carpeta) {
    const QString nombre = QFile::decodeName(dada);
    if (QFile::encodeName(nombre) != QByteArray(dada)) {
        QString visible;  // each byte that is not plain ASCII text as \xNN
        for (const char* c = dada; *c != '\0'; ++c) {
            const auto byte = static_cast<unsigned char>(*c);
            visible += byte >= 0x20 && byte < 0x7F
                           ? QString(QLatin1Char(*c))
                           : QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        }
        Decir(QStringLiteral("el nombre de carpeta «%1» no es texto válido en la codificación del "
                             "sistema; cámbielo o use otra carpeta")
                  .arg(visible));
        return 1;
    }
    carpeta = nombre;
    return std::nullopt;
}

// What is wrong with the option getopt_long refused last. A long one is the argument before
// optind; a letter (optopt) in a group such as -xy is still in the argument at optind while the
// group has letters left.
QString OpcionNoValida(int argc, char** argv, const option* largas) {
    const char* dada = argv[optind - 1];
    const char* actual = optind < argc ? argv[optind] : nullptr;
    if (optopt > 0 && optopt < 128 && actual != nullptr && actual[0] == '-' && actual[1] != '-' &&
        std::strchr(actual + 1, optopt) != nullptr)
        dada = actual;
    const QString argumento = QString::fromLocal8Bit(dada);
    if (!argumento.startsWith(QStringLiteral("--")))
        return QStringLiteral("opción no válida «-%1»").arg(QChar(optopt));
    const QString nombre = argumento.section(u'=', 0, 0);
    if (optopt != 0)  // a known option given a value it does not take
        return QStringLiteral("la opción «%1» no lleva argumento").arg(nombre);
    QStringList posibles;
    for (const option* l = largas; l->name != nullptr; ++l) {
        if (QString::fromLatin1(l->name).startsWith(nombre.mid(2)))
            posibles << QStringLiteral("--") + QString::fromLatin1(l->name);
    }
    if (posibles.size() > 1) {
        return QStringLiteral("la opción «%1» es ambigua: puede ser %2")
            .arg(nombre, posibles.join(QStringLiteral(", ")));
    }
    return QStringLiteral("opción no válida «%1»").arg(nombre);
}

struct Opciones {
    std::optional<QString> imagenes;
    std::optional<QString> cd;
    bool comprobar = false;
    bool json = false;
};

// Reads the options GNU-style (long options, their unambiguous beginnings, "--cd=X"); the
// status to end with when they do not make a command, nothing when they do.
std::optional<int> LeerOpciones(int argc, char** argv, Opciones& o) {
    enum { kImagenes = 256, kComprobar, kCd, kJson };
    static const option kLargas[] = {
        {"imagenes", required_argument, nullptr, kImagenes},
        {"comprobar", no_argument, nullptr, kComprobar},
        {"cd", required_argument, nullptr, kCd},
        {"json", no_argument, nullptr, kJson},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    int c = 0;
    while ((c = ::getopt_long(argc, argv, ":hV", kLargas, nullptr)) != -1) {
        switch (c) {
            case kImagenes:
                if (o.imagenes)
                    return MalUso(QStringLiteral("--imagenes va una sola vez"));
                if (const std::optional<int> estado = Carpeta(optarg, o.imagenes))
                    return estado;
                break;
            case kComprobar:
                o.comprobar = true;
                break;
            case kCd:
                if (o.cd)
                    return MalUso(QStringLiteral("--cd va una sola vez"));
                if (const std::optional<int> estado = Carpeta(optarg, o.cd))
                    return estado;
                break;
            case kJson:
                o.json = true;
                break;
            case 'h':
                return Ayuda() ? 0 : 1;
            case 'V':
                return Escribir(stdout, QStringLiteral("QTL99 " QTL99_VERSION "\n")) ? 0 : 1;
            case ':':
                return MalUso(QStringLiteral("la opción «%1» necesita un argumento")
                                  .arg(QString::fromLocal8Bit(argv[optind - 1])));
            default:
                return MalUso(OpcionNoValida(argc, argv, kLargas));
        }
    }
    if (optind < argc)
        return MalUso(QStringLiteral("sobra «%1»").arg(QString::fromLocal8Bit(argv[optind])));
    if (o.imagenes && o.comprobar)
        return MalUso(QStringLiteral("--imagenes y --comprobar no van juntas"));
    if (!o.imagenes && !o.comprobar)
        return MalUso(QStringLiteral("falta --imagenes CARPETA o --comprobar"));
    if (o.json && !o.comprobar)
        return MalUso(QStringLiteral("--json va solo con --comprobar"));
    if (o.imagenes && o.imagenes->isEmpty())
        return MalUso(QStringLiteral("--imagenes necesita una carpeta"));
    if (o.cd && o.cd->isEmpty())
        return MalUso(QStringLiteral("--cd necesita una carpeta"));
    return std::nullopt;
}

}  // namespace

bool PideLineaDeOrdenes(int argc, char** argv) {
    // The window toolkit's own options, with or without a value of their own.
    static const QStringList kConValor = {QStringLiteral("platform"),
                                          QStringLiteral("platformpluginpath"),
                                          QStringLiteral("platformtheme"),
                                          QStringLiteral("plugin"),
                                          QStringLiteral("display"),
                                          QStringLiteral("geometry"),
                                          QStringLiteral("qwindowgeometry"),
                                          QStringLiteral("title"),
                                          QStringLiteral("qwindowtitle"),
                                          QStringLiteral("icon"),
                                          QStringLiteral("qwindowicon"),
                                          QStringLiteral("style"),
                                          QStringLiteral("stylesheet"),
                                          QStringLiteral("session"),
                                          QStringLiteral("name")};
    static const QStringList kSinValor = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                          QStringLiteral("nograb"), QStringLiteral("dograb"),
                                          QStringLiteral("sync")};
    for (int i = 1; i < argc; ++i) {
        QString a = QString::fromLocal8Bit(argv[i]);
        if (!a.startsWith(u'-') || a == QStringLiteral("-") || a == QStringLiteral("--"))
            return true;
        a.remove(0, a.startsWith(QStringLiteral("--")) ? 2 : 1);
        if (kSinValor.contains(a) ||
            (kConValor.contains(a.section(u'=', 0, 0)) && a.contains(u'=')))
            continue;
        if (kConValor.contains(a) && i + 1 < argc) {
            ++i;
            continue;
        }
        return true;
    }
    return false;
}

int LineaDeOrdenes(int argc, char** argv) {
    // A pipe whose reader has gone is told by a failed write, never by a signal that would end
    // the program in the middle of a disk.
    std::signal(SIGPIPE, SIG_IGN);
    Opciones o;
    if (const std::optional<int> estado = LeerOpciones(argc, argv, o))
        return *estado;

    QCoreApplication aplicacion(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("QTL99"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QTL99_VERSION));

    // The CD: the given folder, or the program's own, as drive d:; the images as drive a:.
    const QString carpetaCd =
        CarpetaDeUnidad(o.cd.value_or(QCoreApplication::applicationDirPath()), false);
    if (carpetaCd.isEmpty())
        return 1;
    QString tabla = kOrigen + QLatin1Char('=') + carpetaCd + QStringLiteral(",optical");
    QString carpetaImagenes;
    if (o.imagenes) {
        carpetaImagenes = CarpetaDeUnidad(*o.imagenes, true);
        if (carpetaImagenes.isEmpty())
            return 1;
        tabla += QLatin1Char(';') + kDestino + QLatin1Char('=') + carpetaImagenes +
                 QStringLiteral(",images");
    }

    Consola consola(carpetaImagenes);
    platform::LinuxHost maquina(consola, consola, tabla);
    maquina.SetKeepAlive([] {});
    AnfitrionDelCd anfitrion(maquina, carpetaCd);
    Lib::Iniciar(anfitrion, consola);

    const generacion::ComprobacionCd cd = generacion::ComprobarCd(anfitrion, kOrigen);
    if (o.comprobar) {
        if (!(o.json ? InformeJson(carpetaCd, cd) : Informe(carpetaCd, cd))) {
            Decir(QStringLiteral("no se pudo escribir el informe: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(errno))));
            return 1;
        }
        return cd.Completo() ? 0 : 1;
    }
    consola.Contar(cd);
    generacion::Generacion generacion(consola, anfitrion);
    generacion.cmdComenzar_Click();
    return consola.Terminado() && consola.Completo(cd) ? 0 : 1;
}

}  // namespace programa
