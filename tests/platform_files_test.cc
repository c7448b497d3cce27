#include <gtest/gtest.h>

#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utime.h>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/fat/fat_medium.h"
#include "platform/host/files.h"
#include "platform/runtime_error.h"
#include "tests/support/temp_drives.h"

namespace {

using qtltest::TempDrives;

using qtltest::ErrorNumber;

class ArchivosTest : public ::testing::Test {
  protected:
    void SetUp() override {
        drives_.Write(QStringLiteral("cd/Discos/Disco1/DATOS.BIN"), Datos(3 << 20));
        drives_.MakeFolder(QStringLiteral("floppy"));
        drives_.MapDrives(QStringLiteral("d:=cd,optical;a:=floppy;b:=sin-disco"));
    }
    // A copy as the loop makes one: named once its disk is done.
    void Copiar(const QString& desde, const QString& hacia) {
        platform::FileCopy(drives_, desde, hacia);
        platform::FinishDisk(drives_, hacia.left(2));
    }
    static QByteArray Datos(int n) {
        QByteArray b(n, Qt::Uninitialized);
        for (int i = 0; i < n; ++i)
            b[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
        return b;
    }
    TempDrives drives_;
};

TEST_F(ArchivosTest, CopyIsByteIdenticalKeepsTheTimeAndReplaces) {
    const QString fuente = drives_.Path(QStringLiteral("cd/Discos/Disco1/DATOS.BIN"));
    struct utimbuf t {
        1000000000, 1000000000
    };
    ASSERT_EQ(::utime(QFile::encodeName(fuente).constData(), &t), 0);
    drives_.Write(QStringLiteral("floppy/datos.bin"), "viejo contenido mas largo que nada");

    Copiar(QStringLiteral("D:\\discos\\DISCO1\\datos.bin"), QStringLiteral("a:\\datos.bin"));
    // The existing entry is replaced under its stored name.
    EXPECT_EQ(drives_.Read(QStringLiteral("floppy/datos.bin")),
              drives_.Read(QStringLiteral("cd/Discos/Disco1/DATOS.BIN")));
    EXPECT_EQ(QFileInfo(drives_.Path(QStringLiteral("floppy/datos.bin")))
                  .lastModified()
                  .toSecsSinceEpoch(),
              1000000000);

    Copiar(QStringLiteral("d:\\Discos\\Disco1\\DATOS.BIN"), QStringLiteral("a:\\Nuevo.Bin"));
    EXPECT_TRUE(drives_.Exists(QStringLiteral("floppy/Nuevo.Bin")));
}

TEST_F(ArchivosTest, CopyFailuresRaiseTheirNumbersAndLeaveNothing) {
    drives_.MakeFolder(QStringLiteral("cd/Discos/Carpeta"));
    struct Caso {
        const char* desde;
        const char* hacia;
        int numero;
    };
    const Caso casos[] = {
        {"q:\\x", "a:\\x", 68},
        {"d:\\Discos\\Disco1\\DATOS.BIN", "q:\\x", 68},
        {"b:\\x", "a:\\x", 71},
        {"d:\\Discos\\Disco1\\DATOS.BIN", "b:\\x", 71},
        {"d:\\NoHay\\x", "a:\\x", 76},
        {"d:\\Discos\\Disco1\\DATOS.BIN", "a:\\NoHay\\x", 76},
        {"d:\\Discos\\Disco1\\FALTA.BIN", "a:\\FALTA.BIN", 53},
        {"d:\\Discos\\Disco1\\", "a:\\", 75},
        {"d:\\Discos\\Carpeta", "a:\\Carpeta", 75},
        // the source copied onto itself would be emptied
        {"d:\\Discos\\Disco1\\DATOS.BIN", "d:\\discos\\disco1\\datos.bin", 75},
    };
    const QByteArray original = drives_.Read(QStringLiteral("cd/Discos/Disco1/DATOS.BIN"));
    for (const Caso& c : casos) {
        EXPECT_EQ(ErrorNumber([&] {
                      platform::FileCopy(drives_, QString::fromUtf8(c.desde),
                                         QString::fromUtf8(c.hacia));
                  }),
                  c.numero)
            << c.desde << " -> " << c.hacia;
    }
    EXPECT_EQ(drives_.Read(QStringLiteral("cd/Discos/Disco1/DATOS.BIN")), original);
    EXPECT_TRUE(QDir(drives_.Path(QStringLiteral("floppy"))).isEmpty());
}

TEST_F(ArchivosTest, FailurePartWayRemovesThePartialCopy) {
    const std::pair<qtltest::FaultySystem::Op, std::pair<int, int>> casos[] = {
        {qtltest::FaultySystem::Op::kWrite, {ENOSPC, 61}},
        {qtltest::FaultySystem::Op::kWrite, {EIO, 57}},
        {qtltest::FaultySystem::Op::kRead, {EIO, 57}},
        {qtltest::FaultySystem::Op::kSync, {EIO, 57}},
        {qtltest::FaultySystem::Op::kSync, {ENOSPC, 61}},
        {qtltest::FaultySystem::Op::kClose, {EDQUOT, 61}},
        {qtltest::FaultySystem::Op::kOpenDestination, {EROFS, 70}},
        {qtltest::FaultySystem::Op::kWrite, {ENODEV, 71}},
        {qtltest::FaultySystem::Op::kCopyRange, {ENOSPC, 61}},
        {qtltest::FaultySystem::Op::kCopyRange, {EIO, 57}},
    };
    // The copy of an earlier attempt stands under the name; a failed copy never touches it.
    drives_.Write(QStringLiteral("floppy/DATOS.BIN"), "copia anterior");
    for (const auto& [op, fallo] : casos) {
        int vistas = 0;
        // The second time the operation comes, after a first block was written.
        drives_.system.fault = ([&, op = op, e = fallo.first](qtltest::FaultySystem::Op o) {
            // Reads and writes are the program's own where the kernel cannot copy.
            if (o == qtltest::FaultySystem::Op::kCopyRange &&
                (op == qtltest::FaultySystem::Op::kWrite || op == qtltest::FaultySystem::Op::kRead))
                return EXDEV;
            return (o == op &&
                    (++vistas == 2 || op == qtltest::FaultySystem::Op::kOpenDestination ||
                     op == qtltest::FaultySystem::Op::kSync ||
                     op == qtltest::FaultySystem::Op::kClose ||
                     op == qtltest::FaultySystem::Op::kVerify))
                       ? e
                       : 0;
        });
        EXPECT_EQ(ErrorNumber([&] {
                      platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\DATOS.BIN"),
                                         QStringLiteral("a:\\DATOS.BIN"));
                  }),
                  fallo.second);
        EXPECT_EQ(drives_.Read(QStringLiteral("floppy/DATOS.BIN")), "copia anterior");
        EXPECT_EQ(QDir(drives_.Path(QStringLiteral("floppy")), {}, QDir::NoSort,
                       QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)
                      .count(),
                  1u)
            << static_cast<int>(op);
    }
    drives_.system.fault = {};

