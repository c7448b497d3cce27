#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <vector>

#include "generation/comprobacion.h"
#include "generation/generacion.h"
#include "platform/fat/fat_medium.h"
#include "platform/host/files.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_drives.h"

namespace {

using generacion::Generacion;
using qtltest::BoxLine;
using qtltest::TempDrives;
using qtltest::TestServices;
namespace r = platform::answer;

const QString kQ = QStringLiteral("Quintarel");
QString Prompt(int n) {
    return BoxLine(65, kQ, QStringLiteral("Inserte el diskette número %1 en la unidad").arg(n));
}
const QString kNoVacia = BoxLine(53, kQ, QStringLiteral("La unidad de destino debe estar vacia"));
const QString kNoDisponible =
    BoxLine(37, kQ, QStringLiteral("La unidad seleccionada no se encuentra disponible."));
const QString kLleno = BoxLine(
    37, kQ, QStringLiteral("No hay suficiente espacio en la unidad. Inserte un disco sin datos"));
const QString kFin = BoxLine(64, kQ, QStringLiteral("Generación de discos Finalizada"));
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
        Generacion(s_.window, s_.lib).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
    }
    // Records the system calls of the drives; true when the last name given on a disk has
    // been synced since (the disk may be taken out).
    void Registrar() {
        drives_.system.fault = [this](qtltest::FaultySystem::Op op) {
            llamadas_.push_back(op);
            return 0;
        };
    }
    bool NombresDuraderos() const {
        using Op = qtltest::FaultySystem::Op;
        const auto nombre = std::find_if(llamadas_.rbegin(), llamadas_.rend(), [](Op op) {
            return op == Op::kRename || op == Op::kRenameNoReplace;
        });
        return std::find(llamadas_.rbegin(), nombre, Op::kSync) != nombre;
    }
    // The run ended with its labels hidden and no hourglass.
    void ExpectReposo() {
        EXPECT_TRUE(s_.window.ProgressHidden());
        EXPECT_FALSE(s_.window.waitShown);
        EXPECT_EQ(s_.screen.pointer, 0);
        EXPECT_FALSE(s_.dialogs.scriptExhausted);
    }

    TempDrives drives_;
    TestServices s_{drives_};
    std::vector<qtltest::FaultySystem::Op> llamadas_;
};

TEST_F(GeneracionTest, TwoDiskRunCopiesEveryFileByteForByte) {
    Ini("Disco1=LEEME.TXT,datos.bin,\nDisco2=FIN.TXT,\n");
    Fuente(1, QStringLiteral("LEEME.TXT"), 5000);
    Fuente(1, QStringLiteral("datos.bin"), 300000);
    Fuente(2, QStringLiteral("FIN.TXT"), 10);
    // Each disk is durable before the user is asked for the next one, or told the end.
    Registrar();
    bool duraderos = true;
    s_.dialogs.Answer(r::kOk)
        .Answer(r::kOk,
                [&] {
                    duraderos = duraderos && NombresDuraderos();
                    CambiarDisco(QStringLiteral("disco1"));
                })
        .Answer(r::kOk, [&] {
            duraderos = duraderos && NombresDuraderos();
            // Once the end is told nothing touches the drives: the window that ran the set may
            // be gone, and another run begun.
            drives_.system.fault = [this](qtltest::FaultySystem::Op op) {
                llamadas_.push_back(op);
                return EIO;
            };
            llamadas_.clear();
        });
    bool ocupadoAlCopiar = false;
    s_.window.onDoEvents = [&] {
        ocupadoAlCopiar = s_.window.ProgressShown() && s_.window.waitShown &&
                          s_.screen.pointer == platform::pointer::kHourglass;
    };

    Generar();

    EXPECT_EQ(s_.dialogs.transcript, QStringList({Prompt(1), Prompt(2), kBeep, kFin}));
    EXPECT_EQ(Archivos(QStringLiteral("disco1")), QStringList({"LEEME.TXT", "datos.bin"}));
    EXPECT_TRUE(Igual(1, QStringLiteral("LEEME.TXT"), QStringLiteral("disco1")));
    EXPECT_TRUE(Igual(1, QStringLiteral("datos.bin"), QStringLiteral("disco1")));
    EXPECT_EQ(Archivos(QStringLiteral("floppy")), QStringList({"FIN.TXT"}));
    EXPECT_TRUE(Igual(2, QStringLiteral("FIN.TXT"), QStringLiteral("floppy")));
    EXPECT_EQ(s_.window.captionsShown, QStringList({"LEEME.TXT", "datos.bin", "FIN.TXT"}));
    EXPECT_TRUE(ocupadoAlCopiar);
    EXPECT_TRUE(duraderos);
    EXPECT_EQ(llamadas_.size(), 0u);
    EXPECT_EQ(s_.window.closed, 1);
    ExpectReposo();
}

TEST_F(GeneracionTest, CancelAtTheFirstPromptCopiesNothing) {
    Ini("Disco1=A.TXT,\n");
    Fuente(1, QStringLiteral("A.TXT"));
    s_.dialogs.Answer(r::kCancel);
    Generar();
    EXPECT_EQ(s_.dialogs.transcript, QStringList({Prompt(1)}));
    EXPECT_TRUE(Archivos(QStringLiteral("floppy")).isEmpty());
    EXPECT_EQ(s_.window.closed, 0);
    ExpectReposo();
}

