#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <cerrno>

#include "generation/generacion.h"
#include "platform/fault.h"
#include "tests/support/guion.h"
#include "tests/support/temp_cd.h"

namespace {

using generacion::Generacion;
using qtltest::Caja;
using qtltest::ServiciosDePrueba;
using qtltest::TempDrives;
namespace r = platform::respuesta;

const QString kQ = QStringLiteral("Quintarel");
QString Prompt(int n) {
    return Caja(65, kQ, QStringLiteral("Inserte el diskette número %1 en la unidad").arg(n));
}
const QString kNoVacia = Caja(53, kQ, QStringLiteral("La unidad de destino debe estar vacia"));
const QString kNoDisponible =
    Caja(37, kQ, QStringLiteral("La unidad seleccionada no se encuentra disponible."));
const QString kLleno = Caja(
    37, kQ, QStringLiteral("No hay suficiente espacio en la unidad. Inserte un disco sin datos"));
const QString kFin = Caja(64, kQ, QStringLiteral("Generación de discos Finalizada"));
const QString kBeep = QStringLiteral("Beep");

QByteArray Contenido(const QString& nombre, int tamano) {
    QByteArray b;
    b.reserve(tamano);
    for (int i = 0; b.size() < tamano; ++i)
        b += nombre.toUtf8() + ':' + QByteArray::number(i) + '\n';
    b.truncate(tamano);
    return b;
}

// A CD on d: with the program at its root, and a floppy on a:.
class GeneracionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        drives_.MapDrives(QStringLiteral("d:=cd,optical;a:=floppy"));
        drives_.PlaceProgram(QStringLiteral("cd"));
        drives_.MakeFolder(QStringLiteral("floppy"));
    }
    void TearDown() override { platform::SetFaultHook({}); }

    void Ini(const QByteArray& discos, const QByteArray& cantidad = "2") {
        drives_.Write(
            QStringLiteral("cd/Archivos.ini"),
            "[GENERAL]\nCANTIDAD=" + cantidad + "\nDiskPath=\\Discos\\Disco\n[DISCOS]\n" + discos);
    }
    void Fuente(int disco, const QString& nombre, int tamano = 1000) {
        drives_.Write(QStringLiteral("cd/Discos/Disco%1/%2").arg(disco).arg(nombre),
                      Contenido(nombre, tamano));
    }
    // The user takes the written disk out (kept as `guardado`) and inserts an empty one.
    void CambiarDisco(const QString& guardado) {
        QDir().rename(drives_.Path(QStringLiteral("floppy")), drives_.Path(guardado));
        drives_.MakeFolder(QStringLiteral("floppy"));
    }
    QStringList Archivos(const QString& carpeta) {
        QStringList l = QDir(drives_.Path(carpeta))
                            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        l.sort();
        return l;
    }
    bool Igual(int disco, const QString& nombre, const QString& carpeta) {
        return drives_.Read(QStringLiteral("cd/Discos/Disco%1/%2").arg(disco).arg(nombre)) ==
               drives_.Read(carpeta + u'/' + nombre);
    }
    void Generar() {
        Generacion(s_.ventana).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
    }
    // The run ended with its labels hidden and no hourglass.
    void ExpectReposo() {
        EXPECT_TRUE(s_.ventana.ProgresoOculto());
        EXPECT_FALSE(s_.ventana.espera);
        EXPECT_EQ(s_.pantalla.puntero, 0);
        EXPECT_FALSE(s_.dialogos.guionAgotado);
    }

    TempDrives drives_;
    ServiciosDePrueba s_;
};

