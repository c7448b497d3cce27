// FAT floppies written through mtools, checked with the tools themselves: every image must pass
// fsck.fat and give back with mcopy exactly what went in.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <array>
#include <cerrno>
#include <vector>

#include "platform/fat/fat_medium.h"
#include "platform/runtime_error.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_drives.h"

namespace {

using platform::FatMedium;
using Falla = qtltest::FaultyChildren::Fault;

using qtltest::ErrorNumber;

using qtltest::Herramienta;

class FatTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (int fd : abiertos_)
            ::close(fd);
    }
    QString Ruta(const QString& n) const { return dir_.filePath(n); }
    platform::DriveServices servicios_{platform::DefaultSystemCalls(), platform::DefaultChildren()};
    // A blank floppy made by mformat itself, then whatever the mtools commands put on it.
    QString Imagen(const QString& n, const QList<QStringList>& ordenes = {}) {
        Mtools(QStringLiteral("mformat -C -f 1440 -v ETIQUETA -i").split(u' ') << Ruta(n) << "::");
        for (const QStringList& orden : ordenes)
            Mtools(orden.mid(0, 1) + QStringList{"-i", Ruta(n)} + orden.mid(1));
        return Ruta(n);
    }
    void Mtools(const QStringList& orden) {
        ASSERT_EQ(Herramienta(QStringLiteral("mtools"), QStringList{"-c"} + orden).first, 0)
            << orden.first().toStdString();
    }
    int Fuente(const QString& n, const QByteArray& datos, int modo = O_RDONLY) {
        QFile f(Ruta(n));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(datos) == datos.size());
        f.close();
        abiertos_.push_back(::open(QFile::encodeName(Ruta(n)).constData(), modo | O_CLOEXEC));
        return abiertos_.back();
    }
    static QByteArray Leer(const QString& ruta) {
        QFile f(ruta);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QStringList Listado(const QString& imagen) {
        const QByteArray salida =
            Herramienta(QStringLiteral("mdir"), {"-/", "-a", "-b", "-i", imagen, "::/"}).second;
        return QString::fromUtf8(salida).split(u'\n', Qt::SkipEmptyParts);
    }
    static QByteArray Extraer(const QString& imagen, const QString& nombre) {
        // mtools reads a source name as a pattern: "a[1].txt" would name "a1.txt".
        QString patron = nombre;
        patron.replace(u'[', QStringLiteral("\\[")).replace(u']', QStringLiteral("\\]"));
        return Herramienta(QStringLiteral("mtype"), {"-i", imagen, "::/" + patron}).second;
    }
    static bool Limpia(const QString& imagen) {
        return Herramienta(QStringLiteral("fsck.fat"), {"-n", imagen}).first == 0;
    }
    static QByteArray Datos(int n, int semilla) {
        QByteArray b(n, Qt::Uninitialized);
        for (int i = 0; i < n; ++i)
            b[i] = static_cast<char>((i * 131 + i / 7 + semilla) & 0xFF);
        return b;
    }
    QTemporaryDir dir_;
    std::vector<int> abiertos_;
};

TEST_F(FatTest, FormatStandardMakesAWholeCleanFloppyOrNothing) {
    FatMedium disco(Ruta(QStringLiteral("Disco1.img")), servicios_);
    EXPECT_FALSE(QFileInfo::exists(disco.path()));
    disco.FormatStandard();
    EXPECT_TRUE(QFileInfo::exists(disco.path()));
    EXPECT_EQ(QFileInfo(disco.path()).size(), 1474560);
    EXPECT_TRUE(Limpia(disco.path()));
    EXPECT_EQ(disco.FirstEntry(), QString());
    // The geometry of `mformat -f 1440`: its boot sector's parameter block, serial aside.
    const QString muestra = Imagen(QStringLiteral("muestra.img"));
    QFile a(disco.path()), b(muestra);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.read(36).mid(11), b.read(36).mid(11));
    QFile::remove(muestra);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Disco1.img"});

    EXPECT_EQ(ErrorNumber([&] {
                  FatMedium(Ruta(QStringLiteral("no/hay.img")), servicios_).FormatStandard();
              }),
              76);
    QFile::setPermissions(disco.path(), QFile::ReadOwner);
    EXPECT_EQ(ErrorNumber([&] { disco.FormatStandard(); }), 70);
}

