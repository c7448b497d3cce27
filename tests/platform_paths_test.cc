#include <gtest/gtest.h>

#include <QFile>
#include <cerrno>

#include "platform/drives/drive.h"
#include "platform/host/files.h"
#include "platform/paths.h"
#include "tests/support/temp_drives.h"

namespace {

using platform::ResolvedPath;
using qtltest::TempDrives;

class RutasTest : public ::testing::Test {
  protected:
    void SetUp() override {
        drives_.Write(QStringLiteral("cd/Discos/Disco1/LEEME.TXT"), "hola");
        drives_.Write(QStringLiteral("cd/Archivos.ini"), "");
        drives_.MakeFolder(QStringLiteral("floppy"));
        drives_.MapDrives(QStringLiteral("d:=cd;a:=floppy;b:=sin-disco"));
    }
    QString Linux(const QString& relative) const { return drives_.Path(relative); }
    TempDrives drives_;
};

TEST_F(RutasTest, ResolvesLikeTheOriginalPlatform) {
    struct Caso {
        const char* ruta = nullptr;
        ResolvedPath::Status status = ResolvedPath::Status::kOk;
        const char* linux = nullptr;  // relative to the tree
        bool exists = false;
        const char* name = nullptr;  // the last name as stored, where it is checked
    };
    const Caso casos[] = {
        {"d:\\Discos\\Disco1\\LEEME.TXT", ResolvedPath::Status::kOk, "cd/Discos/Disco1/LEEME.TXT",
         true, "LEEME.TXT"},
        {"d:\\Discos\\Disco1\\", ResolvedPath::Status::kOk, "cd/Discos/Disco1", true, "Disco1"},
        // the folders as stored, the last name not: it is still found
        {"d:\\Discos\\Disco1\\leeme.txt", ResolvedPath::Status::kOk, "cd/Discos/Disco1/LEEME.TXT",
         true, "LEEME.TXT"},
        {"d:\\Discos\\Disco1\\Nuevo.txt", ResolvedPath::Status::kOk, "cd/Discos/Disco1/Nuevo.txt",
         false, "Nuevo.txt"},
        // case-insensitive match returns the stored names
        {"D:\\DISCOS\\disco1\\leeme.txt", ResolvedPath::Status::kOk, "cd/Discos/Disco1/LEEME.TXT",
         true},
        // both separators, repeated ones, "." dropped
        {"d:/Discos//./Disco1\\\\LEEME.TXT", ResolvedPath::Status::kOk,
         "cd/Discos/Disco1/LEEME.TXT", true},
        // ".." never climbs above the drive root
        {"d:\\..\\..\\Discos\\Disco1\\..\\..\\..\\Archivos.ini", ResolvedPath::Status::kOk,
         "cd/Archivos.ini", true},
        // trailing blanks and dots dropped, leading blanks kept
        {"d:\\Discos \\Disco1.\\LEEME.TXT . ", ResolvedPath::Status::kOk,
         "cd/Discos/Disco1/LEEME.TXT", true},
        {"d:\\Discos\\Disco1\\ LEEME.TXT", ResolvedPath::Status::kOk, "cd/Discos/Disco1/ LEEME.TXT",
         false},
        // a name that does not exist yet keeps its case
        {"a:\\Nuevo.TXT", ResolvedPath::Status::kOk, "floppy/Nuevo.TXT", false},
        // no separator after the colon starts at the root
        {"d:Discos\\Disco1\\LEEME.TXT", ResolvedPath::Status::kOk, "cd/Discos/Disco1/LEEME.TXT",
         true},
        {"d:\\", ResolvedPath::Status::kOk, "cd", true},
        {"d:\\NoHay\\LEEME.TXT", ResolvedPath::Status::kMissingFolder, "cd/NoHay/LEEME.TXT", false},
        // a file on the way is not a folder
        {"d:\\Archivos.ini\\x", ResolvedPath::Status::kMissingFolder, "cd/Archivos.ini/x", false},
        {"d:\\Discos\\Disco1\\LEEME.TXT\\x", ResolvedPath::Status::kMissingFolder,
         "cd/Discos/Disco1/LEEME.TXT/x", false},
        {"b:\\x", ResolvedPath::Status::kNotReady, "", false},
        {"z:\\x", ResolvedPath::Status::kNoDrive, "", false},
        {"\\x", ResolvedPath::Status::kNoDrive, "", false},
        {"", ResolvedPath::Status::kNoDrive, "", false},
    };
    for (const Caso& c : casos) {
        const ResolvedPath r =
            platform::ResolveDrivePath(QString::fromUtf8(c.ruta), drives_.Drives());
        EXPECT_EQ(r.status, c.status) << c.ruta;
        if (*c.linux != 0) {
            EXPECT_EQ(r.linuxPath, Linux(QString::fromUtf8(c.linux))) << c.ruta;
        }
        EXPECT_EQ(r.exists, c.exists) << c.ruta;
        if (c.name != nullptr) {
            EXPECT_EQ(r.name, QString::fromUtf8(c.name)) << c.ruta;
        }
    }

    // What the machine refuses on the way is told from what is not there: a folder that may
    // not be listed is a denial where a listing is needed, and a drive whose folder has gone
    // is not ready.
    struct Rechazo {
        const char* ruta;
        bool sinListar;      // listing a folder is refused (EACCES)
        const char* oculta;  // relative to the tree: gone for the machine
        ResolvedPath::Status status;
    };
    for (const Rechazo& c : {
             Rechazo{"D:\\DISCOS\\disco1\\leeme.txt", true, "", ResolvedPath::Status::kDenied},
             Rechazo{"d:\\Discos\\Disco1\\LEEME.TXT", true, "", ResolvedPath::Status::kOk},
             Rechazo{"a:\\x", false, "floppy", ResolvedPath::Status::kNotReady},
         }) {
        drives_.system.fault = [sinListar = c.sinListar](qtltest::FaultySystem::Op op) {
            return sinListar && op == qtltest::FaultySystem::Op::kListFolder ? EACCES : 0;
        };
        if (*c.oculta != 0)
            drives_.system.seenAs = {
                {QFile::encodeName(Linux(QString::fromUtf8(c.oculta))).toStdString(), ""}};
        EXPECT_EQ(platform::ResolveDrivePath(QString::fromUtf8(c.ruta), drives_.Drives()).status,
                  c.status)
            << c.ruta;
    }
    // The drive whose folder went: its listing says 52, a copy onto it 71.
    EXPECT_EQ(qtltest::ErrorNumber([&] { platform::Dir(drives_, QStringLiteral("a:\\"), 22); }),
              52);
    EXPECT_EQ(qtltest::ErrorNumber([&] {
                  platform::FileCopy(drives_, QStringLiteral("d:\\Discos\\Disco1\\LEEME.TXT"),
                                     QStringLiteral("a:\\LEEME.TXT"));
              }),
              71);
    drives_.system.fault = {};
    drives_.system.seenAs.clear();
}

TEST_F(RutasTest, ExactNameWinsOverACaseInsensitiveOne) {
    drives_.Write(QStringLiteral("cd/leeme.txt"), "minusculas");
    drives_.Write(QStringLiteral("cd/LEEME.TXT"), "mayusculas");
    EXPECT_EQ(platform::ResolveDrivePath(QStringLiteral("d:\\leeme.txt"), drives_.Drives()).name,
              u"leeme.txt");
    EXPECT_EQ(platform::ResolveDrivePath(QStringLiteral("d:\\LEEME.TXT"), drives_.Drives()).name,
              u"LEEME.TXT");
    const QString otra =
        platform::ResolveDrivePath(QStringLiteral("d:\\Leeme.Txt"), drives_.Drives()).name;
    EXPECT_TRUE(otra == u"leeme.txt" || otra == u"LEEME.TXT") << otra.toStdString();
}

TEST_F(RutasTest, AccentedNamesMatchWithoutRegardToCase) {
    drives_.Write(QStringLiteral("cd/INSTALACIÓN.TXT"), "x");
    EXPECT_EQ(
        platform::ResolveDrivePath(QStringLiteral("d:\\instalación.txt"), drives_.Drives()).name,
        u"INSTALACIÓN.TXT");
}

TEST_F(RutasTest, ProgramFolderInDriveForm) {
    drives_.PlaceProgram(QStringLiteral("cd"));
    EXPECT_EQ(platform::AppPath(drives_), u"d:\\");
    drives_.PlaceProgram(QStringLiteral("cd/Discos/Disco1"));
    EXPECT_EQ(platform::AppPath(drives_), u"d:\\Discos\\Disco1");
    // The drive with the longest root wins.
    drives_.MapDrives(QStringLiteral("d:=cd;e:=cd/Discos"));
    EXPECT_EQ(platform::AppPath(drives_), u"e:\\Disco1");
    // A folder reached through a link is on the drive the link leads to, as the host's calls
    // see it: where they cannot follow the link, the folder lies on no drive.
    ASSERT_TRUE(QFile::link(Linux(QStringLiteral("cd/Discos")), Linux(QStringLiteral("enlace"))));
    drives_.PlaceProgram(QStringLiteral("enlace/Disco1"));
    EXPECT_EQ(platform::AppPath(drives_), u"e:\\Disco1");
    drives_.settingsSystem.seenAs = {
        {QFile::encodeName(Linux(QStringLiteral("enlace"))).toStdString(), ""}};
    EXPECT_EQ(platform::AppPath(drives_),
              Linux(QStringLiteral("enlace/Disco1")).replace(u'/', u'\\'));
    drives_.settingsSystem.seenAs.clear();
}

TEST_F(RutasTest, ProgramFolderOnNoDriveGivesNoDrive) {
    drives_.PlaceProgram(QStringLiteral("fuera"));
    const QString ruta = platform::AppPath(drives_);
    EXPECT_FALSE(ruta.size() >= 2 && ruta[1] == u':') << ruta.toStdString();
    EXPECT_EQ(platform::ResolveDrivePath(ruta + QStringLiteral("\\Archivos.ini"), drives_.Drives())
                  .status,
              ResolvedPath::Status::kNoDrive);
}

}  // namespace