TEST_F(GeneracionTest, TwoDiskRunCopiesEveryFileByteForByte) {
    Ini("Disco1=LEEME.TXT,datos.bin,\nDisco2=FIN.TXT,\n");
    Fuente(1, QStringLiteral("LEEME.TXT"), 5000);
    Fuente(1, QStringLiteral("datos.bin"), 300000);
    Fuente(2, QStringLiteral("FIN.TXT"), 10);
    s_.dialogos.Responder(r::kAceptar)
        .Responder(r::kAceptar, [&] { CambiarDisco(QStringLiteral("disco1")); })
        .Responder(r::kAceptar);
    bool ocupadoAlCopiar = false;
    s_.ventana.alProcesarEventos = [&] {
        ocupadoAlCopiar =
            s_.ventana.ProgresoVisible() && s_.ventana.espera && s_.pantalla.puntero == 11;
    };

    Generar();

    EXPECT_EQ(s_.dialogos.transcripcion, QStringList({Prompt(1), Prompt(2), kBeep, kFin}));
    EXPECT_EQ(Archivos(QStringLiteral("disco1")), QStringList({"LEEME.TXT", "datos.bin"}));
    EXPECT_TRUE(Igual(1, QStringLiteral("LEEME.TXT"), QStringLiteral("disco1")));
    EXPECT_TRUE(Igual(1, QStringLiteral("datos.bin"), QStringLiteral("disco1")));
    EXPECT_EQ(Archivos(QStringLiteral("floppy")), QStringList({"FIN.TXT"}));
    EXPECT_TRUE(Igual(2, QStringLiteral("FIN.TXT"), QStringLiteral("floppy")));
    EXPECT_EQ(s_.ventana.archivosMostrados, QStringList({"LEEME.TXT", "datos.bin", "FIN.TXT"}));
    EXPECT_TRUE(ocupadoAlCopiar);
    EXPECT_EQ(s_.ventana.cerrada, 1);
    ExpectReposo();
}

TEST_F(GeneracionTest, CancelAtTheFirstPromptCopiesNothing) {
    Ini("Disco1=A.TXT,\n");
    Fuente(1, QStringLiteral("A.TXT"));
    s_.dialogos.Responder(r::kCancelar);
    Generar();
    EXPECT_EQ(s_.dialogos.transcripcion, QStringList({Prompt(1)}));
    EXPECT_TRUE(Archivos(QStringLiteral("floppy")).isEmpty());
    EXPECT_EQ(s_.ventana.cerrada, 0);
    ExpectReposo();
}

TEST_F(GeneracionTest, NonEmptyDiskIsRefusedUntilEmptied) {
    Ini("Disco1=A.TXT,\n", "1");
    Fuente(1, QStringLiteral("A.TXT"));
    drives_.Write(QStringLiteral("floppy/.oculto"), "x");  // a hidden file counts
    s_.dialogos.Responder(r::kAceptar)
        .Responder(r::kReintentar)  // still not empty
        .Responder(r::kReintentar,
                   [&] { QFile::remove(drives_.Path(QStringLiteral("floppy/.oculto"))); })
        .Responder(r::kAceptar);
    Generar();
    EXPECT_EQ(s_.dialogos.transcripcion,
              QStringList({Prompt(1), kBeep, kNoVacia, kBeep, kNoVacia, kBeep, kFin}));
    EXPECT_EQ(Archivos(QStringLiteral("floppy")), QStringList({"A.TXT"}));
    ExpectReposo();

    // Cancel at the same box ends the run quietly.
    ServiciosDePrueba otros;
    drives_.MakeFolder(QStringLiteral("floppy/carpeta"));
    otros.dialogos.Responder(r::kAceptar).Responder(r::kCancelar);
    Generacion(otros.ventana).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
    EXPECT_EQ(otros.dialogos.transcripcion, QStringList({Prompt(1), kBeep, kNoVacia}));
    EXPECT_TRUE(otros.ventana.ProgresoOculto());
}

TEST_F(GeneracionTest, NoDiskAtTheEmptinessTestOffersRetry) {
    Ini("Disco1=A.TXT,\n", "1");
    Fuente(1, QStringLiteral("A.TXT"));
    QDir(drives_.Path(QStringLiteral("floppy"))).removeRecursively();  // no disk in a:
    s_.dialogos.Responder(r::kAceptar)
        .Responder(r::kReintentar, [&] { drives_.MakeFolder(QStringLiteral("floppy")); })
        .Responder(r::kAceptar);
    Generar();
    EXPECT_EQ(s_.dialogos.transcripcion,
              QStringList({Prompt(1), kBeep, kNoDisponible, kBeep, kFin}));
    EXPECT_TRUE(Igual(1, QStringLiteral("A.TXT"), QStringLiteral("floppy")));
    ExpectReposo();
}

