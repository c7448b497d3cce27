// Settings written to do harm, a write-protected disk and command lines built to fool a shell:
// each gets the ordinary behaviour, nothing crashes, nothing leaves its drive.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include "generation/generacion.h"
#include "platform/host/linux_processes.h"
#include "platform/runtime_error.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_drives.h"

namespace {

using qtltest::BoxLine;
namespace r = platform::answer;

const QString kFin =
    BoxLine(64, QStringLiteral("Quintarel"), QStringLiteral("Generación de discos Finalizada"));
const QString kNoDisponible =
    BoxLine(37, QStringLiteral("Quintarel"),
            QStringLiteral("La unidad seleccionada no se encuentra disponible."));
QString Reporte(const char* texto) {
    return BoxLine(48, QStringLiteral("Project1"), QString::fromUtf8(texto));
}

class AjustesHostilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        drives_.MapDrives(QStringLiteral("d:=cd,optical;a:=floppy"));
        drives_.PlaceProgram(QStringLiteral("cd"));
        drives_.MakeFolder(QStringLiteral("floppy"));
        drives_.Write(QStringLiteral("cd/Discos/Disco1/A.TXT"), "a");
        drives_.Write(QStringLiteral("cd/Discos/Disco1/x/y.txt"), "y");
        drives_.Write(QStringLiteral("cd/fuera.txt"), "en la raíz del CD");
        drives_.Write(QStringLiteral("fuera.txt"), "fuera de toda unidad");
    }
    // Files of the whole tree outside the CD (the floppy included), as relative paths.
    QStringList FueraDelCd() {
        QStringList l;
        QDirIterator it(drives_.Path(QString()), QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString rel = QDir(drives_.Path(QString())).relativeFilePath(it.next());
            if (!rel.startsWith(u"cd/"))
                l << rel;
        }
        l.sort();
        return l;
    }
    qtltest::TempDrives drives_;
};

TEST_F(AjustesHostilesTest, EachGetsTheOrdinaryBehaviour) {
    struct Caso {
        const char* nombre;
        QByteArray ini;
        QString ultimaCaja;  // the run's last box
        QStringList floppy;  // what a: holds afterwards
    };
    const QByteArray general = "[GENERAL]\nCANTIDAD=1\nDiskPath=\\Discos\\Disco\n[DISCOS]\n";
    const Caso casos[] = {
        {"DiskPath climbing out",
         "[GENERAL]\nCANTIDAD=1\nDiskPath=\\..\\..\\..\\etc\\\n[DISCOS]\nDisco1=passwd,\n",
         kNoDisponible,
         {}},
        {"list entry climbing out",
         general + "Disco1=..\\..\\..\\fuera.txt,\n",
         kFin,
         {"fuera.txt"}},
        {"absolute drive path", general + "Disco1=c:\\etc\\passwd,\n", kNoDisponible, {}},
        {"forward slashes", general + "Disco1=x/y.txt,\n", kNoDisponible, {}},
        {"control characters",
         general + "Disco1=A\tB.TXT,\x01.TXT,\n",
         Reporte("No se encontró el archivo"),
         {}},
        {"NUL byte ends the line", general + QByteArray("Disco1=A.TXT\0,A.TXT,\n", 21), kFin, {}},
        {"name of 300 characters", general + "Disco1=" + QByteArray(300, 'n') + ",\n", kFin, {}},
        {"254 commas",
         general + "Disco1=" + QByteArray(254, ',') + "\n",
         Reporte("Error de acceso a la ruta o el archivo"),
         {}},
        {"empty count", "[GENERAL]\nCANTIDAD=\n", kFin, {}},
        {"count 1e10", "[GENERAL]\nCANTIDAD=1e10\n", Reporte("Desbordamiento"), {}},
        {"count &HFFFF", "[GENERAL]\nCANTIDAD=&HFFFF\n", kFin, {}},
    };
    for (const Caso& c : casos) {
        QDir(drives_.Path(QStringLiteral("floppy"))).removeRecursively();
        drives_.MakeFolder(QStringLiteral("floppy"));
        drives_.Write(QStringLiteral("cd/Archivos.ini"), c.ini);
        qtltest::TestServices s{drives_};
        s.dialogs.answerer = [](const QString&, int estilo) {
            return platform::style::ButtonSet(estilo) == platform::style::kRetryCancel ? r::kCancel
                                                                                       : r::kOk;
        };
        generacion::Generacion(s.window, s.lib)
            .GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
        EXPECT_EQ(s.dialogs.transcript.last(), c.ultimaCaja) << c.nombre;
        QStringList enFloppy;
        for (const QString& f : FueraDelCd()) {
            if (f.startsWith(u"floppy/"))
                enFloppy << f.mid(7);
        }
        EXPECT_EQ(enFloppy, c.floppy) << c.nombre;
        EXPECT_EQ(drives_.Read(QStringLiteral("fuera.txt")), "fuera de toda unidad") << c.nombre;
        EXPECT_EQ(FueraDelCd().size(), c.floppy.size() + 1) << c.nombre;
    }
}

