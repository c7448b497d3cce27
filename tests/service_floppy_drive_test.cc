// The disk service's USB floppy drive as a drive of the program: each disk mounted by the
// service when it is written, and let go before the next prompt.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include "app/lib.h"
#include "generation/generacion.h"
#include "platform/diskservice/udisks.h"
#include "platform/drives/drive.h"
#include "platform/drives/drive_services.h"
#include "platform/drives/service_floppy_drive.h"
#include "platform/host/files.h"
#include "platform/host/linux_host.h"
#include "tests/support/answer_probe.h"
#include "tests/support/disk_service_fixture.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_drives.h"

namespace {

using platform::UDisksClient;
using platform::UDisksFailure;
using qtltest::kFloppyBlock;
using qtltest::ServicioDeDiscosTest;

// This machine's host, asking the stand-in service for its floppy drives, with the program on
// a CD in a temporary folder (on c:, which is "/").
class HostOnCd : public platform::LinuxHost {
  public:
    HostOnCd(qtltest::ScriptedDialogs& dialogs, qtltest::FakeScreen& screen,
             qtltest::SaidNotices& notices, platform::FloppySources floppies, QString cd,
             platform::SystemCalls& system = platform::DefaultSystemCalls())
        : LinuxHost(dialogs, screen, notices, QString(), std::move(floppies), system),
          cd_(std::move(cd)) {}
    QString ProgramFolder() override { return cd_; }

  private:
    QString cd_;
};

// A disk set written through the host onto the stand-in service's USB floppy drive, whose
// device nodes are nowhere (so the program, root or not, must have the service mount each disk).
class DisqueteraDelServicioTest : public ServicioDeDiscosTest {
  protected:
    void SetUp() override {
        ServicioDeDiscosTest::SetUp();
        StartService(folder_.filePath(QStringLiteral("dev/")));
        host_ = Anfitrion(UDisksClient::kActionTimeoutMs);
        QString discos = folder_.filePath(QStringLiteral("cd/Discos/Disco"));
        discos.replace(u'/', u'\\');
        Escribir(QStringLiteral("cd/Archivos.ini"),
                 "[GENERAL]\nCANTIDAD=3\nDiskPath=" + discos.toUtf8() +
                     "\n[DISCOS]\nDisco1=UNO.TXT,\nDisco2=DOS.TXT,\nDisco3=TRES.TXT,\n");
        for (const char* f :
             {"Discos/Disco1/UNO.TXT", "Discos/Disco2/DOS.TXT", "Discos/Disco3/TRES.TXT"})
            Escribir(u"cd/"_qs + QLatin1String(f), QByteArray(3000, f[12]));
        // The floppy drive: listed with no disk in it, and the images beside it.
        for (const auto& d : host_->Drives()) {
            if (d->info().device == folder_.filePath(QStringLiteral("dev/sdb")))
                destino_ = d->name();
        }
        ASSERT_FALSE(destino_.isEmpty());
        if (!QFile::exists(QStringLiteral("/dev/fd0"))) {  // a machine with no floppy of its own
            EXPECT_EQ(destino_, u"a:");
            const platform::Drive* b = platform::FindDrive(host_->Drives(), u'b');
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(b->info().kind, platform::DriveKind::kImages);
        }
        // Only a mount tells whether a disk is in: asking mounts nothing, choosing it does.
        Insertar(9);
        platform::Drive* drive = platform::FindDrive(host_->Drives(), destino_[0]);
        EXPECT_TRUE(drive->IsReady());
        EXPECT_EQ(Montada(), QStringList{});
        Control(QStringLiteral("EjectDisk"));
        drive->InsertDisk(1);  // a disk may have changed: looked at afresh
        EXPECT_FALSE(drive->MakeReady());
        EXPECT_TRUE(notices_.lines.join(u'\n').contains(u"no hay ningún disco en la unidad"))
            << notices_.lines.join(u'\n').toStdString();
        window_.destination = destino_;
    }