TEST_F(GeneracionTest, NonEmptyDiskIsRefusedUntilEmptied) {
    Ini("Disco1=A.TXT,\n", "1");
    Fuente(1, QStringLiteral("A.TXT"));
    drives_.Write(QStringLiteral("floppy/.oculto"), "x");  // a hidden file counts
    s_.dialogs.Answer(r::kOk)
        .Answer(r::kRetry)  // still not empty
        .Answer(r::kRetry, [&] { QFile::remove(drives_.Path(QStringLiteral("floppy/.oculto"))); })
        .Answer(r::kOk);
    Generar();
    EXPECT_EQ(s_.dialogs.transcript,
              QStringList({Prompt(1), kBeep, kNoVacia, kBeep, kNoVacia, kBeep, kFin}));
    EXPECT_EQ(Archivos(QStringLiteral("floppy")), QStringList({"A.TXT"}));
    ExpectReposo();

    // Cancel at the same box ends the run quietly.
    TestServices otros{drives_};
    drives_.MakeFolder(QStringLiteral("floppy/carpeta"));
    otros.dialogs.Answer(r::kOk).Answer(r::kCancel);
    Generacion(otros.window, otros.lib).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
    EXPECT_EQ(otros.dialogs.transcript, QStringList({Prompt(1), kBeep, kNoVacia}));
    EXPECT_TRUE(otros.window.ProgressHidden());
}

TEST_F(GeneracionTest, NoDiskAtTheEmptinessTestOffersRetry) {
    Ini("Disco1=A.TXT,\n", "1");
    Fuente(1, QStringLiteral("A.TXT"));
    QDir(drives_.Path(QStringLiteral("floppy"))).removeRecursively();  // no disk in a:
    s_.dialogs.Answer(r::kOk)
        .Answer(r::kRetry, [&] { drives_.MakeFolder(QStringLiteral("floppy")); })
        .Answer(r::kOk);
    Generar();
    EXPECT_EQ(s_.dialogs.transcript, QStringList({Prompt(1), kBeep, kNoDisponible, kBeep, kFin}));
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
    drives_.system.fault = ([&](qtltest::FaultySystem::Op op) {
        if (op == qtltest::FaultySystem::Op::kOpenDestination)
            ++abiertos;
        if (op == qtltest::FaultySystem::Op::kCopyRange && abiertos == 3)
            ++escrituras;
        // The third file fills the disk half-way through.
        if (escrituras == 2 && !fallado) {
            fallado = true;
            return ENOSPC;
        }
        return 0;
    });
    bool parcialBorrado = false;
    s_.dialogs.Answer(r::kOk)
        .Answer(r::kRetry,
                [&] {
                    parcialBorrado = !drives_.Exists(QStringLiteral("floppy/3.TXT"));
                    CambiarDisco(QStringLiteral("lleno"));
                })
        .Answer(r::kOk);
    Generar();
    // No emptiness test on the fresh disk: straight on with the third file.
    EXPECT_EQ(s_.dialogs.transcript, QStringList({Prompt(1), kBeep, kLleno, kBeep, kFin}));
    EXPECT_TRUE(parcialBorrado);
    EXPECT_EQ(Archivos(QStringLiteral("lleno")), QStringList({"1.TXT", "2.TXT"}));
    EXPECT_EQ(Archivos(QStringLiteral("floppy")), QStringList({"3.TXT", "4.TXT"}));
    for (const char* f : {"3.TXT", "4.TXT"})
        EXPECT_TRUE(Igual(1, QString::fromLatin1(f), QStringLiteral("floppy")));
    // The hourglass went off for the message and stayed off after Retry.
    EXPECT_EQ(s_.screen.changes, QList<int>({11, 0, 0, 0}));
    ExpectReposo();
}

// A failure told when a drive commits its held copies (naming them, or the disk's image) is
// the disk's, not its file's: Retry writes again what it lost and the disk is finished whole.
TEST_F(GeneracionTest, RetryAfterAFailedCommitFinishesTheDisk) {
    using Op = qtltest::FaultySystem::Op;
    const struct {
        const char* destino;
        const char* carpeta;
        int desde, hasta;  // the namings of the run that are refused
    } casos[] = {{"floppy", "floppy", 2, 2},
                 // the image's own, tried again without the rename that never replaces
                 {"Imagenes,images", "Imagenes", 1, 2}};
    for (const auto& c : casos) {
        SCOPED_TRACE(c.destino);
        TestServices s{drives_};
        drives_.MapDrives(u"d:=cd,optical;a:="_qs + QString::fromLatin1(c.destino));
        Ini("Disco1=A.TXT,B.TXT,C.TXT,\n", "1");
        for (const char* f : {"A.TXT", "B.TXT", "C.TXT"})
            Fuente(1, QString::fromLatin1(f));
        // Namings refused as a full root folder would, once.
        int nombres = 0;
        drives_.system.fault = [&](Op op) {
            if (op != Op::kRename && op != Op::kRenameNoReplace)
                return 0;
            ++nombres;
            return nombres >= c.desde && nombres <= c.hasta ? ENOSPC : 0;
        };
        s.dialogs.Answer(r::kOk).Answer(r::kRetry).Answer(r::kOk);
        Generacion(s.window, s.lib).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
        drives_.system.fault = {};
        EXPECT_EQ(s.dialogs.transcript, QStringList({Prompt(1), kBeep, kLleno, kBeep, kFin}));
        EXPECT_FALSE(s.dialogs.scriptExhausted);
        const QString carpeta = QString::fromLatin1(c.carpeta);
        if (carpeta == u"floppy"_qs) {
            EXPECT_EQ(Archivos(carpeta), QStringList({"A.TXT", "B.TXT", "C.TXT"}));
            for (const char* f : {"A.TXT", "B.TXT", "C.TXT"})
                EXPECT_TRUE(Igual(1, QString::fromLatin1(f), carpeta)) << f;
        } else {
            EXPECT_EQ(Archivos(carpeta), QStringList({"Disco1.img"}));
            const QString imagen = drives_.Path(carpeta + u"/Disco1.img"_qs);
            for (const char* f : {"A.TXT", "B.TXT", "C.TXT"}) {
                EXPECT_EQ(qtltest::Herramienta(
                              QStringLiteral("mtype"),
                              {QStringLiteral("-i"), imagen, u"::"_qs + QString::fromLatin1(f)})
                              .second,
                          drives_.Read(u"cd/Discos/Disco1/"_qs + QString::fromLatin1(f)))
                    << f;
            }
        }
    }
}