    // The kernel's own copy failing: a file size limit gives EFBIG, a full disk for the user.
    struct rlimit antes {};
    ::getrlimit(RLIMIT_FSIZE, &antes);
    const auto senal = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limite = antes;
    limite.rlim_cur = 1 << 20;
    ::setrlimit(RLIMIT_FSIZE, &limite);
    const int numero = ErrorNumber([&] {
        platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\DATOS.BIN"),
                           QStringLiteral("a:\\DATOS.BIN"));
    });
    ::setrlimit(RLIMIT_FSIZE, &antes);
    ::signal(SIGXFSZ, senal);
    EXPECT_EQ(numero, 61);
    EXPECT_EQ(drives_.Read(QStringLiteral("floppy/DATOS.BIN")), "copia anterior");
}

// Copies take their names in turns, once they and the others of the turn are durable; one that
// cannot be named is never taken for written.
TEST_F(ArchivosTest, CopiesAreNamedInTurnsOnlyOnceDurable) {
    using Op = qtltest::FaultySystem::Op;
    const auto copiar = [&](int i) {
        platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\DATOS.BIN"),
                           QStringLiteral("a:\\%1.BIN").arg(i));
    };
    const auto nombrados = [&] {
        return QDir(drives_.Path(QStringLiteral("floppy")), {}, QDir::Name, QDir::Files).count();
    };
    copiar(1);
    EXPECT_EQ(nombrados(), 0u);  // when the disk is done
    drives_.system.fileSystem = MSDOS_SUPER_MAGIC;
    for (int i = 2; i <= 9; ++i)
        copiar(i);
    EXPECT_EQ(nombrados(), 8u);  // on FAT eight at a time
    // A root folder full of the temporary names: the turn is named, and the copy goes on.
    int llenos = 0;
    drives_.system.fault = [&](Op op) {
        return op == Op::kOpenDestination && llenos++ == 0 ? ENOSPC : 0;
    };
    copiar(10);
    EXPECT_EQ(nombrados(), 9u);
    // The disk's sync fails: neither copy of the turn is named, and the disk says so until
    // another one is asked for.
    drives_.system.fault = [&](Op op) { return op == Op::kSync ? EIO : 0; };
    EXPECT_EQ(ErrorNumber([&] { platform::FinishDisk(drives_, QStringLiteral("a:")); }), 57);
    drives_.system.fault = {};
    EXPECT_EQ(ErrorNumber([&] { platform::FinishDisk(drives_, QStringLiteral("a:")); }), 57);
    EXPECT_EQ(
        QDir(drives_.Path(QStringLiteral("floppy")), {}, QDir::Name, QDir::Files | QDir::Hidden)
            .count(),
        9u);
    platform::InsertDisk(drives_, QStringLiteral("a:"), 2);
    EXPECT_EQ(ErrorNumber([&] { platform::FinishDisk(drives_, QStringLiteral("a:")); }), 0);
    // The names are given but their own sync fails: no more taken for written than above.
    copiar(11);
    int syncs = 0;
    drives_.system.fault = [&](Op op) { return op == Op::kSync && ++syncs == 2 ? EIO : 0; };
    EXPECT_EQ(ErrorNumber([&] { platform::FinishDisk(drives_, QStringLiteral("a:")); }), 57);
    EXPECT_EQ(syncs, 2);
    drives_.system.fault = {};
    EXPECT_EQ(ErrorNumber([&] { platform::FinishDisk(drives_, QStringLiteral("a:")); }), 57);
}