TEST_F(AjustesHostilesTest, WriteProtectedDiskIsReportedAndLeavesNothing) {
    const QString floppy = drives_.Path(QStringLiteral("floppy"));
    bool montado = false;
    if (::geteuid() == 0) {
        // Root writes through permissions: only a read-only mount protects the disk.
        montado = QProcess::execute(QStringLiteral("mount"),
                                    {"-t", "tmpfs", "-o", "ro,size=64k", "tmpfs", floppy}) == 0;
        if (!montado)
            GTEST_SKIP() << "mount -t tmpfs was refused here";
    } else {
        QFile::setPermissions(floppy, QFile::ReadOwner | QFile::ExeOwner);
    }
    drives_.Write(QStringLiteral("cd/Archivos.ini"),
                  "[GENERAL]\nCANTIDAD=1\nDiskPath=\\Discos\\Disco\n[DISCOS]\nDisco1=A.TXT,\n");
    qtltest::TestServices s{drives_};
    s.dialogs.Answer(r::kOk).Answer(r::kOk);
    testing::internal::CaptureStderr();
    generacion::Generacion(s.window, s.lib)
        .GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
    const std::string dicho = testing::internal::GetCapturedStderr();
    EXPECT_EQ(s.dialogs.transcript.mid(1),
              QStringList({QStringLiteral("Beep"), Reporte("Permiso denegado")}));
    // The box names no disk: standard error says which and why.
    EXPECT_NE(dicho.find((floppy + QStringLiteral("): el disco está protegido")).toStdString()),
              std::string::npos)
        << dicho;
    EXPECT_TRUE(QDir(floppy).isEmpty());
    if (montado)
        QProcess::execute(QStringLiteral("umount"), {floppy});
}

TEST_F(AjustesHostilesTest, NoShellEverReadsALaunchLine) {
    platform::LinuxProcesses procesos(drives_);
    const char* trampas[] = {
        "\"d:\\SETUP\\a;touch pwned\"",
        "\"d:\\SETUP\\$(touch pwned)\"",
        "\"d:\\SETUP\\`touch pwned`\" && touch pwned",
        "\"d:\\SETUP\\x\" \"; touch pwned\"",
        "d:\\SETUP\\x | touch pwned",
    };
    for (const char* linea : trampas) {
        EXPECT_THROW(procesos.Shell(QString::fromUtf8(linea), 2), platform::RuntimeError) << linea;
    }
    // A program whose name and arguments hold shell syntax runs as itself, with them as text.
    const QString nombre = QStringLiteral("eco $(touch pwned) `id`;x.sh");
    drives_.Write(QStringLiteral("cd/SETUP/") + nombre,
                  "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/argumentos\"\n");
    QFile::setPermissions(drives_.Path(QStringLiteral("cd/SETUP/") + nombre),
                          QFile::ReadOwner | QFile::ExeOwner);
    procesos.Shell(QStringLiteral("\"d:\\SETUP\\%1\" \"$(touch pwned)\" ;rm").arg(nombre), 2);
    for (int i = 0; i < 100 && !drives_.Exists(QStringLiteral("cd/SETUP/argumentos")); ++i)
        QThread::msleep(50);
    EXPECT_EQ(drives_.Read(QStringLiteral("cd/SETUP/argumentos")), "$(touch pwned)|;rm|");
    EXPECT_FALSE(drives_.Exists(QStringLiteral("pwned")));
    EXPECT_FALSE(drives_.Exists(QStringLiteral("cd/SETUP/pwned")));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("pwned")));  // nor where the test runs
}

}  // namespace