// A name another program takes while the disk is written is never replaced: that copy fails,
// said with its file, and the other file stays as it is.
TEST_F(GeneracionTest, ANameTakenMeanwhileIsLeftAsItIs) {
    using Op = qtltest::FaultySystem::Op;
    Ini("Disco1=A.TXT,B.TXT,\n", "1");
    Fuente(1, QStringLiteral("A.TXT"));
    Fuente(1, QStringLiteral("B.TXT"));
    int nombres = 0;
    drives_.system.fault = [&](Op op) {
        if (op == Op::kRenameNoReplace && ++nombres == 2)
            drives_.Write(QStringLiteral("floppy/B.TXT"), "OTRO");
        return 0;
    };
    s_.dialogs.Answer(r::kOk).Answer(r::kOk);
    testing::internal::CaptureStderr();
    Generar();
    const std::string dicho = testing::internal::GetCapturedStderr();
    drives_.system.fault = {};
    EXPECT_EQ(s_.dialogs.transcript,
              QStringList({Prompt(1), kBeep,
                           BoxLine(48, QStringLiteral("Project1"),
                                   QStringLiteral("Error de acceso a la ruta o el archivo"))}));
    EXPECT_EQ(drives_.Read(QStringLiteral("floppy/B.TXT")), QByteArray("OTRO"));
    EXPECT_NE(dicho.find("«B.TXT»"), std::string::npos) << dicho;
}

// A file of the CD whose reads fail is named, at the check and when a copy of it is compared,
// never another file of its turn.
TEST_F(GeneracionTest, AFileOfTheCdThatCannotBeReadIsTheOneNamed) {
    Ini("Disco1=A.TXT,B.TXT,\n", "1");
    Fuente(1, QStringLiteral("A.TXT"));
    Fuente(1, QStringLiteral("B.TXT"));
    drives_.MakeFolder(QStringLiteral("no-es-un-archivo"));
    drives_.settingsSystem.seenAs[drives_.Path(u"cd/Discos/Disco1/A.TXT"_qs).toStdString()] =
        drives_.Path(u"no-es-un-archivo"_qs).toStdString();
    const generacion::ComprobacionCd cd = generacion::ComprobarCd(s_.lib, QStringLiteral("d:"));
    drives_.settingsSystem.seenAs.clear();
    ASSERT_EQ(cd.discos.size(), 1);
    EXPECT_NE(cd.discos[0].entradas[0].error, 0);
    EXPECT_EQ(cd.discos[0].entradas[1].error, 0);

    // The copies are written with the kernel's copy; the reads that fail are the comparison's.
    drives_.system.fault = [](qtltest::FaultySystem::Op op) {
        return op == qtltest::FaultySystem::Op::kRead ? EIO : 0;
    };
    s_.dialogs.Answer(r::kOk).Answer(r::kOk);
    testing::internal::CaptureStderr();
    Generar();
    const std::string dicho = testing::internal::GetCapturedStderr();
    drives_.system.fault = {};
    EXPECT_NE(dicho.find("no se pudo leer «A.TXT» del CD"), std::string::npos) << dicho;
    EXPECT_EQ(dicho.find("«B.TXT»"), std::string::npos) << dicho;
    EXPECT_EQ(Archivos(QStringLiteral("floppy")), QStringList());
}

TEST_F(GeneracionTest, MissingSourceFileIsReportedAndEndsTheRun) {
    Ini("Disco1=A.TXT,FALTA.TXT,C.TXT,\n");
    Fuente(1, QStringLiteral("A.TXT"));
    Fuente(1, QStringLiteral("C.TXT"));
    // The user may take the disk out at the box: what was copied to it is durable by then.
    Registrar();
    bool duradero = false;
    s_.dialogs.Answer(r::kOk).Answer(r::kOk, [&] { duradero = NombresDuraderos(); });
    Generar();
    EXPECT_EQ(s_.dialogs.transcript,
              QStringList({Prompt(1), kBeep,
                           BoxLine(48, QStringLiteral("Project1"),
                                   QStringLiteral("No se encontró el archivo"))}));
    EXPECT_TRUE(duradero);
    EXPECT_EQ(Archivos(QStringLiteral("floppy")), QStringList({"A.TXT"}));
    EXPECT_EQ(s_.window.closed, 0);
    ExpectReposo();
}

TEST_F(GeneracionTest, ADiskThatCannotBeMadeDurableIsReported) {
    Ini("Disco1=A.TXT,\n", "1");
    Fuente(1, QStringLiteral("A.TXT"));
    int syncs = 0;  // the copy's own, then the disk's when the list is done
    drives_.system.fault = [&](qtltest::FaultySystem::Op op) {
        return op == qtltest::FaultySystem::Op::kSync && ++syncs == 2 ? EIO : 0;
    };
    s_.dialogs.Answer(r::kOk).Answer(r::kOk);
    Generar();
    drives_.system.fault = {};
    EXPECT_EQ(s_.dialogs.transcript,
              QStringList({Prompt(1), kBeep,
                           BoxLine(48, QStringLiteral("Project1"),
                                   QStringLiteral("Error de E/S de dispositivo"))}));
    EXPECT_EQ(s_.window.closed, 0);
    ExpectReposo();
}