TEST_F(ArchivosTest, NothingIsFollowedOffItsDrive) {
    const QString fuera = drives_.Path(QStringLiteral("fuera.txt"));
    drives_.Write(QStringLiteral("fuera.txt"), "de otro");
    // A link on the disk is replaced by the copy, and what it pointed at is left alone.
    QFile::link(fuera, drives_.Path(QStringLiteral("floppy/BIG2.DAT")));
    Copiar(QStringLiteral("d:\\Discos\\Disco1\\DATOS.BIN"), QStringLiteral("a:\\BIG2.DAT"));
    EXPECT_EQ(drives_.Read(QStringLiteral("fuera.txt")), "de otro");
    EXPECT_FALSE(QFileInfo(drives_.Path(QStringLiteral("floppy/BIG2.DAT"))).isSymLink());
    EXPECT_EQ(drives_.Read(QStringLiteral("floppy/BIG2.DAT")).size(), 3 << 20);

    // Sources that leave their drive or are not files are refused, without waiting on them.
    QFile::link(fuera, drives_.Path(QStringLiteral("cd/Discos/Disco1/SHADOW.TXT")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(drives_.Path(QStringLiteral("cd/Discos/Disco1/PIPE.DAT")))
                           .constData(),
                       0644),
              0);
    for (const char* nombre : {"SHADOW.TXT", "PIPE.DAT"}) {
        EXPECT_EQ(ErrorNumber([&] {
                      platform::FileCopy(
                          drives_,
                          QStringLiteral("d:\\Discos\\Disco1\\") + QString::fromLatin1(nombre),
                          QStringLiteral("a:\\") + QString::fromLatin1(nombre));
                  }),
                  75)
            << nombre;
        EXPECT_FALSE(drives_.Exists(QStringLiteral("floppy/") + QString::fromLatin1(nombre)));
    }

    // The copy's permissions are the source's less the umask, never wider.
    const QString fuente = drives_.Path(QStringLiteral("cd/Discos/Disco1/DATOS.BIN"));
    QFile::setPermissions(fuente, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const mode_t mascara = ::umask(027);
    Copiar(QStringLiteral("d:\\Discos\\Disco1\\DATOS.BIN"), QStringLiteral("a:\\P.BIN"));
    ::umask(mascara);
    struct stat st {};
    ::stat(QFile::encodeName(drives_.Path(QStringLiteral("floppy/P.BIN"))).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ArchivosTest, AFolderThatMayNotBeReadIsPermissionNotAbsence) {
    // Root reads through permissions, so the check runs as nobody in a child process.
    ::chmod(QFile::encodeName(drives_.Path(QString())).constData(), 0755);
    ::chmod(QFile::encodeName(drives_.Path(QStringLiteral("cd/Discos/Disco1"))).constData(), 0);
    auto comoNadie = [](auto op) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            std::_Exit(1);
        std::_Exit(ErrorNumber(op));
    };
    EXPECT_EXIT(comoNadie([&] {
                    platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\DATOS.BIN"),
                                       QStringLiteral("a:\\DATOS.BIN"));
                }),
                ::testing::ExitedWithCode(70), "");
    EXPECT_EXIT(
        comoNadie([&] { platform::Dir(drives_, QStringLiteral("d:\\Discos\\Disco1\\"), 22); }),
        ::testing::ExitedWithCode(70), "");
}

