// Copies onto and out of drives that are folders of the machine: the floppy's mount point, the
// CD's, any folder the table names.
#include <gtest/gtest.h>

#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <utility>

#include "platform/host/files.h"
#include "tests/support/archivos_fixture.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_drives.h"

namespace {

using qtltest::ArchivosTest;
using qtltest::ErrorNumber;

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