TEST_F(GeneracionTest, MissingDiskFolderOffersRetry) {
    Ini("Disco1=A.TXT,\n", "1");
    s_.dialogs.Answer(r::kOk)
        .Answer(r::kRetry, [&] { Fuente(1, QStringLiteral("A.TXT")); })
        .Answer(r::kOk);
    Generar();
    EXPECT_EQ(s_.dialogs.transcript, QStringList({Prompt(1), kBeep, kNoDisponible, kBeep, kFin}));
    EXPECT_TRUE(Igual(1, QStringLiteral("A.TXT"), QStringLiteral("floppy")));

    TestServices otros{drives_};
    Ini("Disco1=B.TXT,\n", "1");
    drives_.Write(QStringLiteral("cd/Archivos.ini"),
                  "[GENERAL]\nCANTIDAD=1\nDiskPath=\\NoHay\\Disco\n[DISCOS]\nDisco1=B.TXT,\n");
    QFile::remove(drives_.Path(QStringLiteral("floppy/A.TXT")));
    otros.dialogs.Answer(r::kOk).Answer(r::kCancel);
    Generacion(otros.window, otros.lib).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
    EXPECT_EQ(otros.dialogs.transcript, QStringList({Prompt(1), kBeep, kNoDisponible}));
    EXPECT_TRUE(otros.window.ProgressHidden());
    EXPECT_EQ(otros.window.closed, 0);
}

// The destination gone in the middle of a disk (71) offers Retry, which goes on once it is
// back; a drive letter the table lacks (68) too, and Cancel ends the run there. Without a
// DiskPath the prefix is the lookup's default, "0": disk 1's files are read from d:01\.
TEST_F(GeneracionTest, ADriveLostInsideTheLoopOffersRetry) {
    drives_.Write(QStringLiteral("cd/Archivos.ini"),
                  "[GENERAL]\nCANTIDAD=1\n[DISCOS]\nDisco1=A.TXT,B.TXT,\n");
    drives_.Write(QStringLiteral("cd/01/A.TXT"), "a");
    drives_.Write(QStringLiteral("cd/01/B.TXT"), "b");
    s_.window.onDoEvents = [&] {
        if (s_.window.captionsShown.size() == 2 && drives_.Exists(QStringLiteral("floppy")))
            QDir().rename(drives_.Path(QStringLiteral("floppy")), drives_.Path(u"fuera"_qs));
    };
    s_.dialogs.Answer(r::kOk)
        .Answer(r::kRetry,
                [&] {
                    s_.window.onDoEvents = {};
                    QDir().rename(drives_.Path(u"fuera"_qs), drives_.Path(u"floppy"_qs));
                })
        .Answer(r::kOk);
    Generar();
    EXPECT_EQ(s_.dialogs.transcript, QStringList({Prompt(1), kBeep, kNoDisponible, kBeep, kFin}))
        << s_.dialogs.transcript.join(u'\n').toStdString();
    EXPECT_EQ(drives_.Read(QStringLiteral("floppy/B.TXT")), QByteArray("b"));

    TestServices otros{drives_};
    otros.window.destination = QStringLiteral("q:");
    otros.dialogs.Answer(r::kOk).Answer(r::kCancel);
    Generacion(otros.window, otros.lib).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("q:"));
    EXPECT_EQ(otros.dialogs.transcript, QStringList({Prompt(1), kBeep, kNoDisponible}))
        << otros.dialogs.transcript.join(u'\n').toStdString();
    EXPECT_TRUE(otros.window.ProgressHidden());
}

TEST_F(GeneracionTest, DiskCountIsReadAsARoundedWholeNumber) {
    struct Caso {
        const char* cantidad;
        int discos;  // -1: overflow reported
    };
    const Caso casos[] = {{"abc", 0}, {"-1", 0}, {"0", 0},    {"", 0},     {"2.5", 2},
                          {"3.5", 4}, {" 1", 1}, {"1 2", 12}, {"3abc", 3}, {"40000", -1}};
    for (const Caso& c : casos) {
        TestServices s{drives_};
        Ini("", c.cantidad);
        for (int i = 0; i < std::max(c.discos, 0); ++i)
            s.dialogs.Answer(r::kOk);
        Generacion(s.window, s.lib).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
        QStringList esperado;
        for (int i = 1; i <= c.discos; ++i)
            esperado << Prompt(i);
        if (c.discos >= 0) {
            esperado << kBeep << kFin;
        } else {
            esperado << kBeep
                     << BoxLine(48, QStringLiteral("Project1"), QStringLiteral("Desbordamiento"));
        }
        EXPECT_EQ(s.dialogs.transcript, esperado) << c.cantidad;
        EXPECT_EQ(s.window.closed, c.discos >= 0 ? 1 : 0) << c.cantidad;
    }
    // A missing key reads "0".
    TestServices s{drives_};
    drives_.Write(QStringLiteral("cd/Archivos.ini"), "[DISCOS]\n");
    Generacion(s.window, s.lib).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
    EXPECT_EQ(s.dialogs.transcript, QStringList({kBeep, kFin}));
}

