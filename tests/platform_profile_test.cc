#include <gtest/gtest.h>

#include "app/lib.h"
#include "platform/profile.h"
#include "tests/support/temp_cd.h"

namespace {

using qtltest::TempDrives;

// The settings file lives on drive e:, in the program folder e:\INSTALA.
class LecturaIniTest : public ::testing::Test {
  protected:
    void SetUp() override {
        drives_.MapDrives(QStringLiteral("e:=cd"));
        drives_.PlaceProgram(QStringLiteral("cd/INSTALA"));
    }
    void WriteIni(const QByteArray& bytes) {
        drives_.Write(QStringLiteral("cd/INSTALA/Archivos.ini"), bytes);
    }
    static QString Leer(const char* seccion, const char* clave, const char* porDefecto = "0") {
        return Lib::LeerIni(QStringLiteral("Archivos.ini"), QString::fromUtf8(seccion),
                            QString::fromUtf8(clave), QString::fromUtf8(porDefecto));
    }
    TempDrives drives_;
};

TEST_F(LecturaIniTest, MissingFileGivesEveryDefaultWhole) {
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"0");
    EXPECT_EQ(Leer("GENERAL", "SetupPath"), u"0");
    EXPECT_EQ(Leer("DISCOS", "Disco1", ""), u"");
    EXPECT_EQ(Leer("GENERAL", "x", "un valor por defecto"), u"un valor por defecto");
}

struct Caso {
    const char* nombre;
    const char* contenido;
    const char* seccion;
    const char* clave;
    const char* esperado;
};

TEST_F(LecturaIniTest, ValuesFollowTheLookupRules) {
    const Caso casos[] = {
        {"blanks around equals", "[GENERAL]\nCANTIDAD = 3   \n", "GENERAL", "CANTIDAD", "3"},
        {"names without case", "[general]\ndiskpath=\\DISCO\n", "GENERAL", "DiskPath", "\\DISCO"},
        {"empty value is not the default", "[DISCOS]\nDisco2=\n", "DISCOS", "Disco2", ""},
        {"missing section", "[OTRA]\nCANTIDAD=4\n", "GENERAL", "CANTIDAD", "0"},
        {"missing key", "[GENERAL]\nOtra=4\n", "GENERAL", "CANTIDAD", "0"},
        {"key of another section", "[A]\nk=1\n[B]\nk=2\n", "B", "k", "2"},
        {"double quotes removed", "[S]\nk=\"  a b \"\n", "S", "k", "  a b "},
        {"single quotes removed", "[S]\nk='x'\n", "S", "k", "x"},
        {"lone quote stays", "[S]\nk=\"abc\n", "S", "k", "\"abc"},
        {"mismatched quotes stay", "[S]\nk=\"abc'\n", "S", "k", "\"abc'"},
        {"only one pair removed", "[S]\nk=\"\"a\"\"\n", "S", "k", "\"a\""},
        {"semicolon inside a value stays", "[S]\nk=a;b ; c\n", "S", "k", "a;b ; c"},
        {"comment line ignored", "[S]\n;k=1\nk=2\n", "S", "k", "2"},
        {"first equals splits", "[S]\nk=a=b\n", "S", "k", "a=b"},
        {"tabs trimmed", "[S]\n\tk\t=\tv\t\n", "S", "k", "v"},
        {"CR LF line ends", "[S]\r\nk=v\r\nj=w\r\n", "S", "j", "w"},
        {"no line end at the end", "[S]\nk=v", "S", "k", "v"},
        {"blanks around section name", "[ S ]\nk=v\n", "S", "k", "v"},
        {"no sections at all", "k=v\n", "S", "k", "0"},
        {"utf8 accents kept", "[S]\nk=Instalación\n", "S", "k", "Instalación"},
        {"cp1252 accents decoded", "[S]\nk=Instalaci\xf3n \x80\n", "S", "k", "Instalación €"},
        {"utf8 byte-order mark skipped", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "v"},
    };
    for (const Caso& c : casos) {
        WriteIni(QByteArray(c.contenido));
        EXPECT_EQ(Leer(c.seccion, c.clave), QString::fromUtf8(c.esperado)) << c.nombre;
    }
}

TEST_F(LecturaIniTest, EachLookupReadsTheFileAnew) {
    WriteIni("[GENERAL]\nCANTIDAD=1\n");
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"1");
    WriteIni("[GENERAL]\nCANTIDAD=2\n");
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"2");
}