    // The host, its disk service's actions given up after `actionTimeoutMs`.
    std::unique_ptr<HostOnCd> Anfitrion(int actionTimeoutMs) {
        platform::FloppySources fuentes;
        fuentes.disks =
            std::make_shared<UDisksClient>(bus_, UDisksClient::kQueryTimeoutMs, actionTimeoutMs);
        fuentes.udev = {};
        auto host = std::make_unique<HostOnCd>(dialogs_, screen_, notices_, fuentes,
                                               folder_.filePath("cd"), sistema_);
        lib_ = std::make_unique<Lib::Modulo>(*host, window_);
        return host;
    }
    void Escribir(const QString& relative, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(folder_.filePath(relative)).absolutePath());
        QFile f(folder_.filePath(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // The user puts disk `n` in the drive: an empty FAT floppy, mounted (when it is) on a
    // folder of its own.
    void Insertar(int n) {
        const QString carpeta = folder_.filePath(QStringLiteral("DISCO%1").arg(n));
        QDir().mkpath(carpeta);
        Control(QStringLiteral("InsertDisk"), {QStringLiteral("DISCO%1").arg(n)});
        Control(QStringLiteral("SetMountFolder"), {carpeta});
    }
    QStringList Montada() {
        const auto floppies = UDisksClient(bus_).FloppyDrives();
        return floppies.empty() ? QStringList{u"(ninguna)"_qs} : floppies[0].mountPoints;
    }
    QStringList Archivos(int n) {
        return QDir(folder_.filePath(QStringLiteral("DISCO%1").arg(n))).entryList(QDir::Files);
    }
    void Generar() { generacion::Generacion(window_, *lib_).GenerarDiscos(u"c:"_qs, destino_); }

    qtltest::FaultySystem sistema_;  // the host's calls
    qtltest::ScriptedDialogs dialogs_;
    qtltest::FakeScreen screen_;
    qtltest::SaidNotices notices_;
    qtltest::FakeWindow window_;
    std::unique_ptr<Lib::Modulo> lib_;  // on host_
    std::unique_ptr<HostOnCd> host_;
    QString destino_;
};

const QString kQ = QStringLiteral("Quintarel");
QString Prompt(int n) {
    return qtltest::BoxLine(65, kQ,
                            QStringLiteral("Inserte el diskette número %1 en la unidad").arg(n));
}
const QString kNoDisponible =
    qtltest::BoxLine(37, kQ, QStringLiteral("La unidad seleccionada no se encuentra disponible."));

TEST_F(DisqueteraDelServicioTest, EachDiskIsMountedOnDemandAndLetGoBeforeTheNextPrompt) {
    QStringList alPreguntar;  // where the drive's disk was mounted at each prompt
    auto preguntado = [&](int n) {
        return [&, n] {
            alPreguntar << Montada();
            Insertar(n);
        };
    };
    // Disk 1 is not in yet when the user answers the prompt: the retry box, then it is. For
    // disk 2 a used disk goes in first, and is swapped for an empty one at its box.
    dialogs_.Answer(platform::answer::kOk)
        .Answer(platform::answer::kRetry, preguntado(1))
        .Answer(platform::answer::kOk,
                [&] {
                    alPreguntar << Montada();
                    Insertar(4);
                    Escribir(QStringLiteral("DISCO4/VIEJO.TXT"), "usado");
                })
        .Answer(platform::answer::kRetry, preguntado(2))
        .Answer(platform::answer::kOk, preguntado(3))
        .Answer(platform::answer::kOk, [&] { alPreguntar << Montada(); });
    Generar();
    EXPECT_EQ(dialogs_.transcript,
              (QStringList{Prompt(1), u"Beep"_qs, kNoDisponible, Prompt(2), u"Beep"_qs,
                           qtltest::BoxLine(53, kQ, u"La unidad de destino debe estar vacia"_qs),
                           Prompt(3), u"Beep"_qs,
                           qtltest::BoxLine(64, kQ, u"Generación de discos Finalizada"_qs)}));
    EXPECT_EQ(alPreguntar, (QStringList{}));  // never mounted at a box, nor at the end
    EXPECT_EQ(Archivos(4), QStringList{u"VIEJO.TXT"_qs});
    EXPECT_EQ(Archivos(1), QStringList{u"UNO.TXT"_qs});
    EXPECT_EQ(Archivos(2), QStringList{u"DOS.TXT"_qs});
    EXPECT_EQ(Archivos(3), QStringList{u"TRES.TXT"_qs});
    QFile tres(folder_.filePath(QStringLiteral("DISCO3/TRES.TXT")));
    ASSERT_TRUE(tres.open(QIODevice::ReadOnly));
    EXPECT_EQ(tres.readAll(), QByteArray(3000, '3'));  // as on the CD
    EXPECT_EQ(window_.closed, 1);
}

// A disk whose copies could not be made durable is let go before its box all the same, so that
// another can be put in; it is never taken for written.
TEST_F(DisqueteraDelServicioTest, ADiskThatCouldNotBeMadeDurableIsLetGoAtItsBox) {
    sistema_.fault = [&](qtltest::FaultySystem::Op op) {
        return op == qtltest::FaultySystem::Op::kSync ? ENOSPC : 0;  // the disk's sync
    };
    QStringList alPreguntar;
    dialogs_.Answer(platform::answer::kOk, [&] { Insertar(1); })
        .Answer(platform::answer::kRetry, [&] { alPreguntar << Montada(); })
        .Answer(platform::answer::kCancel, [&] { alPreguntar << Montada(); });
    Generar();
    sistema_.fault = {};
    EXPECT_EQ(dialogs_.transcript.size(), 5) << dialogs_.transcript.join(u'\n').toStdString();
    EXPECT_EQ(alPreguntar, QStringList{});  // never mounted at a box
    EXPECT_EQ(Archivos(1), QStringList{});  // its copy never named

    // Nor one mounted elsewhere behind the program's back while its copies were held.
    platform::InsertDisk(*host_, destino_, 1);
    Insertar(1);
    const QString uno =
        u"c:"_qs + folder_.filePath(u"cd/Discos/Disco1/UNO.TXT"_qs).replace(u'/', u'\\');
    const auto copiar = [&](const QString& nombre) {
        platform::FileCopy(*host_, uno, destino_ + u'\\' + nombre);
    };
    copiar(u"UNO.TXT"_qs);
    ASSERT_EQ(UDisksClient(bus_).Unmount(kFloppyBlock).failure, UDisksFailure::kNone);
    QDir().mkpath(folder_.filePath(QStringLiteral("DISCO2")));
    Control(QStringLiteral("SetMountFolder"), {folder_.filePath(QStringLiteral("DISCO2"))});
    sistema_.fault = [&](qtltest::FaultySystem::Op op) {
        return op == qtltest::FaultySystem::Op::kVerify ? EIO : 0;
    };
    // Told at the next copy, before anything is written to the other folder; and the disk is
    // never taken for finished while short.
    EXPECT_EQ(qtltest::ErrorNumber([&] { copiar(u"OTRO.TXT"_qs); }), 57);
    sistema_.fault = {};
    EXPECT_EQ(qtltest::ErrorNumber([&] { platform::FinishDisk(*host_, destino_); }), 57);
    EXPECT_EQ(platform::TakeLost(*host_, destino_), 1);  // UNO.TXT, to be written again
    EXPECT_EQ(Archivos(1), QStringList{});
}

TEST_F(DisqueteraDelServicioTest, RefusalsGiveTheirBoxesAndWriteNothing) {
    const QString kPermiso = qtltest::BoxLine(48, u"Project1"_qs, u"Permiso denegado"_qs);
    const struct {
        const char* mountError = nullptr;
        QStringList transcript;
        const char* cause = nullptr;  // said on standard error
        bool blank = false;           // the disk holds no file system
    } casos[] = {
        // The user may not mount it: said, and the run ends.
        {"org.freedesktop.UDisks2.Error.NotAuthorized",
         {Prompt(1), u"Beep"_qs, kPermiso},
         "no deja montar el disco a este usuario"},
        // Busy a moment: Retry can help; here the user gives up.
        {"org.freedesktop.UDisks2.Error.DeviceBusy",
         {Prompt(1), u"Beep"_qs, kNoDisponible},
         "el disco está ocupado"},
        // Never formatted unasked: another disk, and Retry. Only the mount tells it from an
        // empty drive.
        {"", {Prompt(1), u"Beep"_qs, kNoDisponible}, "el disco no está formateado", true},
        {"", {Prompt(1), u"Beep"_qs, kNoDisponible}, "no hay ningún disco en la unidad"},
    };
    for (const auto& c : casos) {
        dialogs_.transcript.clear();
        testing::internal::CaptureStderr();
        Control(QStringLiteral("FailMount"), {QString::fromLatin1(c.mountError)});
        dialogs_
            .Answer(platform::answer::kOk,
                    [&] {
                        Insertar(1);
                        if (c.blank)
                            Control(QStringLiteral("InsertBlankDisk"));
                        else if (c.mountError[0] == '\0')
                            Control(QStringLiteral("EjectDisk"));
                    })
            .Answer(platform::answer::kCancel);
        Generar();
        const std::string dicho = testing::internal::GetCapturedStderr();
        EXPECT_NE(dicho.find(c.cause), std::string::npos) << dicho;
        EXPECT_EQ(dialogs_.transcript, c.transcript) << c.mountError;
        EXPECT_EQ(Archivos(1), QStringList{}) << c.mountError;
        EXPECT_EQ(Montada(), QStringList{}) << c.mountError;
    }

    // A disk that will not be let go before the next prompt: the retry box until it is.
    Control(QStringLiteral("FailMount"), {QString()});
    Control(QStringLiteral("FailUnmount"), {u"org.freedesktop.UDisks2.Error.DeviceBusy"_qs});
    dialogs_.transcript.clear();
    dialogs_.Answer(platform::answer::kOk, [&] { Insertar(1); })
        .Answer(platform::answer::kRetry)
        .Answer(platform::answer::kRetry,
                [&] { Control(QStringLiteral("FailUnmount"), {QString()}); })
        .Answer(platform::answer::kCancel);  // at the prompt for disk 2
    Generar();
    EXPECT_EQ(dialogs_.transcript, (QStringList{Prompt(1), u"Beep"_qs, kNoDisponible, u"Beep"_qs,
                                                kNoDisponible, Prompt(2)}));
    EXPECT_EQ(Archivos(1), QStringList{u"UNO.TXT"_qs});
    EXPECT_EQ(Montada(), QStringList{});
}

TEST_F(DisqueteraDelServicioTest, AMountWaitedOnKeepsTheProgramAnsweringUnderTheHourglass) {
    // QTL99_ESPERA_MONTAJE_MS=60000 gives the figure for a minute's wait.
    const int espera = qEnvironmentVariableIsSet("QTL99_ESPERA_MONTAJE_MS")
                           ? qEnvironmentVariableIntValue("QTL99_ESPERA_MONTAJE_MS")
                           : 1500;
    int argc = 1;
    char nombre[] = "qtl_unit_tests";
    char* argv[] = {nombre, nullptr};
    QCoreApplication app(argc, argv);
    Control(QStringLiteral("HangMount"), {uint(espera)});
    qtltest::AnswerProbe escritorio;
    QList<int> punteroAlMontar;
    dialogs_.Answer(platform::answer::kOk, [&] {
        Insertar(1);
        escritorio.Start();
    });
    dialogs_.Answer(platform::answer::kCancel, [&] {  // disk 2's prompt: disk 1 is written
        escritorio.Stop();
        punteroAlMontar = screen_.changes;
    });
    // The run on a thread of its own, as the window has it, while this one answers.
    std::atomic<bool> hecho = false;
    std::thread corrida([&] {
        Generar();
        hecho = true;
    });
    while (!hecho) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    corrida.join();
    QCoreApplication::processEvents();
    const std::vector<double> esperas = escritorio.Waits();
    qInfo("respuesta durante un montaje de %d ms: mediana %.1f ms, peor %.1f ms, %zu consultas",
          espera, qtltest::Median(esperas), qtltest::Worst(esperas), esperas.size());
    EXPECT_GE(esperas.size(), static_cast<size_t>(espera / 200));
    EXPECT_LT(qtltest::Worst(esperas), 1000);
    // The hourglass while the service was waited on, and the pointer put back.
    ASSERT_GE(punteroAlMontar.size(), 2);
    EXPECT_EQ(punteroAlMontar.first(), platform::pointer::kHourglass);
    EXPECT_EQ(screen_.pointer, platform::pointer::kDefault);
    EXPECT_EQ(Archivos(1), QStringList{u"UNO.TXT"_qs});
}

TEST_F(DisqueteraDelServicioTest, AMountGivenUpOnIsUndoneWhenItLands) {
    host_ = Anfitrion(800);
    Control(QStringLiteral("HangMount"), {1500u});
    dialogs_.Answer(platform::answer::kOk, [&] { Insertar(1); })
        .Answer(platform::answer::kCancel, [&] {
            // The service mounts after the program stopped waiting.
            for (int i = 0; i < 60 && Montada().isEmpty(); ++i)
                QThread::msleep(50);
            EXPECT_EQ(Montada(), QStringList{folder_.filePath(u"DISCO1"_qs)});
        });
    Generar();
    EXPECT_EQ(dialogs_.transcript, (QStringList{Prompt(1), u"Beep"_qs, kNoDisponible}));
    EXPECT_EQ(Montada(), QStringList{});
    EXPECT_EQ(Archivos(1), QStringList{});
}

// A service that counts what it is asked, with one floppy drive whose disk is `mountPoint`
// (mounted) or not mounted at all, in a drive that cannot see a disk go in.
class ServicioQueCuenta : public platform::DiskService {
  public:
    explicit ServicioQueCuenta(QString mountPoint) : mountPoint_(std::move(mountPoint)) {}
    bool IsReachable() const override { return true; }
    std::vector<platform::UDisksFloppy> FloppyDrives() const override {
        ++looks;
        platform::UDisksFloppy f;
        f.block = kFloppyBlock;
        f.device = u"/nonexistent/sdz"_qs;  // cannot be opened here: only a mount tells
        f.canMount = true;  // and the probe found nothing: an empty drive looks the same
        if (mounted)
            f.mountPoints = {mountPoint_};
        return {f};
    }
    platform::UDisksResult Rescan(const QString&) const override {
        ++rescans;
        return {};
    }
    platform::UDisksResult Mount(const QString&) const override {
        ++mounts;
        mounted = true;
        return {platform::UDisksFailure::kNone, mountPoint_, {}};
    }
    platform::UDisksResult Unmount(const QString&) const override {
        mounted = false;
        return {};
    }
    mutable int looks = 0, rescans = 0, mounts = 0;
    mutable bool mounted = false;

  private:
    QString mountPoint_;
};

// Asking whether a disk is in mounts nothing, choosing the drive does, and a step asks the
// service once: its look is kept for the step and dropped when a disk may have changed.
TEST(DisqueteraDelServicioSolaTest, AskingMountsNothingAndAStepAsksTheServiceOnce) {
    QTemporaryDir carpeta;
    ASSERT_TRUE(carpeta.isValid());
    ServicioQueCuenta servicio(carpeta.path());
    const platform::DriveServices servicios{platform::DefaultSystemCalls(),
                                            platform::DefaultChildren(), &servicio};
    platform::DriveInfo info;
    info.letter = u'a';
    info.kind = platform::DriveKind::kFloppy;
    info.mounted = false;
    info.serviceBlock = kFloppyBlock;
    platform::ServiceFloppyDrive drive(info, servicios);

    EXPECT_TRUE(drive.IsReady());  // it may be: only a mount tells
    EXPECT_TRUE(drive.IsReady());
    EXPECT_EQ(servicio.mounts, 0);
    EXPECT_EQ(servicio.rescans, 1);
    EXPECT_TRUE(drive.MakeReady());
    EXPECT_EQ(servicio.mounts, 1);

    // One step on the mounted disk: its readiness, then the folder listed twice.
    const int antes = servicio.looks;
    const platform::DrivePath raiz = platform::ParseDrivePath(u"a:\\"_qs);
    QElapsedTimer paso;
    paso.start();
    EXPECT_TRUE(drive.IsReady());
    EXPECT_EQ(drive.Dir(raiz), QString());
    EXPECT_EQ(drive.Dir(raiz), QString());
    if (paso.elapsed() >= platform::ServiceFloppyDrive::kLookLife.count())
        GTEST_SKIP() << "the step took longer than a look is kept: nothing to count";
    EXPECT_EQ(servicio.looks - antes, 1);
    drive.InsertDisk(2);  // a disk may have changed: looked at afresh
    EXPECT_TRUE(drive.IsReady());
    EXPECT_EQ(servicio.looks - antes, 2);
    EXPECT_EQ(servicio.mounts, 1);
}

}  // namespace