TEST_F(GeneracionTest, DiskNumberCannotPassTheLargestCount) {
    Ini("", "32767");
    for (int i = 0; i < 32767 + 1; ++i)
        s_.dialogs.Answer(r::kOk);
    Generar();
    ASSERT_EQ(s_.dialogs.transcript.size(), 32767 + 2);
    EXPECT_EQ(s_.dialogs.transcript[32766], Prompt(32767));
    EXPECT_EQ(s_.dialogs.transcript.mid(32767),
              QStringList({kBeep, BoxLine(48, QStringLiteral("Project1"),
                                          QStringLiteral("Desbordamiento"))}));
    EXPECT_EQ(s_.window.closed, 0);
    ExpectReposo();
}

TEST_F(GeneracionTest, EachListEntryEndsWithAComma) {
    Fuente(1, QStringLiteral("a.txt"));
    Fuente(1, QStringLiteral("b.txt"));
    Fuente(1, QStringLiteral(" b.txt"));
    struct Caso {
        const char* lista = nullptr;
        QStringList copiados;
        QStringList mostrados;
        bool error75 = false;
    };
    const Caso casos[] = {
        {"a.txt,b.txt", {"a.txt"}, {"a.txt"}, false},
        {"a.txt,b.txt,", {"a.txt", "b.txt"}, {"a.txt", "b.txt"}, false},
        {"a.txt", {}, {}, false},
        {"a.txt, b.txt,", {" b.txt", "a.txt"}, {"a.txt", " b.txt"}, false},
        // An empty name copies the disk folder itself, which fails and ends the run.
        {",a.txt,", {}, {""}, true},
        {"a.txt,,b.txt,", {"a.txt"}, {"a.txt", ""}, true},
        // A key with no names: an empty disk, and the set goes on.
        {"", {}, {}, false},
    };
    for (const Caso& c : casos) {
        TestServices s{drives_};
        QDir(drives_.Path(QStringLiteral("floppy"))).removeRecursively();
        drives_.MakeFolder(QStringLiteral("floppy"));
        Ini("Disco1=" + QByteArray(c.lista) + "\n", "1");
        s.dialogs.Answer(r::kOk).Answer(r::kOk);
        Generacion(s.window, s.lib).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
        EXPECT_EQ(Archivos(QStringLiteral("floppy")), c.copiados) << c.lista;
        EXPECT_EQ(s.window.captionsShown, c.mostrados) << c.lista;
        const QString ultima = s.dialogs.transcript.last();
        EXPECT_EQ(ultima, c.error75
                              ? BoxLine(48, QStringLiteral("Project1"),
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
    s_.dialogs.Answer(r::kOk).Answer(r::kOk);
    Generar();
    // "..\..\fuera.txt" is read from the disk folder's drive root and written to a:'s root.
    EXPECT_EQ(s_.dialogs.transcript.last(),
              BoxLine(48, QStringLiteral("Project1"), QStringLiteral("No se encontró el archivo")));
    EXPECT_EQ(drives_.Read(QStringLiteral("fuera.txt")), "fuera de las unidades");
    EXPECT_TRUE(Archivos(QStringLiteral("floppy")).isEmpty());
}

TEST_F(GeneracionTest, ImagesDriveMakesOneFloppyImagePerDiskAndOverwritesNone) {
    drives_.MapDrives(QStringLiteral("d:=cd,optical;a:=Disquetes QTL99,images"));
    Ini("Disco1=UNO.TXT,Largo nombre de archivo.txt,\nDisco2=DOS.BIN,\n");
    Fuente(1, QStringLiteral("UNO.TXT"));
    Fuente(1, QStringLiteral("Largo nombre de archivo.txt"));
    Fuente(2, QStringLiteral("DOS.BIN"), 1500000);  // more than a floppy holds
    s_.dialogs.Answer(r::kOk).Answer(r::kOk).Answer(r::kRetry).Answer(r::kCancel);
    Generar();
    // The full image is a full disk; Retry tries the same image again.
    EXPECT_EQ(s_.dialogs.transcript,
              QStringList({Prompt(1), Prompt(2), kBeep, kLleno, kBeep, kLleno}));
    // Each image checked by readers of their own: fsck.fat, and mtools for its files.
    const auto herramienta = qtltest::Herramienta;
    for (const char* imagen : {"Disquetes QTL99/Disco1.img"}) {
        const QString ruta = drives_.Path(QString::fromLatin1(imagen));
        EXPECT_EQ(QFileInfo(ruta).size(), 1474560) << imagen;
        EXPECT_EQ(herramienta(QStringLiteral("fsck.fat"), {QStringLiteral("-n"), ruta}).first, 0)
            << imagen;
    }
    const QString uno = drives_.Path(QStringLiteral("Disquetes QTL99/Disco1.img"));
    for (const char* nombre : {"UNO.TXT", "Largo nombre de archivo.txt"}) {
        EXPECT_EQ(herramienta(QStringLiteral("mtype"),
                              {QStringLiteral("-i"), uno, u"::"_qs + QString::fromLatin1(nombre)})
                      .second,
                  drives_.Read(u"cd/Discos/Disco1/"_qs + QString::fromLatin1(nombre)));
    }
    // The disk that was cut short never takes the name of a finished one.
    EXPECT_EQ(QDir(drives_.Path(QStringLiteral("Disquetes QTL99"))).entryList(QDir::Files),
              QStringList({QStringLiteral("Disco1.img")}));

    // A second run finds disk 1's image holding files: a disk that is not empty, never overwritten.
    const QByteArray antes = drives_.Read(QStringLiteral("Disquetes QTL99/Disco1.img"));
    TestServices otros{drives_};
    otros.dialogs.Answer(r::kOk).Answer(r::kCancel);
    Generacion(otros.window, otros.lib).GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
    EXPECT_EQ(otros.dialogs.transcript, QStringList({Prompt(1), kBeep, kNoVacia}));
    EXPECT_EQ(drives_.Read(QStringLiteral("Disquetes QTL99/Disco1.img")), antes);
    // Given up at that prompt, the unfinished disk 2 left nothing behind, hidden or not.
    EXPECT_EQ(
        QDir(drives_.Path(QStringLiteral("Disquetes QTL99"))).entryList(QDir::Files | QDir::Hidden),
        QStringList({QStringLiteral("Disco1.img")}));

    // A new set starts on disk 1's image, whatever disk was asked for last.
    platform::InsertDisk(drives_, QStringLiteral("a:"), 2);
    QFile::rename(drives_.Path(QStringLiteral("Disquetes QTL99/Disco1.img")),
                  drives_.Path(QStringLiteral("Disquetes QTL99/Disco2.img")));
    EXPECT_TRUE(Generacion(otros.window, otros.lib).ValidarUnidades());
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
    // Whatever happens, nothing stays mounted for the runs after this one.
    const auto desmontar = qScopeGuard([&] {
        for (int i = 0; i < 4 && QProcess::execute(QStringLiteral("mountpoint"),
                                                   {QStringLiteral("-q"), punto}) == 0;
             ++i) {
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), punto});
        }
    });
    Ini("Disco1=1.BIN,2.BIN,3.BIN,\n", "1");
    for (int i = 1; i <= 3; ++i)
        Fuente(1, QStringLiteral("%1.BIN").arg(i), 40000);
    QStringList enElLleno;
    s_.dialogs.Answer(r::kOk)
        .Answer(r::kRetry,
                [&] {
                    enElLleno = Archivos(QStringLiteral("floppy"));
                    QProcess::execute(QStringLiteral("umount"), {punto});
                    montar();
                })
        .Answer(r::kOk);
    Generar();
    EXPECT_EQ(s_.dialogs.transcript, QStringList({Prompt(1), kBeep, kLleno, kBeep, kFin}));
    EXPECT_EQ(enElLleno, QStringList({"1.BIN", "2.BIN"}));  // no partial third file
    EXPECT_EQ(Archivos(QStringLiteral("floppy")), QStringList({"3.BIN"}));
    EXPECT_TRUE(Igual(1, QStringLiteral("3.BIN"), QStringLiteral("floppy")));
}

