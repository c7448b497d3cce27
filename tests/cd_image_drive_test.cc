// A CD image as the CD drive: names found as on any drive, files copied out of it whole and
// with their time, nothing written to it, and an image that cannot be read said once.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "platform/drives/drive.h"
#include "platform/host/files.h"
#include "platform/host/linux_host.h"
#include "platform/runtime_error.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_drives.h"

namespace {

using qtltest::ErrorNumber;

class ImagenDeCdTest : public ::testing::Test {
  protected:
    void SetUp() override {
        drives_.Write(QStringLiteral("cd/Archivos.ini"), "[GENERAL]\nCANTIDAD=1\n");
        drives_.Write(QStringLiteral("cd/Discos/Disco1/LEEME.TXT"), "hola");
        drives_.MakeFolder(QStringLiteral("cd/Discos/Vacia"));
        drives_.MakeFolder(QStringLiteral("floppy"));
    }
    // The CD made an image `iso` with xorriso's `options`, mapped to d: unless it is another;
    // false where xorriso cannot.
    bool Imagen(const QStringList& options, const QString& iso = QStringLiteral("cd.iso")) {
        QProcess xorriso;
        xorriso.start(QStringLiteral("xorriso"),
                      QStringList{QStringLiteral("-as"), QStringLiteral("mkisofs"),
                                  QStringLiteral("-quiet")} +
                          options +
                          QStringList{QStringLiteral("-o"), drives_.Path(iso),
                                      drives_.Path(QStringLiteral("cd"))});
        if (!xorriso.waitForFinished(60000) || xorriso.exitCode() != 0)
            return false;
        if (iso == u"cd.iso")
            drives_.MapDrives(QStringLiteral("d:=cd.iso,optical;a:=floppy"));
        return true;
    }
    // `iso` made a BIN/CUE pair, `cue` and the .bin beside it; false where it cannot be.
    bool BinCue(const QString& iso, const QString& cue) {
        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QStringLiteral(QTL99_BIN_CUE), drives_.Path(iso), drives_.Path(cue)});
        return python.waitForFinished(60000) && python.exitCode() == 0;
    }
    qtltest::TempDrives drives_;
};

TEST_F(ImagenDeCdTest, NamesAreFoundAsOnAnyDriveWithTheirVersionDropped) {
    struct Caso {
        const char* opciones;
        const char* marca;  // the settings file's stored name
    };
    for (const Caso& caso : {Caso{"-R -J", "Archivos.ini"}, Caso{"-J --norock", "Archivos.ini"},
                             Caso{"-iso-level 1 --norock", "ARCHIVOS.INI"}}) {
        SCOPED_TRACE(caso.opciones);
        if (!Imagen(QString::fromLatin1(caso.opciones).split(u' ')))
            GTEST_SKIP() << "xorriso makes no image here";
        platform::Host& host = drives_;
        EXPECT_EQ(platform::Dir(host, u"d:\\archivos.INI"_qs, 22), QString::fromLatin1(caso.marca));
        EXPECT_EQ(platform::Dir(host, u"D:\\DISCOS\\disco1\\leeme.txt"_qs, 22), u"LEEME.TXT"_qs);
        EXPECT_EQ(platform::Dir(host, u"d:\\Discos\\Vacia\\"_qs, 22), QString());
        EXPECT_EQ(platform::Dir(host, u"d:\\Discos\\nada"_qs, 22), QString());
        EXPECT_EQ(ErrorNumber([&] { platform::Dir(host, u"d:\\nada\\x"_qs, 22); }), 76);
        // Read whole through the drive, as the settings and the check read it.
        platform::DriveFile leido;
        std::string bytes;
        EXPECT_EQ(
            platform::ReadDriveFile(host, u"d:\\Discos\\Disco1\\leeme.txt"_qs, &leido, &bytes), 0);
        EXPECT_EQ(bytes, "hola");
        // Read through, kept nowhere, as the check reads it: the same size and the same file.
        platform::DriveFile visto;
        EXPECT_EQ(
            platform::ReadDriveFile(host, u"d:\\Discos\\Disco1\\LEEME.TXT"_qs, &visto, nullptr), 0);
        EXPECT_EQ(visto.bytes, 4);
        EXPECT_EQ(visto.identity, leido.identity);

        platform::FileCopy(host, u"d:\\Discos\\Disco1\\LEEME.TXT"_qs, u"a:\\LEEME.TXT"_qs);
        platform::FinishDisk(host, u"a:"_qs);
        EXPECT_EQ(drives_.Read(QStringLiteral("floppy/LEEME.TXT")), QByteArray("hola"));
        EXPECT_EQ(QFileInfo(drives_.Path(u"floppy/LEEME.TXT"_qs)).lastModified().toSecsSinceEpoch(),
                  QFileInfo(drives_.Path(u"cd/Discos/Disco1/LEEME.TXT"_qs))
                      .lastModified()
                      .toSecsSinceEpoch());
        struct Fallo {
            const char* desde;
            const char* hacia;
            int numero;
        };
        for (const Fallo& f :
             {Fallo{"d:\\Discos\\Disco1\\NADA.TXT", "a:\\x", 53},
              Fallo{"d:\\Discos\\Vacia", "a:\\x", 75}, Fallo{"d:\\Discos\\Disco1\\", "a:\\x", 75},
              Fallo{"a:\\LEEME.TXT", "d:\\COPIA.TXT", 70}}) {
            EXPECT_EQ(ErrorNumber([&] {
                          platform::FileCopy(host, QString::fromLatin1(f.desde),
                                             QString::fromLatin1(f.hacia));
                      }),
                      f.numero)
                << f.desde;
        }
    }
}

