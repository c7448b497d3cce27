// Drives of floppy images: a folder where each disk of the set is an image file, written
// through mtools and named only once its disk is done.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "platform/fat/fat_medium.h"
#include "platform/host/files.h"
#include "platform/runtime_error.h"
#include "tests/support/archivos_fixture.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_drives.h"

namespace {

using qtltest::ArchivosTest;
using qtltest::ErrorNumber;

// A new image's files go on in two mtools runs when its list is done, yet a file that does not
// fit is told at its own copy, and a read-back that fails is told before the image is named.
TEST_F(ArchivosTest, AnImageIsWrittenInTwoRunsAndFailsAtTheRightStep) {
    // Nine files of 293 clusters fill all but 210 of the disk's 2847; the tenth takes 235.
    for (int i = 1; i <= 11; ++i) {
        drives_.Write(QStringLiteral("cd/Discos/Disco1/F%1.BIN").arg(i), Datos(i == 11   ? 1000
                                                                               : i == 10 ? 120000
                                                                                         : 150000)
                                                                             .mid(i));
    }
    drives_.MapDrives(QStringLiteral("d:=cd,optical;e:=imagenes,images"));
    QStringList runs, out;
    drives_.children.fault = [&](const platform::ChildRun& run) {
        runs << QString::fromUtf8(run.arguments[2]);
        const bool readBack = run.arguments[2] == "mcopy" && !run.arguments.back().startsWith("::");
        return readBack && !out.isEmpty() ? qtltest::FaultyChildren::Fault::kFails
                                          : qtltest::FaultyChildren::Fault::kNone;
    };
    auto copy = [&](int i) {
        return ErrorNumber([&] {
            platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\F%1.BIN").arg(i),
                               QStringLiteral("e:\\F%1.BIN").arg(i));
        });
    };
    for (int i = 1; i <= 9; ++i)
        EXPECT_EQ(copy(i), 0) << i;
    EXPECT_EQ(runs, QStringList({u"mformat"_qs}));  // held back
    // Looking at the disk only asks: what is held is found where it is, nothing written.
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("e:\\f3.bin"), 22), u"F3.BIN"_qs);
    EXPECT_FALSE(platform::Dir(drives_, QStringLiteral("e:\\"), 22).isEmpty());
    platform::FileCopy(drives_, QStringLiteral("e:\\F2.BIN"), QStringLiteral("d:\\VUELTA.BIN"));
    platform::FinishDisk(drives_, QStringLiteral("d:"));
    EXPECT_EQ(drives_.Read(QStringLiteral("cd/VUELTA.BIN")),
              drives_.Read(QStringLiteral("cd/Discos/Disco1/F2.BIN")));
    EXPECT_EQ(runs, QStringList({u"mformat"_qs, u"mdir"_qs}));  // the empty image's own look
    runs.removeLast();
    EXPECT_EQ(copy(10), 61);
    // The nine together, copied and read back; then the tenth alone, removed when full.
    EXPECT_EQ(runs,
              QStringList({u"mformat"_qs, u"mcopy"_qs, u"mcopy"_qs, u"mcopy"_qs, u"mdel"_qs}));
    EXPECT_EQ(copy(11), 0);  // one by one from here on
    EXPECT_EQ(ErrorNumber([&] { platform::FinishDisk(drives_, QStringLiteral("e:")); }), 0);
    // Every read-back fails now: the disk is not finished, and its image has no name yet.
    platform::InsertDisk(drives_, QStringLiteral("e:"), 2);
    out << u"falla"_qs;
    EXPECT_EQ(copy(1), 0);
    EXPECT_EQ(copy(2), 0);
    EXPECT_EQ(ErrorNumber([&] { platform::FinishDisk(drives_, QStringLiteral("e:")); }), 57);
    EXPECT_FALSE(drives_.Exists(QStringLiteral("imagenes/Disco2.img")));
    out.clear();  // Retry
    EXPECT_EQ(ErrorNumber([&] { platform::FinishDisk(drives_, QStringLiteral("e:")); }), 0);

    const auto herramienta = qtltest::Herramienta;
    for (const auto& [disco, archivos] :
         {std::pair{1, std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 11}}, {2, {1, 2}}}) {
        const QString imagen = drives_.Path(QStringLiteral("imagenes/Disco%1.img").arg(disco));
        EXPECT_EQ(herramienta(QStringLiteral("fsck.fat"), {QStringLiteral("-n"), imagen}).first, 0);
        for (int i : archivos) {
            EXPECT_EQ(herramienta(QStringLiteral("mtype"), {QStringLiteral("-i"), imagen,
                                                            QStringLiteral("::F%1.BIN").arg(i)})
                          .second,
                      drives_.Read(QStringLiteral("cd/Discos/Disco1/F%1.BIN").arg(i)))
                << disco << " " << i;
        }
    }
    EXPECT_EQ(
        herramienta(QStringLiteral("mdir"), {QStringLiteral("-b"), QStringLiteral("-i"),
                                             drives_.Path(QStringLiteral("imagenes/Disco1.img"))})
            .second.count('\n'),
        10);
}