// The start button's drive check.
class ValidacionTest : public GeneracionTest {
  protected:
    void SetUp() override {
        GeneracionTest::SetUp();
        Ini("Disco1=A.TXT,\n", "1");
        Fuente(1, QStringLiteral("A.TXT"));
    }
    void Comenzar() { Generacion(s_.window, s_.lib).cmdComenzar_Click(); }
    const QString kDiferentes = BoxLine(
        48, QStringLiteral("Generación de diskettes de Instalación"),
        QStringLiteral("Seleccione unidades diferentes para el origen y el destino de los datos"));
    const QString kSinArchivos = BoxLine(
        48, kQ,
        QStringLiteral(
            "El dispositivo origen, seleccionado no posee los archivos "
            "necesarios para la generacion de discos. Seleccione otro dispositivo y reintente"));
    const QString kDestinoNoVacio =
        BoxLine(48, kQ, QStringLiteral("La unidad de destino debe estar vacia"));
};

TEST_F(ValidacionTest, TheSetWrittenIsTheOneChecked) {
    // The settings are read once for the check and the set: a list changed on the CD once the
    // check has passed does not reach the disks.
    Ini("Disco1=A.TXT,\nDisco2=B.TXT,\n");
    Fuente(2, QStringLiteral("B.TXT"));
    Fuente(2, QStringLiteral("OTRO.TXT"));
    s_.dialogs.Answer(r::kOk, [&] { Ini("Disco1=A.TXT,\nDisco2=B.TXT,OTRO.TXT,\n"); })
        .Answer(r::kOk, [&] { CambiarDisco(QStringLiteral("disco1")); })
        .Answer(r::kOk);
    Comenzar();
    EXPECT_EQ(s_.dialogs.transcript, QStringList({Prompt(1), Prompt(2), kBeep, kFin}));
    EXPECT_EQ(Archivos(QStringLiteral("floppy")), QStringList({"B.TXT"}));
}

TEST_F(ValidacionTest, RefusalsComeInOrderOnePerClick) {
    // Everything wrong at once: only the first refusal shows.
    drives_.Write(QStringLiteral("floppy/x"), "");
    QFile::rename(drives_.Path(QStringLiteral("cd/Archivos.ini")),
                  drives_.Path(QStringLiteral("cd/ARCHIVOS.INI")));
    s_.window.destination = s_.window.source;
    Comenzar();
    EXPECT_EQ(s_.dialogs.transcript, QStringList({kBeep, kDiferentes}));

    s_.dialogs.transcript.clear();
    s_.window.destination = QStringLiteral("a:");
    Comenzar();  // the marker in another letter case does not count
    EXPECT_EQ(s_.dialogs.transcript, QStringList({kBeep, kSinArchivos}));

    s_.dialogs.transcript.clear();
    QFile::rename(drives_.Path(QStringLiteral("cd/ARCHIVOS.INI")),
                  drives_.Path(QStringLiteral("cd/Archivos.ini")));
    Comenzar();
    EXPECT_EQ(s_.dialogs.transcript, QStringList({kBeep, kDestinoNoVacio}));

    // An empty folder counts as content too.
    s_.dialogs.transcript.clear();
    QFile::remove(drives_.Path(QStringLiteral("floppy/x")));
    drives_.MakeFolder(QStringLiteral("floppy/vacia"));
    Comenzar();
    EXPECT_EQ(s_.dialogs.transcript, QStringList({kBeep, kDestinoNoVacio}));
    // And so does a hidden file, alone.
    s_.dialogs.transcript.clear();
    QDir(drives_.Path(QStringLiteral("floppy/vacia"))).removeRecursively();
    drives_.Write(QStringLiteral("floppy/.oculto"), "");
    Comenzar();
    EXPECT_EQ(s_.dialogs.transcript, QStringList({kBeep, kDestinoNoVacio}));
    EXPECT_TRUE(s_.window.labels.empty());  // no run started
}

