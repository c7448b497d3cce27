// A FAT floppy reached through mtools, here an image file standing for the disk in the drive.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include "platform/fat/fat_medium.h"
#include "platform/host/files.h"
#include "tests/support/archivos_fixture.h"
#include "tests/support/fakes.h"

namespace {

using qtltest::ArchivosTest;
using qtltest::ErrorNumber;

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

}  // namespace