// What stops a drive of images gets its box's number and one line on standard error that
// names the image or folder and the cause.
TEST_F(ArchivosTest, ADriveOfImagesSaysWhatStopsIt) {
    drives_.Write(QStringLiteral("cd/Discos/Disco1/CHICO.TXT"), "pequeño");
    drives_.MakeFolder(QStringLiteral("carpeta/Disco1.img"));
    drives_.MakeFolder(QStringLiteral("fifo"));
    drives_.MakeFolder(QStringLiteral("protegida"));
    ASSERT_EQ(::mkfifo(qPrintable(drives_.Path(QStringLiteral("fifo/Disco1.img"))), 0600), 0);
    platform::FatMedium(drives_.Path(QStringLiteral("protegida/Disco1.img")), drives_.services)
        .FormatStandard();
    QFile::setPermissions(drives_.Path(QStringLiteral("protegida/Disco1.img")),
                          QFile::ReadOwner | QFile::ReadGroup);
    const QByteArray blanca = drives_.Read(QStringLiteral("protegida/Disco1.img"));
    drives_.Write(QStringLiteral("archivo"), "no es una carpeta");
    drives_.MapDrives(QStringLiteral(
        "d:=cd,optical;e:=carpeta,images;f:=fifo,images;g:=protegida,images;h:=llena,images;"
        "i:=archivo/Disquetes,images"));
    using Op = qtltest::FaultySystem::Op;
    const struct {
        const char* unidad;
        int numero;
        std::vector<const char*> dice;
    } casos[] = {
        {"e:", 75, {"carpeta/Disco1.img", "no es una imagen de disquete", "una carpeta"}},
        {"f:", 75, {"fifo/Disco1.img", "no es una imagen de disquete"}},
        {"g:", 70, {"g:\\CHICO.TXT", "protegida", "protegido contra escritura"}},
        {"h:", 61, {"llena", "Disco1.img", "lleno"}},
        {"i:", 76, {"archivo/Disquetes", "Not a directory"}},
    };
    for (const auto& c : casos) {
        drives_.system.fault = [&c](Op op) {
            return op == Op::kAllocate && c.unidad[0] == 'h' ? ENOSPC : 0;
        };
        const platform::RuntimeError error = qtltest::ErrorOf([&] {
            platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                               QString::fromLatin1(c.unidad) + QStringLiteral("\\CHICO.TXT"));
        });
        EXPECT_EQ(error.number(), c.numero) << c.unidad;
        // The box says only its number's words: the error carries which disk and why.
        for (const char* texto : c.dice) {
            EXPECT_TRUE(error.cause().contains(QString::fromUtf8(texto)))
                << c.unidad << ": " << error.cause().toStdString();
        }
    }
    drives_.system.fault = {};
    EXPECT_EQ(drives_.Read(QStringLiteral("protegida/Disco1.img")), blanca);
}