TEST_F(ValidacionTest, PassingCheckStartsTheRunWithTheDriveLetters) {
    // A folder named Archivos.ini is an acceptable marker.
    QFile::remove(drives_.Path(QStringLiteral("cd/Archivos.ini")));
    drives_.MakeFolder(QStringLiteral("cd/Archivos.ini"));
    drives_.PlaceProgram(QStringLiteral("cd/programa"));  // settings come from the program folder
    drives_.Write(QStringLiteral("cd/programa/Archivos.ini"),
                  "[GENERAL]\nCANTIDAD=1\nDiskPath=\\Discos\\Disco\n[DISCOS]\nDisco1=A.TXT,\n");
    s_.dialogs.Answer(r::kOk).Answer(r::kOk);
    Comenzar();
    EXPECT_EQ(s_.dialogs.transcript, QStringList({Prompt(1), kBeep, kFin}));
    EXPECT_TRUE(Igual(1, QStringLiteral("A.TXT"), QStringLiteral("floppy")));
}

TEST_F(ValidacionTest, UnreadableDriveIsReported) {
    s_.window.destination = QStringLiteral("b:");  // b: has no disk
    drives_.MapDrives(QStringLiteral("d:=cd,optical;a:=floppy;b:=sin-disco"));
    Comenzar();
    EXPECT_EQ(
        s_.dialogs.transcript,
        QStringList(
            {kBeep,
             BoxLine(32, kQ,
                     QStringLiteral("Error: La unidad seleccionada no se encuentra disponible"))}));
    s_.dialogs.transcript.clear();
    s_.window.destination = QStringLiteral("q:");  // not a drive at all
    Comenzar();
    EXPECT_EQ(
        s_.dialogs.transcript,
        QStringList(
            {kBeep, BoxLine(48, kQ, QStringLiteral("Error: Inserte un disco en la unidad"))}));
}

}  // namespace

// The root folder slots the check counts for a name are those mtools takes on a real floppy.
TEST(ComprobacionTest, RootSlotsAreThoseMtoolsTakes) {
    QTemporaryDir carpeta;
    const QString vacio = carpeta.filePath(QStringLiteral("vacio"));
    QFile(vacio).open(QIODevice::WriteOnly);
    for (const char* nombre :
         {"LEEME.TXT", "leeme.txt", "Leeme.txt", "LEEME", "ab cd.txt", "a+b.txt", "{}~", "ab.c.txt",
          "ABCDEFGHI.TXT", "NombreMuyLargoDeArchivo.texto", "it's.txt", "DATOS.TXTS"}) {
        const QString imagen = carpeta.filePath(QStringLiteral("disco.img"));
        QFile::remove(imagen);
        const platform::DriveServices servicios{platform::DefaultSystemCalls(),
                                                platform::DefaultChildren()};
        platform::FatMedium disco(imagen, servicios);
        disco.FormatStandard();
        const int fd = ::open(QFile::encodeName(vacio).constData(), O_RDONLY | O_CLOEXEC);
        disco.CopyIn(fd, QString::fromUtf8(nombre));
        ::close(fd);
        // The root folder of a 1.44 MB floppy: 224 slots of 32 bytes after the boot sector and
        // two FATs of 9 sectors; a slot in use starts with neither 0 (end) nor 0xE5 (deleted).
        QFile f(imagen);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        constexpr qsizetype kRanura = 32;
        f.seek(qint64{19} * 512);
        const QByteArray raiz = f.read(224 * kRanura);
        int usadas = 0;
        for (qsizetype i = 0; i < 224 && raiz[i * kRanura] != 0; ++i)
            usadas += static_cast<unsigned char>(raiz[i * kRanura]) != 0xE5 ? 1 : 0;
        EXPECT_EQ(generacion::EntradasDeDirectorio(QString::fromUtf8(nombre)), usadas) << nombre;
    }
}

TEST(ComprobacionTest, NamesAFatFloppyCannotHold) {
    const struct {
        const char* nombre;
        const char* motivo;  // part of the reason; empty when the name is fine
    } casos[] = {
        {"LEEME.TXT", ""},
        {"ñandú.txt", ""},
        {"LEEME.TXT ", ""},  // trailing blanks are dropped on the way
        {"COM10.TXT", ""},
        {"", "vacío"},
        {" .", "vacío"},
        {"a*b.txt", "«*»"},
        {"a:b", "«:»"},
        {"sub\\a.txt", "«\\»"},
        {"tab\t.txt", "control"},
        {"Ω.txt", "«Ω», que no está en la página de códigos"},
        {"€.txt", "«€»"},
        {"con", "dispositivo de DOS (CON)"},
        {"aux.dat", "dispositivo de DOS (AUX)"},
        {"Lpt1.txt", "dispositivo de DOS (LPT1)"},
    };
    for (const auto& c : casos) {
        const QString motivo = generacion::MotivoNombreFat(QString::fromUtf8(c.nombre));
        if (*c.motivo == 0)
            EXPECT_EQ(motivo, QString()) << c.nombre;
        else
            EXPECT_TRUE(motivo.contains(QString::fromUtf8(c.motivo)))
                << c.nombre << ": " << motivo.toStdString();
    }
}