TEST_F(GeneracionTest, DiskFullRetryContinuesOnFreshDisk) {
    Ini("Disco1=1.TXT,2.TXT,3.TXT,4.TXT,\n", "1");
    // Files of more than one copy block, so that the failure comes after data was written.
    for (int i = 1; i <= 4; ++i)
        Fuente(1, QStringLiteral("%1.TXT").arg(i), 1500000);
    int abiertos = 0;
    int escrituras = 0;
    bool fallado = false;
    platform::SetFaultHook([&](platform::FsOp op) {
        if (op == platform::FsOp::kOpenDestination)
            ++abiertos;
        if (op == platform::FsOp::kWrite && abiertos == 3)
            ++escrituras;
        // The third file fills the disk half-way through.
        if (escrituras == 2 && !fallado) {
            fallado = true;
            return ENOSPC;
        }
        return 0;
    });
    bool parcialBorrado = false;
    s_.dialogos.Responder(r::kAceptar)
        .Responder(r::kReintentar,
                   [&] {
                       parcialBorrado = !drives_.Exists(QStringLiteral("floppy/3.TXT"));
                       CambiarDisco(QStringLiteral("lleno"));
                   })
        .Responder(r::kAceptar);
    Generar();
    // No emptiness test on the fresh disk: straight on with the third file.
    EXPECT_EQ(s_.dialogos.transcripcion, QStringList({Prompt(1), kBeep, kLleno, kBeep, kFin}));
    EXPECT_TRUE(parcialBorrado);
    EXPECT_EQ(Archivos(QStringLiteral("lleno")), QStringList({"1.TXT", "2.TXT"}));
    EXPECT_EQ(Archivos(QStringLiteral("floppy")), QStringList({"3.TXT", "4.TXT"}));
    for (const char* f : {"3.TXT", "4.TXT"})
        EXPECT_TRUE(Igual(1, QString::fromLatin1(f), QStringLiteral("floppy")));
    // The hourglass went off for the message and stayed off after Retry.
    EXPECT_EQ(s_.pantalla.cambios, QList<int>({11, 0, 0, 0}));
    ExpectReposo();
}

TEST_F(GeneracionTest, MissingSourceFileIsReportedAndEndsTheRun) {
    Ini("Disco1=A.TXT,FALTA.TXT,C.TXT,\n");
    Fuente(1, QStringLiteral("A.TXT"));
    Fuente(1, QStringLiteral("C.TXT"));
    s_.dialogos.Responder(r::kAceptar).Responder(r::kAceptar);
    Generar();
    EXPECT_EQ(s_.dialogos.transcripcion,
              QStringList({Prompt(1), kBeep,
                           Caja(48, QStringLiteral("Project1"),
                                QStringLiteral("No se encontró el archivo"))}));
    EXPECT_EQ(Archivos(QStringLiteral("floppy")), QStringList({"A.TXT"}));
    EXPECT_EQ(s_.ventana.cerrada, 0);
    ExpectReposo();
}

TEST_F(GeneracionTest, MissingDiskFolderOffersRetry) {
    Ini("Disco1=A.TXT,\n", "1");
    s_.dialogos.Responder(r::kAceptar)
        .Responder(r::kReintentar, [&] { Fuente(1, QStringLiteral("A.TXT")); })
        .Responder(r::kAceptar);
    Generar();
    EXPECT_EQ(s_.dialogos.transcripcion,
              QStringList({Prompt(1), kBeep, kNoDisponible, kBeep, kFin}));
    EXPECT_TRUE(Igual(1, QStringLiteral("A.TXT"), QStringLiteral("floppy")));

    ServiciosDePrueba otros;
    Ini("Disco1=B.TXT,\n", "1");
    drives_.Write(QStringLiteral("cd/Archivos.ini"),
                  "[GENERAL]\nCANTIDAD=1\nDiskPath=\\NoHay\\Disco\n[DISCOS]\nDisco1=B.TXT,\n");
    QFile::remove(drives_.Path(QStringLiteral("floppy/A.TXT")));
    otros.dialogos.Responder(r::kAceptar).Responder(r::kCancelar);
    Generacion(otros.ventana).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
    EXPECT_EQ(otros.dialogos.transcripcion, QStringList({Prompt(1), kBeep, kNoDisponible}));
    EXPECT_TRUE(otros.ventana.ProgresoOculto());
    EXPECT_EQ(otros.ventana.cerrada, 0);
}