TEST_F(ArchivosTest, CopyThatReadsBackDifferentlyIsRemoved) {
    // The medium changes one byte of the finished copy before it is read back.
    drives_.system.fault = ([this](qtltest::FaultySystem::Op op) {
        if (op == qtltest::FaultySystem::Op::kVerify) {
            for (const QFileInfo& copia : QDir(drives_.Path(QStringLiteral("floppy")), {},
                                               QDir::NoSort, QDir::Files | QDir::Hidden)
                                              .entryInfoList()) {
                QFile f(copia.filePath());
                if (f.open(QIODevice::ReadWrite) && f.seek(2000000))
                    f.write("X", 1);
            }
        }
        return 0;
    });
    // Read back with the disk's other copies once they are all on the medium.
    platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\DATOS.BIN"),
                       QStringLiteral("a:\\DATOS.BIN"));
    EXPECT_EQ(ErrorNumber([&] { platform::FinishDisk(drives_, QStringLiteral("a:")); }), 57);
    EXPECT_TRUE(QDir(drives_.Path(QStringLiteral("floppy"))).isEmpty());
}

TEST_F(ArchivosTest, AnImageFileStandsForTheDiskInTheDrive) {
    drives_.Write(QStringLiteral("cd/Discos/Disco1/CHICO.TXT"), "pequeño");
    platform::FatMedium(drives_.Path(QStringLiteral("disco.img")), drives_.services)
        .FormatStandard();
    drives_.MapDrives(QStringLiteral("d:=cd,optical;a:=disco.img;b:=falta.img"));
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("a:\\"), 22), QString());
    platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                       QStringLiteral("a:\\chico.txt"));
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("a:\\"), 22), u"chico.txt");
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("a:\\CHICO.TXT"), 22), u"chico.txt");
    // And out again: a disk in such a drive can be a source as well.
    Copiar(QStringLiteral("a:\\CHICO.TXT"), QStringLiteral("d:\\COPIA.TXT"));
    EXPECT_EQ(drives_.Read(QStringLiteral("cd/COPIA.TXT")), "pequeño");
    EXPECT_EQ(ErrorNumber([&] {
                  platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                                     QStringLiteral("a:\\SUB\\CHICO.TXT"));
              }),
              76);
    // A cut image is no whole disk (mtools would write past its end), and a link where a drive
    // of images keeps its image (to another set's) is a disk in use: never followed nor replaced.
    QFile::copy(drives_.Path(QStringLiteral("disco.img")),
                drives_.Path(QStringLiteral("corta.img")));
    QFile::resize(drives_.Path(QStringLiteral("corta.img")), 20000);
    drives_.MakeFolder(QStringLiteral("imagenes"));
    QFile::link(drives_.Path(QStringLiteral("disco.img")),
                drives_.Path(QStringLiteral("imagenes/Disco1.img")));
    drives_.MapDrives(
        QStringLiteral("d:=cd,optical;a:=disco.img;b:=falta.img;c:=corta.img;e:=imagenes,images;"
                       "f:=x.img@@0,images"));
    EXPECT_EQ(ErrorNumber([&] { platform::Dir(drives_, QStringLiteral("c:\\"), 22); }), 57);
    EXPECT_EQ(ErrorNumber([&] {
                  platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                                     QStringLiteral("c:\\CHICO.TXT"));
              }),
              57);
    EXPECT_EQ(QFileInfo(drives_.Path(QStringLiteral("corta.img"))).size(), 20000);
    const QByteArray enlazada = drives_.Read(QStringLiteral("disco.img"));
    EXPECT_EQ(ErrorNumber([&] { platform::Dir(drives_, QStringLiteral("e:\\"), 22); }), 71);
    EXPECT_EQ(ErrorNumber([&] {
                  platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                                     QStringLiteral("e:\\CHICO.TXT"));
              }),
              71);
    EXPECT_EQ(ErrorNumber([&] { platform::FinishDisk(drives_, QStringLiteral("e:")); }), 71);
    EXPECT_EQ(drives_.Read(QStringLiteral("disco.img")), enlazada);
    EXPECT_TRUE(QFileInfo(drives_.Path(QStringLiteral("imagenes/Disco1.img"))).isSymLink());
    // mtools reads "name@@offset" as another file at an offset: the images of a folder so named
    // are its own, and the image file beside it is not touched.
    QFile::copy(drives_.Path(QStringLiteral("disco.img")), drives_.Path(QStringLiteral("x.img")));
    const QByteArray vecina = drives_.Read(QStringLiteral("x.img"));
    platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                       QStringLiteral("f:\\OTRO.TXT"));
    platform::FinishDisk(drives_, QStringLiteral("f:"));
    EXPECT_EQ(drives_.Read(QStringLiteral("x.img")), vecina);
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("f:\\"), 22), u"OTRO.TXT");
    EXPECT_TRUE(drives_.Exists(QStringLiteral("x.img@@0/Disco1.img")));

    // No image, no disk.
    EXPECT_EQ(ErrorNumber([&] { platform::Dir(drives_, QStringLiteral("b:\\"), 22); }), 52);
    EXPECT_EQ(ErrorNumber([&] {
                  platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\CHICO.TXT"),
                                     QStringLiteral("b:\\CHICO.TXT"));
              }),
              71);
}

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

TEST_F(ArchivosTest, DirListsEveryKindOfEntry) {
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("a:\\"), 22), QString());
    drives_.Write(QStringLiteral("floppy/.oculto"), "");
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("a:\\"), 22), u".oculto");
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("d:\\discos\\disco1\\datos.bin"), 22),
              u"DATOS.BIN");
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("d:\\DISCOS"), 22),
              u"Discos");  // a folder counts
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("d:\\Archivos.ini"), 22), QString());
    EXPECT_EQ(platform::Dir(drives_, QStringLiteral("d:\\NoHay\\"), 22), QString());
    EXPECT_EQ(ErrorNumber([&] { platform::Dir(drives_, QStringLiteral("b:\\"), 22); }), 52);
    EXPECT_EQ(ErrorNumber([&] { platform::Dir(drives_, QStringLiteral("q:\\"), 22); }), 68);
    EXPECT_EQ(ErrorNumber([&] { platform::Dir(drives_, QStringLiteral("d:\\NoHay\\x\\"), 22); }),
              76);
}

}  // namespace

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