TEST_F(FatTest, EveryEntryButTheVolumeLabelMakesADiskNotEmpty) {
    const QString texto = Ruta(QStringLiteral("texto.txt"));
    Fuente(QStringLiteral("texto.txt"), "hola");
    const struct {
        QList<QStringList> ordenes;
        QString primera;
    } casos[] = {
        {{}, QString()},  // only the label
        {{{"mcopy", texto, "::/OCULTO.TXT"}, {"mattrib", "+h", "::/OCULTO.TXT"}}, "OCULTO.TXT"},
        {{{"mcopy", texto, "::/IO.SYS"}, {"mattrib", "+s", "::/IO.SYS"}}, "IO.SYS"},
        {{{"mmd", "::/Carpeta vacía"}}, "Carpeta vacía"},
    };
    for (const auto& c : casos) {
        FatMedium disco(Imagen(QStringLiteral("d.img"), c.ordenes), servicios_);
        EXPECT_EQ(disco.FirstEntry(), c.primera);
        EXPECT_EQ(disco.StoredName(c.primera.toLower()), c.primera);
    }
}

TEST_F(FatTest, CopiesReadBackByteForByteAndACaseTwinReplacesTheEntry) {
    FatMedium disco(Ruta(QStringLiteral("Disco1.img")), servicios_);
    disco.FormatStandard();
    const QString nombres[] = {"DATOS.BIN", "Nombre largo de archivo ñ.txt", "a[1].txt", "a1.txt",
                               "3"};
    int semilla = 0;
    for (const QString& n : nombres) {
        const QByteArray datos = Datos(150000 + semilla, semilla);
        const int fd = Fuente(QStringLiteral("fuente%1").arg(semilla++), datos);
        ::futimens(fd, std::array<timespec, 2>{{{1000000000, 0}, {1000000000, 0}}}.data());
        disco.CopyIn(fd, n);
        EXPECT_EQ(Extraer(disco.path(), n), datos) << n.toStdString();
    }
    EXPECT_EQ(Listado(disco.path()),
              QStringList({"::/DATOS.BIN", "::/Nombre largo de archivo ñ.txt", "::/a[1].txt",
                           "::/a1.txt", "::/3"}));
    // The modification time went with the data.
    Mtools({"mcopy", "-m", "-i", disco.path(), "::/DATOS.BIN", Ruta(QStringLiteral("fuera"))});
    EXPECT_EQ(QFileInfo(Ruta(QStringLiteral("fuera"))).lastModified().toSecsSinceEpoch(),
              1000000000);

    const QByteArray nuevos = Datos(90000, 7);
    disco.CopyIn(Fuente(QStringLiteral("nuevos"), nuevos), QStringLiteral("datos.bin"));
    EXPECT_EQ(Listado(disco.path()).first(), u"::/DATOS.BIN");
    EXPECT_EQ(Listado(disco.path()).size(), 5);
    EXPECT_EQ(Extraer(disco.path(), QStringLiteral("DATOS.BIN")), nuevos);
    EXPECT_TRUE(Limpia(disco.path()));

    const int destino = Fuente(QStringLiteral("destino"), {}, O_WRONLY);
    disco.CopyOut(QStringLiteral("a[1].TXT"), destino);
    EXPECT_EQ(Leer(Ruta(QStringLiteral("destino"))),
              Extraer(disco.path(), QStringLiteral("a[1].txt")));
    EXPECT_EQ(ErrorNumber([&] { disco.CopyOut(QStringLiteral("NOHAY.TXT"), destino); }), 53);
}