TEST_F(GeneracionTest, DiskCountIsReadAsARoundedWholeNumber) {
    struct Caso {
        const char* cantidad;
        int discos;  // -1: overflow reported
    };
    const Caso casos[] = {{"abc", 0}, {"-1", 0}, {"0", 0},    {"", 0},     {"2.5", 2},
                          {"3.5", 4}, {" 1", 1}, {"1 2", 12}, {"3abc", 3}, {"40000", -1}};
    for (const Caso& c : casos) {
        ServiciosDePrueba s;
        Ini("", c.cantidad);
        for (int i = 0; i < std::max(c.discos, 0); ++i)
            s.dialogos.Responder(r::kAceptar);
        Generacion(s.ventana).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
        QStringList esperado;
        for (int i = 1; i <= c.discos; ++i)
            esperado << Prompt(i);
        if (c.discos >= 0) {
            esperado << kBeep << kFin;
        } else {
            esperado << kBeep
                     << Caja(48, QStringLiteral("Project1"), QStringLiteral("Desbordamiento"));
        }
        EXPECT_EQ(s.dialogos.transcripcion, esperado) << c.cantidad;
        EXPECT_EQ(s.ventana.cerrada, c.discos >= 0 ? 1 : 0) << c.cantidad;
    }
    // A missing key reads "0".
    ServiciosDePrueba s;
    drives_.Write(QStringLiteral("cd/Archivos.ini"), "[DISCOS]\n");
    Generacion(s.ventana).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
    EXPECT_EQ(s.dialogos.transcripcion, QStringList({kBeep, kFin}));
}

TEST_F(GeneracionTest, DiskNumberCannotPassTheLargestCount) {
    Ini("", "32767");
    for (int i = 0; i < 32767 + 1; ++i)
        s_.dialogos.Responder(r::kAceptar);
    Generar();
    ASSERT_EQ(s_.dialogos.transcripcion.size(), 32767 + 2);
    EXPECT_EQ(s_.dialogos.transcripcion[32766], Prompt(32767));
    EXPECT_EQ(s_.dialogos.transcripcion.mid(32767),
              QStringList(
                  {kBeep, Caja(48, QStringLiteral("Project1"), QStringLiteral("Desbordamiento"))}));
    EXPECT_EQ(s_.ventana.cerrada, 0);
    ExpectReposo();
}

TEST_F(GeneracionTest, EachListEntryEndsWithAComma) {
    Fuente(1, QStringLiteral("a.txt"));
    Fuente(1, QStringLiteral("b.txt"));
    Fuente(1, QStringLiteral(" b.txt"));
    struct Caso {
        const char* lista;
        QStringList copiados;
        QStringList mostrados;
        bool error75;
    };
    const Caso casos[] = {
        {"a.txt,b.txt", {"a.txt"}, {"a.txt"}, false},
        {"a.txt,b.txt,", {"a.txt", "b.txt"}, {"a.txt", "b.txt"}, false},
        {"a.txt", {}, {}, false},
        {"a.txt, b.txt,", {" b.txt", "a.txt"}, {"a.txt", " b.txt"}, false},
        // An empty name copies the disk folder itself, which fails and ends the run.
        {",a.txt,", {}, {""}, true},
        {"a.txt,,b.txt,", {"a.txt"}, {"a.txt", ""}, true},
    };
    for (const Caso& c : casos) {
        ServiciosDePrueba s;
        QDir(drives_.Path(QStringLiteral("floppy"))).removeRecursively();
        drives_.MakeFolder(QStringLiteral("floppy"));
        Ini("Disco1=" + QByteArray(c.lista) + "\n", "1");
        s.dialogos.Responder(r::kAceptar).Responder(r::kAceptar);
        Generacion(s.ventana).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
        EXPECT_EQ(Archivos(QStringLiteral("floppy")), c.copiados) << c.lista;
        EXPECT_EQ(s.ventana.archivosMostrados, c.mostrados) << c.lista;
        const QString ultima = s.dialogos.transcripcion.last();
        EXPECT_EQ(ultima, c.error75 ? Caja(48, QStringLiteral("Project1"),
                                           QStringLiteral("Error de acceso a la ruta o el archivo"))
                                    : kFin)
            << c.lista;
    }
}