// An image a desktop has mounted (here behind a loop device) is a disk in use: nothing is
// written underneath its file system. Where a file system cannot rename without replacing
// (FUSE, NFS), a finished disk is named by a link, never over an image that is there.
TEST_F(ArchivosTest, ImagesInUseOrOnFuseKeepEveryByte) {
    drives_.Write(QStringLiteral("cd/Discos/Disco1/CHICO.TXT"), "pequeño");
    platform::FatMedium(drives_.Path(QStringLiteral("disco.img")), drives_.services)
        .FormatStandard();
    drives_.MapDrives(QStringLiteral("d:=cd,optical;a:=disco.img;b:=fuse,images"));
    const QByteArray antes = drives_.Read(QStringLiteral("disco.img"));
    const auto aLaImagen = [&] {
        return ErrorNumber([&] {
            Copiar(QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                   QStringLiteral("a:\\CHICO.TXT"));
        });
    };
    // What the machine says of the image, staged so that it runs without root: a desktop has
    // it mounted (FUSE), or it backs a loop device.
    const QByteArray imagen = QFile::encodeName(drives_.Path(QStringLiteral("disco.img")));
    drives_.Write(QStringLiteral("maquina/mountinfo"),
                  "36 25 0:50 / /media/ana/DISCO rw - fuse.fusefat " + imagen + " rw\n");
    drives_.Write(QStringLiteral("maquina/block/loop3/loop/backing_file"), imagen + "\n");
    const auto ver = [&](const char* ruta, const char* como) {
        return std::pair<const std::string, std::string>(
            ruta, QFile::encodeName(drives_.Path(QString::fromUtf8(como))).toStdString());
    };
    for (const auto& visto :
         {ver("/proc/self/mountinfo", "maquina/mountinfo"), ver("/sys/block", "maquina/block")}) {
        drives_.system.seenAs = {visto};
        EXPECT_EQ(aLaImagen(), 71) << visto.first;
        EXPECT_EQ(drives_.Read(QStringLiteral("disco.img")), antes);
    }
    // The same file as a floppy device mounted now: written through its mount point, never
    // underneath.
    drives_.MakeFolder(QStringLiteral("montado"));
    drives_.Write(QStringLiteral("maquina/mountinfo"),
                  "40 25 2:0 / " + QFile::encodeName(drives_.Path(QStringLiteral("montado"))) +
                      " rw - vfat /dev/fd0 rw\n");
    drives_.system.devices = {{imagen.toStdString(), makedev(2, 0)}};
    drives_.system.seenAs = {ver("/proc/self/mountinfo", "maquina/mountinfo")};
    EXPECT_EQ(aLaImagen(), 0);
    EXPECT_EQ(drives_.Read(QStringLiteral("montado/CHICO.TXT")), "pequeño");
    EXPECT_EQ(drives_.Read(QStringLiteral("disco.img")), antes);
    drives_.system.devices.clear();
    drives_.system.seenAs.clear();

    const auto [estado, lazo] =
        qtltest::Herramienta(QStringLiteral("losetup"),
                             {"-f", "--show", "-r", drives_.Path(QStringLiteral("disco.img"))});
    if (estado == 0) {
        const auto copiar = [&] {
            platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                               QStringLiteral("a:\\CHICO.TXT"));
        };
        const int numero = ErrorNumber(copiar);
        qtltest::Herramienta(QStringLiteral("losetup"), {"-d", QString::fromUtf8(lazo.trimmed())});
        EXPECT_EQ(numero, 71);
        EXPECT_EQ(drives_.Read(QStringLiteral("disco.img")), antes);
    }

    // Two programs on one image, or on one folder of images: the second waits its turn (71).
    drives_.MapDrives(
        QStringLiteral("d:=cd,optical;a:=disco.img;e:=disco.img;b:=fuse,images;c:=fuse,images"));
    const auto aLa = [&](const char* destino) {
        return ErrorNumber([&] {
            platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                               QString::fromLatin1(destino));
        });
    };
    EXPECT_EQ(aLa("a:\\CHICO.TXT"), 0);
    EXPECT_EQ(aLa("e:\\OTRO.TXT"), 71);
    platform::FinishDisk(drives_, QStringLiteral("a:"));
    EXPECT_EQ(aLa("e:\\OTRO.TXT"), 0);
    EXPECT_EQ(aLa("b:\\CHICO.TXT"), 0);
    EXPECT_EQ(aLa("c:\\CHICO.TXT"), 71);
    platform::InsertDisk(drives_, QStringLiteral("b:"), 1);  // b: gives its unfinished disk up

    // With links (NFS) or without (many FUSE mounts), the name is given only where it is free.
    using Op = qtltest::FaultySystem::Op;
    for (const int enlaces : {0, EPERM}) {
        drives_.system.fault = [enlaces](Op op) {
            return op == Op::kRenameNoReplace ? EINVAL : op == Op::kLink ? enlaces : 0;
        };
        for (int disco : {1, 2}) {
            disco += enlaces != 0 ? 3 : 0;
            platform::InsertDisk(drives_, QStringLiteral("b:"), disco);
            platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                               QStringLiteral("b:\\CHICO.TXT"));
            if (disco % 3 == 2)  // another program's image turns up meanwhile
                drives_.Write(QStringLiteral("fuse/Disco%1.img").arg(disco), "ajena");
            EXPECT_EQ(ErrorNumber([&] { platform::FinishDisk(drives_, QStringLiteral("b:")); }),
                      disco % 3 == 1 ? 0 : 71);
        }
    }
    drives_.system.fault = {};
    EXPECT_EQ(drives_.Read(QStringLiteral("fuse/Disco2.img")), "ajena");
    EXPECT_EQ(drives_.Read(QStringLiteral("fuse/Disco5.img")), "ajena");
    platform::InsertDisk(drives_, QStringLiteral("b:"), 4);
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("b:\\"), 22), u"CHICO.TXT");
    platform::InsertDisk(drives_, QStringLiteral("b:"), 1);
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("b:\\"), 22), u"CHICO.TXT");

    // A blank image already there (one kept for an emulator) is written as any other disk:
    // under a name of its own and the folder's lock, and named when its list is done.
    platform::FatMedium(drives_.Path(QStringLiteral("fuse/Disco3.img")), drives_.services)
        .FormatStandard();
    const QByteArray blanca = drives_.Read(QStringLiteral("fuse/Disco3.img"));
    // Its mode (and its owner, where this user may give it) stay with the disk written.
    const QByteArray tercera = QFile::encodeName(drives_.Path(QStringLiteral("fuse/Disco3.img")));
    ASSERT_EQ(::chmod(tercera.constData(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(tercera.constData(), 65534, 65534), 0);
    }
    platform::InsertDisk(drives_, QStringLiteral("b:"), 3);
    platform::InsertDisk(drives_, QStringLiteral("c:"), 3);
    EXPECT_EQ(aLa("b:\\CHICO.TXT"), 0);
    EXPECT_EQ(drives_.Read(QStringLiteral("fuse/Disco3.img")), blanca);
    EXPECT_EQ(aLa("c:\\OTRO.TXT"), 71);
    platform::FinishDisk(drives_, QStringLiteral("b:"));
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("c:\\"), 22), u"CHICO.TXT");
    struct stat escrita {};
    ASSERT_EQ(::stat(tercera.constData(), &escrita), 0);
    EXPECT_EQ(escrita.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(escrita.st_uid, 65534u);
    }
    // A blank with other names would leave them on the blank: a disk in use, and why.
    platform::FatMedium(drives_.Path(QStringLiteral("fuse/Disco6.img")), drives_.services)
        .FormatStandard();
    ASSERT_EQ(::link(QFile::encodeName(drives_.Path(QStringLiteral("fuse/Disco6.img"))),
                     QFile::encodeName(drives_.Path(QStringLiteral("otro-nombre.img")))),
              0);
    platform::InsertDisk(drives_, QStringLiteral("b:"), 6);
    const platform::RuntimeError enlazada = qtltest::ErrorOf([&] {
        platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                           QStringLiteral("b:\\CHICO.TXT"));
    });
    EXPECT_EQ(enlazada.number(), 71);
    EXPECT_TRUE(enlazada.cause().contains(u"enlaces duros")) << enlazada.cause().toStdString();
    QFile::remove(drives_.Path(QStringLiteral("fuse/Disco6.img")));
    EXPECT_EQ(QDir(drives_.Path(QStringLiteral("fuse"))).entryList(QDir::Files | QDir::Hidden),
              QStringList({"Disco1.img", "Disco2.img", "Disco3.img", "Disco4.img", "Disco5.img"}));
    if (estado != 0)
        GTEST_SKIP() << "sin dispositivos de bucle (losetup): " << lazo.constData();
}