TEST_F(LecturaIniTest, LongValuesAreCutTo254Characters) {
    const QByteArray largo(300, 'x');
    WriteIni("[DISCOS]\nDisco1=" + largo + "\n");
    EXPECT_EQ(Leer("DISCOS", "Disco1", ""), QString(254, u'x'));

    // An accented value counts characters, not bytes.
    QByteArray acentos;
    for (int i = 0; i < 300; ++i)
        acentos += "ñ";
    WriteIni("[DISCOS]\nDisco1=" + acentos + "\n");
    EXPECT_EQ(Leer("DISCOS", "Disco1", ""), QString(254, u'ñ'));
}

TEST_F(LecturaIniTest, EmptyKeyListsTheKeyNames) {
    WriteIni("[GENERAL]\nSetupPath=a\nPowerPath=b\nCANTIDAD=3\nDiskPath=c\n[DISCOS]\nDisco1=x,\n");
    const QString esperado = QStringLiteral("SetupPath") + QChar(0) + "PowerPath" + QChar(0) +
                             "CANTIDAD" + QChar(0) + "DiskPath" + QChar(0);
    EXPECT_EQ(Leer("GENERAL", ""), esperado);

    // Names that do not all fit are cut inside the last one, and 253 characters come back.
    QByteArray muchas = "[S]\n";
    QString todas;
    for (int i = 0; i < 30; ++i) {
        const QByteArray nombre = "Clave" + QByteArray::number(i * 1000);
        muchas += nombre + "=1\n";
        todas += QString::fromLatin1(nombre) + QChar(0);
    }
    WriteIni(muchas);
    ASSERT_GT(todas.size(), 254);
    EXPECT_EQ(Leer("S", ""), todas.left(253));
}

TEST_F(LecturaIniTest, HostileFilesGiveAClearResult) {
    // A 10 MB file with a 100,000-character line, NUL bytes and binary noise.
    QByteArray grande = "[GENERAL]\n" + QByteArray(100000, 'z') + "\n";
    for (int i = 0; i < 2000; ++i)
        grande += "Clave" + QByteArray::number(i) + "=" + QByteArray(5000, 'v') + "\n";
    grande += "CANTIDAD=7\n";
    WriteIni(grande);
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"7");
    EXPECT_EQ(Leer("GENERAL", "Clave3").size(), 254);

    static constexpr char kConNul[] = "[GENERAL]\nCANTIDAD=5\0basura\nDiskPath=\\D\n";
    WriteIni(QByteArray(kConNul, sizeof kConNul - 1));
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"5");
    EXPECT_EQ(Leer("GENERAL", "DiskPath"), u"\\D");

    QByteArray binario;
    for (int i = 0; i < 4096; ++i)
        binario += static_cast<char>((i * 7919) & 0xFF);
    WriteIni(binario);
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"0");

    WriteIni("");
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"0");

    // A folder in place of the file, and a file that cannot be read.
    drives_.MakeFolder(QStringLiteral("cd/INSTALA/Archivos.ini/x"));
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"0");
}

TEST_F(LecturaIniTest, UnreadableFileGivesTheDefault) {
    WriteIni("[GENERAL]\nCANTIDAD=5\n");
    QFile::setPermissions(drives_.Path(QStringLiteral("cd/INSTALA/Archivos.ini")),
                          QFile::Permissions());
    // Root reads any file; the test means something only for other users.
    QFile probe(drives_.Path(QStringLiteral("cd/INSTALA/Archivos.ini")));
    if (probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running as root: every file is readable";
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"0");
}

TEST_F(LecturaIniTest, FileNameIsFoundWhateverItsCase) {
    drives_.Write(QStringLiteral("cd/INSTALA/ARCHIVOS.INI"), "[GENERAL]\nCANTIDAD=9\n");
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"9");
}

TEST(DecodificacionTest, Utf8WhenValidOtherwiseWindows1252) {
    EXPECT_EQ(platform::DecodeProfileText("Espa\xc3\xb1"
                                          "a"),
              u"España");
    EXPECT_EQ(platform::DecodeProfileText("Espa\xf1"
                                          "a"),
              u"España");
    EXPECT_EQ(platform::DecodeProfileText("\x93"
                                          "x"
                                          "\x94"),
              u"\u201cx\u201d");
    EXPECT_EQ(platform::DecodeProfileText("\xEF\xBB\xBF"
                                          "a"),
              u"a");
}

}  // namespace
