#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

#include <atomic>
#include <chrono>
#include <string_view>
#include <thread>

#include "app/lib.h"
#include "platform/host/files.h"
#include "platform/profile.h"
#include "tests/support/temp_drives.h"

namespace {

using qtltest::TempDrives;
using namespace std::string_view_literals;

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
    QString Leer(const char* seccion, const char* clave, const char* porDefecto = "0") {
        return servicios_.lib.LeerIni(QStringLiteral("Archivos.ini"), QString::fromUtf8(seccion),
                                      QString::fromUtf8(clave), QString::fromUtf8(porDefecto));
    }
    TempDrives drives_;
    qtltest::TestServices servicios_{drives_};
};

TEST_F(LecturaIniTest, MissingFileGivesEveryDefaultWhole) {
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"0");
    EXPECT_EQ(Leer("GENERAL", "SetupPath"), u"0");
    EXPECT_EQ(Leer("DISCOS", "Disco1", ""), u"");
    EXPECT_EQ(Leer("GENERAL", "x", "un valor por defecto"), u"un valor por defecto");
}

struct Caso {
    const char* nombre;
    std::string_view contenido;
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
        {"lone CR line ends", "[S]\rk=v\rj=w\r", "S", "j", "w"},
        {"lone CR among LF line ends", "[S]\nk=v\rj=w\n", "S", "j", "w"},
        {"utf16 little endian", "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\xF1\0\xAC\x20"sv, "S", "k", "ñ€"},
        {"utf16 big endian", "\xFE\xFF\0[\0S\0]\0\n\0k\0=\0\xF1\x20\xAC"sv, "S", "k", "ñ€"},
    };
    for (const Caso& c : casos) {
        WriteIni(QByteArray(c.contenido.data(), static_cast<qsizetype>(c.contenido.size())));
        EXPECT_EQ(Leer(c.seccion, c.clave), QString::fromUtf8(c.esperado)) << c.nombre;
    }

    // The private-profile lookup's public conformance vectors for GetPrivateProfileStringA (the
    // Wine project's kernel32 profile tests), each run on its file as written (CR LF) and again
    // with every line ended by a lone CR. Left out: a null section name (the section-name list),
    // relative names looked up in the Windows folder, and share modes.
    static constexpr std::string_view kSeccion1 =
        "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n[section2]\r\n"sv;
    static constexpr std::string_view kS =
        "[s]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n\0"sv;
    static constexpr const char* kIni = "e:\\INSTALA\\Archivos.ini";
    static constexpr const char* kEntero =
        "the default comes back whole (no default in use has blanks)";
    struct Vector {
        std::string_view archivo;
        const char* ruta;  // nullptr: a null file name
        const char* seccion;
        const char* clave;       // nullptr: the key-name list
        const char* porDefecto;  // nullptr: a null default
        int tamano;
        int devuelto;
        std::string_view buffer;           // the buffer's first characters afterwards
        const char* deliberado = nullptr;  // why the row keeps our rule over the vector's
    };
    const Vector vectores[] = {
        {kSeccion1, kIni, "", "name1", "default", 260, 7, "default\0"sv},
        {kSeccion1, kIni, "notasection", "name1", "default", 260, 7, "default\0"sv},
        {kSeccion1, kIni, "", "name1", nullptr, 260, 0, "\0"sv},
        {kSeccion1, kIni, "", "name1", "", 260, 0, "\0"sv},
        {kSeccion1, kIni, "", "name1", "default  ", 260, 9, "default  \0"sv, kEntero},
        {kSeccion1, kIni, "", "name1", "one two  ", 260, 9, "one two  \0"sv, kEntero},
        {kSeccion1, kIni, "", "name1", "one two", 260, 7, "one two\0"sv},
        {kSeccion1, kIni, "section1", nullptr, "default", 260, 18, "name1\0name2\0name4\0\0"sv},
        {kSeccion1, kIni, "section1", "", "default", 260, 7, "default\0"sv},
        {kSeccion1, kIni, "section1", "notakey", "default", 260, 7, "default\0"sv},
        {kSeccion1, kIni, "section1", "", nullptr, 260, 0, "\0"sv},
        {kSeccion1, kIni, "section1", "", "", 260, 0, "\0"sv},
        {kSeccion1, kIni, "section1", "", "default  ", 260, 9, "default  \0"sv, kEntero},
        {kSeccion1, nullptr, "section1", "name1", "default", 260, 7, "default\0"sv},
        {kSeccion1, "", "section1", "name1", "default", 260, 7, "default\0"sv},
        {kSeccion1, "nonexistent", "section1", "name1", "default", 260, 7, "default\0"sv},
        {kSeccion1, kIni, "section1", "name1", "default", 0, 0, "kumquat"sv},
        {kSeccion1, kIni, "section1", "name1", "default", 4, 3, "val\0"sv},
        {kSeccion1, kIni, "section1", "name1", "default", 5, 4, "val1\0"sv},
        {kSeccion1, kIni, "section1", "name4", "default", 260, 1, "a\0"sv},
        {kSeccion1, kIni, "section1", "name4", "default", 1, 0, "\0"sv},
        {kSeccion1, kIni, "section1", nullptr, "default", 16, 14, "name1\0name2\0na\0\0"sv},
        {kSeccion1, kIni, "section1", "name2", "default", 260, 4, "val2\0"sv},
        {kSeccion1, kIni, "section1", "NaMe1", "default", 260, 4, "val1\0"sv},
        {kSeccion1, kIni, "section1", "name1", "default", 260, 4, "val1\0"sv},
        {kSeccion1, kIni, "section2", "DoesntExist", "", 260, 0, "\0"sv},
        {kS, kIni, "s", nullptr, "", 100, 18, "name1\0name2\0name4\0\0"sv},
        // Not from that suite: the smallest buffers, and a key list that just fits.
        {kSeccion1, kIni, "section1", nullptr, "default", 0, 0, "kumquat"sv},
        {kSeccion1, kIni, "section1", nullptr, "default", 1, 0, "\0umquat"sv},
        {kSeccion1, kIni, "section1", nullptr, "default", 2, 0, "\0\0mquat"sv},
        {kSeccion1, kIni, "section1", nullptr, "default", 3, 1, "n\0\0quat"sv},
        {kSeccion1, kIni, "section1", nullptr, "default", 19, 18, "name1\0name2\0name4\0\0"sv},
        {kSeccion1, kIni, "section1", "name1", "default", 2, 1, "v\0mquat"sv},
    };
    for (const Vector& v : vectores) {
        for (const bool soloCr : {false, true}) {
            QByteArray bytes(v.archivo.data(), static_cast<qsizetype>(v.archivo.size()));
            if (soloCr)
                bytes.replace("\r\n", "\r");
            WriteIni(bytes);
            QString buffer = QLatin1StringView("kumquat\0", 8) + QString(252, QChar(0x0C));
            const QString antes = buffer;
            const QString clave = QString::fromUtf8(v.clave);
            const int n = platform::GetPrivateProfileString(
                drives_, QString::fromUtf8(v.seccion), v.clave ? &clave : nullptr,
                QString::fromUtf8(v.porDefecto), buffer, v.tamano, QString::fromUtf8(v.ruta));
            const QString esperado =
                QString::fromLatin1(v.buffer.data(), static_cast<qsizetype>(v.buffer.size()));
            const QString fila = QStringLiteral("%1/%2 size %3%4 %5")
                                     .arg(QString::fromUtf8(v.seccion), clave)
                                     .arg(v.tamano)
                                     .arg(soloCr ? QStringLiteral(" lone CR") : QString())
                                     .arg(QString::fromUtf8(v.deliberado));
            EXPECT_EQ(n, v.devuelto) << fila.toStdString();
            EXPECT_EQ(buffer.left(esperado.size()), esperado) << fila.toStdString();
            EXPECT_EQ(buffer.mid(v.tamano), antes.mid(v.tamano)) << fila.toStdString();
        }
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

    // A FIFO in place of the file reads as no file at once. A writer turns up while the lookup
    // runs: a lookup that waited for one would read its CANTIDAD.
    const QByteArray fifo =
        QFile::encodeName(drives_.Path(QStringLiteral("cd/INSTALA/Archivos.ini")));
    ASSERT_TRUE(QFile::remove(QString::fromLocal8Bit(fifo)));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    std::atomic<bool> hecho{false};
    std::thread escritor([&] {
        // The lookup may close its end before the write: EPIPE, not a SIGPIPE that ends the test.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        while (!hecho) {
            const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                [[maybe_unused]] const ssize_t n = ::write(fd, "[GENERAL]\nCANTIDAD=5\n", 21);
                ::close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"0");
    hecho = true;
    escritor.join();
    ASSERT_TRUE(QFile::remove(QString::fromLocal8Bit(fifo)));

    // A folder in place of the file, and a file that cannot be read.
    drives_.MakeFolder(QStringLiteral("cd/INSTALA/Archivos.ini/x"));
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"0");
}

TEST_F(LecturaIniTest, UnreadableFileGivesTheDefault) {
    WriteIni("[GENERAL]\nCANTIDAD=5\n");
    // Refused, or failing on the way: the whole file or nothing, never a part of it.
    using Op = qtltest::FaultySystem::Op;
    for (const auto& [op, errnum] : {std::pair{Op::kOpen, EACCES}, std::pair{Op::kRead, EIO}}) {
        drives_.settingsSystem.fault = [op = op, errnum = errnum](Op o) {
            return o == op ? errnum : 0;
        };
        EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"0") << static_cast<int>(op);
    }
    drives_.settingsSystem.fault = {};
    EXPECT_EQ(Leer("GENERAL", "CANTIDAD"), u"5");

    QFile::setPermissions(drives_.Path(QStringLiteral("cd/INSTALA/Archivos.ini")),
                          QFile::Permissions());
    // Root reads any file; the test means something only for other users.
    QFile probe(drives_.Path(QStringLiteral("cd/INSTALA/Archivos.ini")));
    if (probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running as root: every file is readable (the refusals above ran)";
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