TEST_F(ImagenDeCdTest, AnImageThatCannotBeReadIsADriveWithNoDiscSaidOnce) {
    drives_.Write(QStringLiteral("cd.iso"), QByteArray(qsizetype{64} * 1024, 'x'));
    drives_.MapDrives(QStringLiteral("d:=cd.iso,optical;a:=floppy"));
    platform::Host& host = drives_;
    EXPECT_EQ(ErrorNumber([&] { platform::Dir(host, u"d:\\Archivos.ini"_qs, 22); }), 52);
    EXPECT_EQ(ErrorNumber([&] { platform::FileCopy(host, u"d:\\A.TXT"_qs, u"a:\\A.TXT"_qs); }), 71);
    ASSERT_EQ(drives_.ownNotices.lines.size(), 1);
    EXPECT_TRUE(drives_.ownNotices.lines.front().contains(u"no es una imagen de CD ISO 9660"))
        << drives_.ownNotices.lines.front().toStdString();
}

// A .bin rewritten in place (another CD copied over it) while its sheet stays as it was: the
// image is read anew, never the old folders at the new sectors.
TEST_F(ImagenDeCdTest, ABinChangedUnderItsSheetIsReadAnew) {
    if (!Imagen({QStringLiteral("-J")}) || !BinCue(u"cd.iso"_qs, u"cd.cue"_qs))
        GTEST_SKIP() << "xorriso or python3 makes no BIN/CUE here";
    drives_.MapDrives(QStringLiteral("d:=cd.cue,optical;a:=floppy"));
    platform::Host& host = drives_;
    const QString leeme = u"d:\\Discos\\Disco1\\LEEME.TXT"_qs;
    platform::DriveFile leido;
    std::string bytes;
    ASSERT_EQ(platform::ReadDriveFile(host, leeme, &leido, &bytes), 0);
    EXPECT_EQ(bytes, "hola");

    // The other CD: a file before LEEME.TXT moves it, and it says something else.
    drives_.Write(QStringLiteral("cd/Discos/Disco1/AAAA.TXT"), QByteArray(20000, 'a'));
    drives_.Write(QStringLiteral("cd/Discos/Disco1/LEEME.TXT"), "adiós, mundo");
    ASSERT_TRUE(Imagen({QStringLiteral("-J")}, u"otro.iso"_qs) &&
                BinCue(u"otro.iso"_qs, u"otro.cue"_qs));
    QFile bin(drives_.Path(u"cd.bin"_qs));
    ASSERT_TRUE(bin.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(bin.write(drives_.Read(u"otro.bin"_qs)),
              QFileInfo(drives_.Path(u"otro.bin"_qs)).size());
    bin.close();
    ASSERT_EQ(platform::ReadDriveFile(host, leeme, &leido, &bytes), 0);
    EXPECT_EQ(QString::fromStdString(bytes), u"adiós, mundo"_qs);
}

// QTL99 --cd X: the CD given has a drive of its own, the first letter from d: left free, and is
// the program's folder, so App.Path is that drive's root, an image's as a folder's.
TEST_F(ImagenDeCdTest, TheProgramsCdGivenIsADriveOfItsOwn) {
    if (!Imagen({QStringLiteral("-R"), QStringLiteral("-J")}))
        GTEST_SKIP() << "xorriso makes no image here";
    for (const QString& cd : {drives_.Path(u"cd.iso"_qs), drives_.Path(u"cd"_qs)}) {
        qtltest::ScriptedDialogs cajas;
        qtltest::FakeScreen pantalla;
        qtltest::SaidNotices avisos;
        platform::LinuxHost host(cajas, pantalla, avisos,
                                 u"c:=/;d:=/nada,optical;a:="_qs + drives_.Path(u"floppy"_qs));
        host.GiveProgramCd(cd);
        EXPECT_EQ(platform::AppPath(host), u"e:\\"_qs) << cd.toStdString();
        EXPECT_EQ(platform::Dir(host, u"e:\\ARCHIVOS.INI"_qs, 22), u"Archivos.ini"_qs);
        const platform::Drive* e = platform::FindDrive(host.Drives(), u'e');
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->info().kind, platform::DriveKind::kOptical);
        EXPECT_TRUE(avisos.lines.isEmpty()) << avisos.lines.join(u'\n').toStdString();
    }
}

}  // namespace