TEST_F(FatTest, FailedCopiesRaiseTheirNumberAndLeaveTheDiskAsItWas) {
    const QString grande = Ruta(QStringLiteral("grande"));
    Fuente(QStringLiteral("grande"), Datos(1400000, 1));
    QDir().mkpath(Ruta(QStringLiteral("muchos")));
    QStringList raizLlena = {"mcopy"};
    for (int i = 0; i < 223; ++i) {  // the label takes the 224th slot
        Fuente(QStringLiteral("muchos/F%1.TXT").arg(i), "x");
        raizLlena << Ruta(QStringLiteral("muchos/F%1.TXT").arg(i));
    }
    raizLlena << QStringLiteral("::/");
    const QString uno = Ruta(QStringLiteral("uno"));
    Fuente(QStringLiteral("uno"), "uno");
    const QString ceros = Ruta(QStringLiteral("ceros.img"));
    QFile f(ceros);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(1474560));
    ::mkfifo(QFile::encodeName(Ruta(QStringLiteral("fifo"))).constData(), 0600);
    const int fifo =
        ::open(QFile::encodeName(Ruta(QStringLiteral("fifo"))).constData(), O_RDWR | O_CLOEXEC);
    abiertos_.push_back(fifo);

    const struct {
        const char* que;
        QList<QStringList> ordenes;
        QString nombre;
        int numero;
        int fuente = 0;  // 0 an ordinary file, 1 one that cannot be read back, 2 a FIFO
        QString imagen = {};
        // What goes wrong with the nth mtools run of the copy (1 the write, 2 the read-back).
        Falla falla = Falla::kNone;
        int enRun = 0;
    } casos[] = {
        {"full", {{"mcopy", grande, "::/LLENO.BIN"}}, "MAS.BIN", 61},
        {"root full", {raizLlena}, "OTRO.TXT", 61},
        {"wildcard", {}, "a*b.txt", 52},
        {"device name", {}, "con", 52},
        {"device name with an extension", {}, "Aux.txt", 52},
        {"DEL", {}, "a\x7f.txt", 52},
        {"drive colon", {}, "x:y.txt", 52},
        {"too long", {}, QString(256, u'a'), 52},
        {"beyond 16 bits", {}, QString::fromUtf8("\xF0\x9F\x98\x80.txt"), 52},
        {"stored as another name", {}, QString::fromUtf8("\xE2\x82\xACuro.txt"), 52},
        {"empty", {}, "", 75},
        {"dots", {}, " . .", 75},
        {"folder", {{"mmd", "::/Disk full"}}, "disk full", 75},
        {"folder named as the child's source", {{"mmd", "::/3"}}, "3", 75},
        {"fifo source", {}, "X.TXT", 75, 2},
        {"new entry misread", {}, "NUEVO.TXT", 57, 1},
        {"replacement misread", {{"mcopy", uno, "::/LISTA.TXT"}}, "lista.txt", 57, 1},
        {"read-only image", {{"mcopy", uno, "::/LISTA.TXT"}}, "lista.txt", 70, 0, "ro"},
        {"no image", {}, "X.TXT", 71, 0, Ruta(QStringLiteral("no-hay.img"))},
        {"not a FAT disk", {}, "X.TXT", 57, 0, ceros},
        {"mtools cannot start", {}, "X.TXT", 75, 0, {}, Falla::kNotStarted, 1},
        {"mtools killed", {}, "X.TXT", 57, 0, {}, Falla::kKilled, 1},
        {"mtools fails", {}, "X.TXT", 57, 0, {}, Falla::kFails, 1},
        {"mtools hangs", {}, "X.TXT", 71, 0, {}, Falla::kHangs, 1},
        {"read-back cut short", {}, "X.TXT", 57, 0, {}, Falla::kShort, 2},
        {"read-back hangs", {}, "X.TXT", 71, 0, {}, Falla::kHangs, 2},
    };
    qtltest::FaultyChildren hijos;
    const platform::DriveServices conFallas{platform::DefaultSystemCalls(), hijos};
    for (const auto& c : casos) {
        QString imagen = c.imagen;
        if (imagen.isEmpty() || imagen == u"ro")
            imagen = Imagen(QStringLiteral("d.img"), c.ordenes);
        if (c.imagen == u"ro")
            QFile::setPermissions(imagen, QFile::ReadOwner | QFile::ReadGroup);
        const QByteArray bytes = Leer(imagen);
        const QStringList listado = Listado(imagen);
        const int fuente = c.fuente == 2 ? fifo
                                         : Fuente(QStringLiteral("fuente"), Datos(100000, 3),
                                                  c.fuente == 1 ? O_WRONLY : O_RDONLY);

        int runs = 0;
        hijos.fault = [&](const platform::ChildRun&) {
            return ++runs == c.enRun ? c.falla : Falla::kNone;
        };
        EXPECT_EQ(ErrorNumber([&] { FatMedium(imagen, conFallas).CopyIn(fuente, c.nombre); }),
                  c.numero)
            << c.que;
        hijos.fault = {};
        EXPECT_EQ(Listado(imagen), listado) << c.que;
        if (c.imagen == u"ro") {
            EXPECT_EQ(Leer(imagen), bytes);
        }
        if (c.imagen.isEmpty() || c.imagen == u"ro") {
            EXPECT_TRUE(Limpia(imagen)) << c.que;
            if (listado.contains(u"::/LISTA.TXT")) {
                EXPECT_EQ(Extraer(imagen, QStringLiteral("LISTA.TXT")), "uno") << c.que;
            }
            QFile::remove(imagen);
        }
    }
}

// The configuration mtools reads is made for each run: one that could not be made fails that
// run, says why, and the next run makes it again.
TEST_F(FatTest, AConfigurationThatCouldNotBeMadeFailsOnlyItsRun) {
    const QString imagen = Imagen(QStringLiteral("d.img"), {});
    qtltest::FaultySystem sistema;
    qtltest::FaultyChildren hijos;
    const platform::DriveServices servicios{sistema, hijos};
    sistema.fault = [](qtltest::FaultySystem::Op op) {
        return op == qtltest::FaultySystem::Op::kMemoryFile ? ENOMEM : 0;
    };
    const platform::RuntimeError error =
        qtltest::ErrorOf([&] { FatMedium(imagen, servicios).FirstEntry(); });
    EXPECT_EQ(error.number(), 75);
    EXPECT_TRUE(error.cause().contains(u"configuración de mtools")) << error.cause().toStdString();
    sistema.fault = {};
    EXPECT_EQ(FatMedium(imagen, servicios).FirstEntry(), QString());
}

}  // namespace