TEST_F(GeneracionTest, PathsFromSettingsStayInsideTheirDrive) {
    drives_.Write(QStringLiteral("cd/Archivos.ini"),
                  "[GENERAL]\nCANTIDAD=1\nDiskPath=\\..\\..\\Discos\\Disco\n[DISCOS]\nDisco1=..\\.."
                  "\\fuera.txt,\n");
    drives_.Write(QStringLiteral("fuera.txt"), "fuera de las unidades");
    Fuente(1, QStringLiteral("x"));
    s_.dialogos.Responder(r::kAceptar).Responder(r::kAceptar);
    Generar();
    // "..\..\fuera.txt" is read from the disk folder's drive root and written to a:'s root.
    EXPECT_EQ(s_.dialogos.transcripcion.last(),
              Caja(48, QStringLiteral("Project1"), QStringLiteral("No se encontró el archivo")));
    EXPECT_EQ(drives_.Read(QStringLiteral("fuera.txt")), "fuera de las unidades");
    EXPECT_TRUE(Archivos(QStringLiteral("floppy")).isEmpty());
}

TEST_F(GeneracionTest, RealDiskFullOnASmallTmpfs) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const QString punto = drives_.MakeFolder(QStringLiteral("floppy"));
    auto montar = [&] {
        return QProcess::execute(QStringLiteral("mount"),
                                 {"-t", "tmpfs", "-o", "size=96k", "tmpfs", punto}) == 0;
    };
    if (!montar())
        GTEST_SKIP() << "mount -t tmpfs was refused here";
    Ini("Disco1=1.BIN,2.BIN,3.BIN,\n", "1");
    for (int i = 1; i <= 3; ++i)
        Fuente(1, QStringLiteral("%1.BIN").arg(i), 40000);
    QStringList enElLleno;
    s_.dialogos.Responder(r::kAceptar)
        .Responder(r::kReintentar,
                   [&] {
                       enElLleno = Archivos(QStringLiteral("floppy"));
                       QProcess::execute(QStringLiteral("umount"), {punto});
                       montar();
                   })
        .Responder(r::kAceptar);
    Generar();
    EXPECT_EQ(s_.dialogos.transcripcion, QStringList({Prompt(1), kBeep, kLleno, kBeep, kFin}));
    EXPECT_EQ(enElLleno, QStringList({"1.BIN", "2.BIN"}));  // no partial third file
    EXPECT_EQ(Archivos(QStringLiteral("floppy")), QStringList({"3.BIN"}));
    EXPECT_TRUE(Igual(1, QStringLiteral("3.BIN"), QStringLiteral("floppy")));
    QProcess::execute(QStringLiteral("umount"), {punto});
}

// The start button's drive check.
class ValidacionTest : public GeneracionTest {
  protected:
    void SetUp() override {
        GeneracionTest::SetUp();
        Ini("Disco1=A.TXT,\n", "1");
        Fuente(1, QStringLiteral("A.TXT"));
    }
    void Comenzar() { Generacion(s_.ventana).cmdComenzar_Click(); }
    const QString kDiferentes = Caja(
        48, QStringLiteral("Generación de diskettes de Instalación"),
        QStringLiteral("Seleccione unidades diferentes para el origen y el destino de los datos"));
    const QString kSinArchivos = Caja(
        48, kQ,
        QStringLiteral(
            "El dispositivo origen, seleccionado no posee los archivos "
            "necesarios para la generacion de discos. Seleccione otro dispositivo y reintente"));
    const QString kDestinoNoVacio =
        Caja(48, kQ, QStringLiteral("La unidad de destino debe estar vacia"));
};