// What a killed program leaves (a copy under its temporary name, a disk of images never named)
// is removed before a disk is looked at; what a running one is writing is left alone. An image
// that goes away while its disk is written is a disk taken out, never made afresh.
TEST_F(ArchivosTest, LeftoversOfAGoneProgramGoAndAGoneImageIsADiskTakenOut) {
    drives_.Write(QStringLiteral("cd/Discos/Disco1/CHICO.TXT"), "pequeño");
    drives_.MapDrives(QStringLiteral("d:=cd,optical;a:=floppy;b:=imagenes,images"));
    const QString vivo = QString::number(::getppid());  // a process that runs
    for (const QString& resto : {QStringLiteral("floppy/.QTL99-999999999-3"),
                                 QStringLiteral("imagenes/.Disco1.img.QTL99-999999999-1.tmp")}) {
        drives_.Write(resto, "resto");
    }
    drives_.Write(QStringLiteral("imagenes/.Disco1.img.QTL99-%1-1.tmp").arg(vivo), "suyo");
    platform::InsertDisk(drives_, QStringLiteral("b:"), 1);  // a disk put in: the sweep
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("a:\\"), 22), QString());
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("b:\\"), 22), QString());
    EXPECT_TRUE(QDir(drives_.Path(QStringLiteral("floppy"))).isEmpty());
    EXPECT_EQ(QDir(drives_.Path(QStringLiteral("imagenes"))).entryList(QDir::Files | QDir::Hidden),
              QStringList({QStringLiteral(".Disco1.img.QTL99-%1-1.tmp").arg(vivo)}));

    // What only looks like a leftover stays: a link, a FIFO, a file of another user, a name
    // with no process in it, or one another program made.
    QStringList ajenos;
    for (const QString& carpeta :
         {QStringLiteral("floppy/.QTL99-"), QStringLiteral("imagenes/.Disco2.img.QTL99-")}) {
        const QString fin = carpeta.startsWith(u'f') ? QString() : QStringLiteral(".tmp");
        ajenos << carpeta + QStringLiteral("999999999-5") + fin
               << carpeta + QStringLiteral("999999999-6") + fin
               << carpeta + QStringLiteral("0-7") + fin;
        QFile::link(drives_.Path(QStringLiteral("cd/Discos/Disco1/CHICO.TXT")),
                    drives_.Path(ajenos[ajenos.size() - 3]));
        ASSERT_EQ(::mkfifo(qPrintable(drives_.Path(ajenos[ajenos.size() - 2])), 0600), 0);
        drives_.Write(ajenos.back(), "nadie");
        if (::geteuid() == 0) {
            ajenos << carpeta + QStringLiteral("999999999-8") + fin;
            drives_.Write(ajenos.back(), "de otro");
            ASSERT_EQ(::chown(qPrintable(drives_.Path(ajenos.back())), 65534, 65534), 0);
        }
    }
    ajenos << QStringLiteral("imagenes/.Disco2.img.0badc0de.tmp");
    drives_.Write(ajenos.back(), "de mformat");
    EXPECT_FALSE(platform::Dir(drives_, QStringLiteral("a:\\"), 22).isEmpty());
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("b:\\"), 22), QString());
    for (const QString& ajeno : ajenos)
        EXPECT_TRUE(QFileInfo(drives_.Path(ajeno)).isSymLink() || drives_.Exists(ajeno))
            << qPrintable(ajeno);
    for (const QString& ajeno : ajenos)
        QFile::remove(drives_.Path(ajeno));

    const auto copiar = [&] {
        platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                           QStringLiteral("b:\\CHICO.TXT"));
    };
    copiar();
    for (const QString& nombre :
         QDir(drives_.Path(QStringLiteral("imagenes")))
             .entryList({QStringLiteral(".Disco1.img.QTL99-*")}, QDir::Files | QDir::Hidden)) {
        if (!nombre.contains(vivo))
            QFile::remove(drives_.Path(QStringLiteral("imagenes/") + nombre));
    }
    EXPECT_EQ(ErrorNumber(copiar), 71);
    EXPECT_EQ(ErrorNumber(copiar), 71);  // Retry: still out, never made afresh
    EXPECT_EQ(ErrorNumber([&] { platform::FinishDisk(drives_, QStringLiteral("b:")); }), 71);
    EXPECT_FALSE(drives_.Exists(QStringLiteral("imagenes/Disco1.img")));
}

}  // namespace