// A name the floppy cannot hold as given is found at Comenzar, before disk 1: one box names it
// and its disk, and nothing is written. On a folder drive that is no floppy, the same names go.
TEST_F(GeneracionTest, NamesAFloppyCannotHoldAreToldBeforeDiskOne) {
    drives_.MapDrives(QStringLiteral("d:=cd,optical;a:=imagenes,images;e:=carpeta,fixed"));
    drives_.MakeFolder(QStringLiteral("carpeta"));
    for (const char* nombre :
         {"€uro.txt", "œuvre.txt", "con", "COM1.TXT", "a:b", "what?.txt", "x*y", "p|q", "😀.txt"}) {
        const QString malo = QString::fromUtf8(nombre);
        Ini("Disco1=BIEN.TXT,\nDisco2=OTRO.TXT," + malo.toUtf8() + ",\n");
        Fuente(1, QStringLiteral("BIEN.TXT"));
        Fuente(2, QStringLiteral("OTRO.TXT"));
        TestServices s{drives_};
        s.window.destination = QStringLiteral("a: [imagenes]");
        Generacion(s.window, s.lib).cmdComenzar_Click();
        ASSERT_EQ(s.dialogs.transcript.size(), 2) << nombre;
        EXPECT_EQ(s.dialogs.transcript[0], kBeep);
        EXPECT_TRUE(s.dialogs.transcript[1].startsWith(
            BoxLine(48, QStringLiteral("Quintarel"),
                    QStringLiteral("El nombre del archivo %1 del disco 2 no puede grabarse en un "
                                   "diskette: ")
                        .arg(malo))))
            << s.dialogs.transcript[1].toStdString();
        EXPECT_FALSE(drives_.Exists(QStringLiteral("imagenes"))) << nombre;
    }
    // The CD's own folder drive takes what Linux takes.
    Ini("Disco1=€uro.txt,\n", "1");
    Fuente(1, QStringLiteral("€uro.txt"));
    TestServices s{drives_};
    s.window.destination = QStringLiteral("e:");
    s.dialogs.Answer(r::kOk).Answer(r::kOk);
    Generacion(s.window, s.lib).cmdComenzar_Click();
    EXPECT_TRUE(Igual(1, QStringLiteral("€uro.txt"), QStringLiteral("carpeta")));

    // The name that lands on the disk is judged: an entry that climbs out of its folder is
    // copied to the root, one that goes into a folder the floppy lacks fails at its copy (76).
    Ini("Disco1=..\\..\\LEEME.TXT,\nDisco2=SUB\\X.TXT,\n");
    drives_.Write(QStringLiteral("cd/LEEME.TXT"), "léame");
    Fuente(2, QStringLiteral("SUB/X.TXT"));
    TestServices t{drives_};
    t.window.destination = QStringLiteral("a: [imagenes]");
    t.dialogs.Answer(r::kOk).Answer(r::kOk).Answer(r::kCancel);
    Generacion(t.window, t.lib).cmdComenzar_Click();
    EXPECT_EQ(t.dialogs.transcript, QStringList({Prompt(1), Prompt(2), kBeep, kNoDisponible}));
    platform::InsertDisk(drives_, QStringLiteral("a:"), 1);
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("a:\\LEEME.TXT"), 22), u"LEEME.TXT");

    // A name listed twice is the same file copied twice, over itself; two files of the CD that
    // land on one name of the floppy would lose one, and are told before disk 1.
    QDir(drives_.Path(QStringLiteral("imagenes"))).removeRecursively();
    Ini("Disco1=DOS.TXT,dos.txt,UNO.TXT,\n", "1");
    Fuente(1, QStringLiteral("DOS.TXT"));
    Fuente(1, QStringLiteral("UNO.TXT"));
    TestServices u{drives_};
    u.window.destination = QStringLiteral("a: [imagenes]");
    u.dialogs.Answer(r::kOk).Answer(r::kOk);
    Generacion(u.window, u.lib).cmdComenzar_Click();
    EXPECT_EQ(u.dialogs.transcript, QStringList({Prompt(1), kBeep, kFin}));
    Fuente(1, QStringLiteral("dos.txt"), 20);  // another file, where case tells names apart
    QDir(drives_.Path(QStringLiteral("imagenes"))).removeRecursively();
    TestServices v{drives_};
    v.window.destination = QStringLiteral("a: [imagenes]");
    Generacion(v.window, v.lib).cmdComenzar_Click();
    ASSERT_EQ(v.dialogs.transcript.size(), 2);
    EXPECT_TRUE(v.dialogs.transcript[1].contains(u"El nombre del archivo dos.txt del disco 1"))
        << v.dialogs.transcript[1].toStdString();
    EXPECT_FALSE(drives_.Exists(QStringLiteral("imagenes")));

    // A short name with "~" that no long name of its disk would be given is no clash.
    const QStringList cortos = {"AB~1.TXT",         "abcdefghij.txt", "READ~ME.TXT",
                                "readme-first.txt", "Readme.txt",     "READ~1.TXT"};
    Ini("Disco1=" + cortos.join(u',').toUtf8() + ",\n", "1");
    for (const QString& corto : cortos)
        Fuente(1, corto);
    const generacion::ComprobacionCd sinChoque = generacion::ComprobarCd(s_.lib, u"d:"_qs);
    for (const generacion::EntradaComprobada& e : sinChoque.discos.at(0).entradas)
        EXPECT_EQ(e.motivoFat, QString()) << e.nombre.toStdString();
}