TEST_F(ValidacionTest, RefusalsComeInOrderOnePerClick) {
    // Everything wrong at once: only the first refusal shows.
    drives_.Write(QStringLiteral("floppy/x"), "");
    QFile::rename(drives_.Path(QStringLiteral("cd/Archivos.ini")),
                  drives_.Path(QStringLiteral("cd/ARCHIVOS.INI")));
    s_.ventana.destino = s_.ventana.origen;
    Comenzar();
    EXPECT_EQ(s_.dialogos.transcripcion, QStringList({kBeep, kDiferentes}));

    s_.dialogos.transcripcion.clear();
    s_.ventana.destino = QStringLiteral("a:");
    Comenzar();  // the marker in another letter case does not count
    EXPECT_EQ(s_.dialogos.transcripcion, QStringList({kBeep, kSinArchivos}));

    s_.dialogos.transcripcion.clear();
    QFile::rename(drives_.Path(QStringLiteral("cd/ARCHIVOS.INI")),
                  drives_.Path(QStringLiteral("cd/Archivos.ini")));
    Comenzar();
    EXPECT_EQ(s_.dialogos.transcripcion, QStringList({kBeep, kDestinoNoVacio}));

    // An empty folder counts as content too.
    s_.dialogos.transcripcion.clear();
    QFile::remove(drives_.Path(QStringLiteral("floppy/x")));
    drives_.MakeFolder(QStringLiteral("floppy/vacia"));
    Comenzar();
    EXPECT_EQ(s_.dialogos.transcripcion, QStringList({kBeep, kDestinoNoVacio}));
    EXPECT_TRUE(s_.ventana.etiquetas.empty());  // no run started
}

TEST_F(ValidacionTest, PassingCheckStartsTheRunWithTheDriveLetters) {
    // A folder named Archivos.ini is an acceptable marker.
    QFile::remove(drives_.Path(QStringLiteral("cd/Archivos.ini")));
    drives_.MakeFolder(QStringLiteral("cd/Archivos.ini"));
    drives_.PlaceProgram(QStringLiteral("cd/programa"));  // settings come from the program folder
    drives_.Write(QStringLiteral("cd/programa/Archivos.ini"),
                  "[GENERAL]\nCANTIDAD=1\nDiskPath=\\Discos\\Disco\n[DISCOS]\nDisco1=A.TXT,\n");
    s_.dialogos.Responder(r::kAceptar).Responder(r::kAceptar);
    Comenzar();
    EXPECT_EQ(s_.dialogos.transcripcion, QStringList({Prompt(1), kBeep, kFin}));
    EXPECT_TRUE(Igual(1, QStringLiteral("A.TXT"), QStringLiteral("floppy")));
}

TEST_F(ValidacionTest, UnreadableDriveIsReported) {
    s_.ventana.destino = QStringLiteral("b:");  // b: has no disk
    drives_.MapDrives(QStringLiteral("d:=cd,optical;a:=floppy;b:=sin-disco"));
    Comenzar();
    EXPECT_EQ(
        s_.dialogos.transcripcion,
        QStringList(
            {kBeep,
             Caja(32, kQ,
                  QStringLiteral("Error: La unidad seleccionada no se encuentra disponible"))}));
    s_.dialogos.transcripcion.clear();
    s_.ventana.destino = QStringLiteral("q:");  // not a drive at all
    Comenzar();
    EXPECT_EQ(
        s_.dialogos.transcripcion,
        QStringList({kBeep, Caja(48, kQ, QStringLiteral("Error: Inserte un disco en la unidad"))}));
}

}  // namespace
