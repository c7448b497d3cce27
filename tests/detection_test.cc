// The drives found on the machine: their letters from the mount tables, the block devices and
// the disk service's floppy drives, and when they are looked for again.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/drives/drive.h"
#include "platform/finding/detection.h"
#include "platform/host/drive_set.h"
#include "platform/host/linux_host.h"
#include "platform/media/mount_table.h"
#include "tests/support/fakes.h"
#include "tests/support/mount_samples.h"
#include "tests/support/temp_drives.h"

namespace {

using qtltest::kFstab;
using qtltest::kMounts;

qtltest::ScriptedProbe Probe() {
    qtltest::ScriptedProbe p;
    p.exists = [](const QString& dev) { return dev == u"/dev/fd0"; };
    p.sizeBytes = [](const QString& dev) -> qint64 {
        if (dev == u"/dev/sdc" || dev == u"/dev/loop3" || dev == u"/dev/sdd")
            return 1474560;
        if (dev == u"/dev/sdb1")
            return 8LL << 30;
        return -1;
    };
    p.label = [](const QString& dev) {
        return dev == u"/dev/sr0" ? QStringLiteral("QTL99") : QString();
    };
    p.removable = [](const QString& dev) { return dev != u"/dev/vda1" && dev != u"/dev/vda2"; };
    return p;
}

QMap<QString, QString> Letras(const platform::DriveInfos& table) {
    QMap<QString, QString> got;
    QString previa;
    for (const auto& d : table) {
        EXPECT_LT(previa, d.name()) << "the table is in letter order";
        previa = d.name();
        got[d.name()] = (d.mounted ? d.root : QStringLiteral("(no montada)")) + u' ' + d.device;
    }
    return got;
}

TEST(DeteccionTest, LettersFollowTheKindAndMountOrder) {
    platform::DriveLetters letras;
    const auto table = platform::DetectDrives(platform::ParseMountTable(QString::fromUtf8(kMounts)),
                                              platform::ParseMountTable(QString::fromUtf8(kFstab)),
                                              Probe(), letras);
    const QMap<QString, QString> got = Letras(table);
    const QMap<QString, QString> expected = {
        {"c:", "/ "},
        {"a:", "(no montada) /dev/fd0"},         // in fstab, no disk
        {"b:", "/media/ana/DISQUETE /dev/sdc"},  // a USB floppy: a block device of floppy size
        {"d:", "/media/ana/QTL99 /dev/sr0"},
        {"e:", "(no montada) /dev/sr1"},
        {"f:", "/media/ana/USB DATOS /dev/sdb1"},
        {"g:", "/media/ana/snap /dev/loop3"},       // a small image is no floppy
        {"h:", "/media/ana/PEQUE /dev/sdd"},        // nor is a small disk without FAT
        {"i:", "/media/ana/CD copiado /dev/vda1"},  // where it is bound, not at /
    };
    EXPECT_EQ(got, expected);

    // The floppy of a: taken away and the optical drive gone: no letter moves, and a device
    // never seen before takes the next free letter of its kind.
    const auto despues = platform::DetectDrives(
        platform::ParseMountTable(QStringLiteral("/dev/vda1 / ext4 rw 0 0\n"
                                                 "/dev/sdc /media/ana/DISQUETE vfat rw 0 0\n"
                                                 "/dev/sde1 /media/ana/NUEVO vfat rw 0 0\n")),
        {}, qtltest::ScriptedProbe{}, letras);
    QMap<QString, QString> esperado = expected;
    esperado["a:"] = "(no montada) /dev/fd0";
    for (const char* sinDisco : {"d:", "e:", "f:", "g:", "h:", "i:"})
        esperado[sinDisco] = u"(no montada) "_qs + expected[sinDisco].section(u' ', -1);
    esperado["j:"] = "/media/ana/NUEVO /dev/sde1";
    EXPECT_EQ(Letras(despues), esperado);
    const platform::DriveServices servicios{platform::DefaultSystemCalls(),
                                            platform::DefaultChildren()};
    const platform::DriveTable unidades = platform::DriveSet(servicios).Update(table);
    const platform::Drive* d = platform::FindDrive(unidades, u'D');
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ListEntry(), u"d: [QTL99]");
    EXPECT_FALSE(platform::FindDrive(unidades, u'a')->IsReady());
    EXPECT_TRUE(platform::FindDrive(unidades, u'c')->IsReady());
}

TEST(DeteccionTest, MachineWithoutFloppyWritesImagesOnA) {
    const auto mounts = platform::ParseMountTable(
        QStringLiteral("/dev/vda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n"));
    const auto table = platform::DetectDrives(mounts, {}, qtltest::ScriptedProbe{},
                                              *std::make_unique<platform::DriveLetters>());
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].name(), u"c:");

    // Where the images go when no floppy drive can take the disks: a: is a drive of images.
    platform::DriveLetters letras;
    const QString carpeta = QStringLiteral("/home/ana/Documentos/Disquetes QTL99");
    auto conImagenes =
        platform::DetectDrives(mounts, {}, qtltest::ScriptedProbe{}, letras, carpeta);
    EXPECT_EQ(Letras(conImagenes), (QMap<QString, QString>{{"a:", carpeta + u' '}, {"c:", "/ "}}));
    EXPECT_EQ(conImagenes[0].kind, platform::DriveKind::kImages);
    // A USB floppy plugged in later takes b:; the images stay where they were.
    qtltest::ScriptedProbe sinFd0 = Probe();
    sinFd0.exists = {};
    conImagenes = platform::DetectDrives(
        platform::ParseMountTable(QStringLiteral("/dev/sdc /media/ana/DISQUETE vfat rw 0 0\n")), {},
        sinFd0, letras, carpeta);
    EXPECT_EQ(Letras(conImagenes),
              (QMap<QString, QString>{
                  {"a:", carpeta + u' '}, {"b:", "/media/ana/DISQUETE /dev/sdc"}, {"c:", "/ "}}));

    // The documents folder takes the images only when it really lies inside the home folder,
    // links and ".." resolved; otherwise they go to the home's Documents.
    const QTemporaryDir tmp;
    const QString raiz = QFileInfo(tmp.path()).canonicalFilePath();
    const QString casa = raiz + u"/casa"_qs;
    ASSERT_TRUE(QDir().mkpath(casa + u"/Documentos"_qs) && QDir().mkpath(raiz + u"/fuera"_qs));
    ASSERT_TRUE(QFile::link(raiz + u"/fuera"_qs, casa + u"/enlace"_qs));
    ASSERT_TRUE(QFile::link(casa, raiz + u"/otra-casa"_qs));
    const QString propia = casa + u"/Documents/Disquetes QTL99"_qs;
    const QString documentos = casa + u"/Documentos/Disquetes QTL99"_qs;
    for (const auto& [home, dada, esperada] : std::vector<std::tuple<QString, QString, QString>>{
             {casa, casa + u"/Documentos"_qs, documentos},
             {casa, casa + u"/Nuevos/Sub"_qs, casa + u"/Nuevos/Sub/Disquetes QTL99"_qs},
             {casa, casa + u"/../../fuera"_qs, propia},
             {casa, casa + u"/../casa/Documentos"_qs, documentos},
             {casa, casa + u"/enlace"_qs, propia},
             {casa, casa + u"/enlace/../fuera"_qs, propia},
             {casa, casa + u"/enlace/nueva"_qs, propia},
             {casa, casa + u"/enlace/../casa/Documentos"_qs, documentos},
             {casa, casa, propia},
             {raiz + u"/otra-casa"_qs, raiz + u"/otra-casa/Documentos"_qs, documentos},
             {raiz + u"/otra-casa"_qs, casa + u"/Documentos"_qs, documentos},
         }) {
        EXPECT_EQ(
            platform::ImagesFolderIn(platform::DefaultSystemCalls(), home, dada).toStdString(),
            esperada.toStdString());
    }
    // Every look goes through the machine's calls: a home staged elsewhere is resolved there,
    // and where nothing can be looked at the images go to the Documents of the home as given.
    qtltest::FaultySystem maquina;
    maquina.seenAs = {{"/home/ana", QFile::encodeName(casa).toStdString()}};
    EXPECT_EQ(platform::ImagesFolderIn(maquina, u"/home/ana"_qs, u"/home/ana/Documentos"_qs),
              documentos);
    maquina.fault = [](qtltest::FaultySystem::Op op) {
        return op == qtltest::FaultySystem::Op::kStat ? EACCES : 0;
    };
    EXPECT_EQ(platform::ImagesFolderIn(maquina, casa, casa + u"/Documentos"_qs), propia);
}

TEST(DeteccionTest, FloppyDriveTheServiceKnowsIsListedWithOrWithoutADisk) {
    const auto mounts = platform::ParseMountTable(QStringLiteral("/dev/vda1 / ext4 rw 0 0\n"));
    const QString carpeta = QStringLiteral("/home/ana/Documentos/Disquetes QTL99");
    const QString bloque = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdb");
    const QString unidad = QStringLiteral("/org/freedesktop/UDisks2/drives/USB_Floppy");
    platform::DriveLetters letras;
    // Empty and mounted nowhere, it is a: all the same, and the images go to b:.
    auto table = platform::DetectDrives(mounts, {}, qtltest::ScriptedProbe{}, letras, carpeta,
                                        {{u"/dev/sdb"_qs, unidad, bloque, {}, {}}});
    EXPECT_EQ(Letras(table),
              (QMap<QString, QString>{
                  {"a:", "(no montada) /dev/sdb"}, {"b:", carpeta + u' '}, {"c:", "/ "}}));
    EXPECT_EQ(table[0].kind, platform::DriveKind::kFloppy);
    EXPECT_EQ(table[0].serviceBlock, bloque);
    // Its disk mounted where the service says, under its label: still a:.
    const platform::FoundFloppy montada{u"/dev/sdb"_qs, unidad, bloque, u"/media/ana/DISCO 1"_qs,
                                        u"DISCO 1"_qs};
    table =
        platform::DetectDrives(mounts, {}, qtltest::ScriptedProbe{}, letras, carpeta, {montada});
    EXPECT_EQ(Letras(table)["a:"], u"/media/ana/DISCO 1 /dev/sdb");
    EXPECT_EQ(table[0].label, u"DISCO 1");
    // Unplugged, it keeps a:; plugged in again under another device, it is a: all the same.
    table = platform::DetectDrives(mounts, {}, qtltest::ScriptedProbe{}, letras, carpeta);
    EXPECT_EQ(Letras(table)["a:"], u"(no montada) "_qs + unidad);
    table = platform::DetectDrives(mounts, {}, qtltest::ScriptedProbe{}, letras, carpeta,
                                   {{u"/dev/sdc"_qs, unidad, bloque, {}, {}}});
    EXPECT_EQ(Letras(table),
              (QMap<QString, QString>{
                  {"a:", "(no montada) /dev/sdc"}, {"b:", carpeta + u' '}, {"c:", "/ "}}));

    // Two drives: a: and b: from the start, and no drive of images. A second one plugged in
    // while the images hold b: waits for the next start: no letter ever moves.
    const platform::FoundFloppy segunda{u"/dev/sdd"_qs, unidad + u'2', bloque + u'2', {}, {}};
    platform::DriveLetters dos;
    table = platform::DetectDrives(mounts, {}, qtltest::ScriptedProbe{}, dos, carpeta,
                                   {{u"/dev/sdb"_qs, unidad, bloque, {}, {}}, segunda});
    EXPECT_EQ(Letras(table),
              (QMap<QString, QString>{
                  {"a:", "(no montada) /dev/sdb"}, {"b:", "(no montada) /dev/sdd"}, {"c:", "/ "}}));
    table = platform::DetectDrives(mounts, {}, qtltest::ScriptedProbe{}, letras, carpeta,
                                   {{u"/dev/sdc"_qs, unidad, bloque, {}, {}}, segunda});
    EXPECT_EQ(Letras(table),
              (QMap<QString, QString>{
                  {"a:", "(no montada) /dev/sdc"}, {"b:", carpeta + u' '}, {"c:", "/ "}}));
}

// The probe of block devices and the program's own folder look at the machine only through
// its calls, so a staged /sys, /dev/disk/by-label and /proc/self/exe stand for the real ones.
TEST(DeteccionTest, TheMachineIsLookedAtThroughItsCalls) {
    qtltest::TempDrives arbol;
    const QString disco = arbol.Path(u"dev/sdz"_qs);
    const QString particion = arbol.Path(u"dev/sdz1"_qs);
    arbol.Write(u"dev/sdz"_qs, "");
    arbol.Write(u"dev/sdz1"_qs, "");
    arbol.Write(u"sys/class/block/sdz/size"_qs, "2880\n");
    arbol.Write(u"sys/class/block/sdz/removable"_qs, "1\n");
    arbol.Write(u"sys/class/block/sdz/sdz1/size"_qs, "2816\n");  // a partition, as /sys has it
    ASSERT_TRUE(QFile::link(arbol.Path(u"sys/class/block/sdz/sdz1"_qs),
                            arbol.Path(u"sys/class/block/sdz1"_qs)));
    arbol.MakeFolder(u"by-label"_qs);
    ASSERT_TRUE(QFile::link(particion, arbol.Path(u"by-label/MI\\x20DISCO"_qs)));
    arbol.Write(u"bin/QTL99"_qs, "");
    qtltest::FaultySystem maquina;
    const auto ver = [&](const char* ruta, const QString& como) {
        return std::pair<const std::string, std::string>(ruta,
                                                         QFile::encodeName(como).toStdString());
    };
    maquina.seenAs = {ver("/sys/class/block", arbol.Path(u"sys/class/block"_qs)),
                      ver("/dev/disk/by-label", arbol.Path(u"by-label"_qs)),
                      ver("/proc/self/exe", arbol.Path(u"bin/QTL99"_qs))};
    const platform::SystemDeviceProbe probe(maquina);
    EXPECT_TRUE(probe.Exists(disco));
    EXPECT_EQ(probe.SizeBytes(disco), 1474560);
    EXPECT_EQ(probe.SizeBytes(particion), 2816 * 512);
    EXPECT_TRUE(probe.Removable(particion));  // its disk's flag
    EXPECT_EQ(probe.Label(particion), u"MI DISCO");
    EXPECT_EQ(probe.Label(disco), u"");
    qtltest::ScriptedDialogs cajas;
    qtltest::FakeScreen pantalla;
    qtltest::SaidNotices avisos;
    platform::LinuxHost anfitrion(cajas, pantalla, avisos, u"c:=/;d:"_qs, {}, maquina);
    EXPECT_EQ(anfitrion.ProgramFolder(), arbol.Path(u"bin"_qs));
    // What is wrong in the table is told to the host's notices, once.
    ASSERT_EQ(avisos.lines.size(), 1);
    EXPECT_TRUE(avisos.lines.front().startsWith(u"QTL99_DRIVES: "))
        << avisos.lines.front().toStdString();

    // A machine that refuses every look and every read: nothing is known of the device.
    maquina.fault = [](qtltest::FaultySystem::Op op) {
        using Op = qtltest::FaultySystem::Op;
        return op == Op::kStat || op == Op::kOpen ? EACCES : 0;
    };
    EXPECT_FALSE(probe.Exists(disco));
    EXPECT_EQ(probe.SizeBytes(disco), -1);
    EXPECT_FALSE(probe.Removable(disco));
    EXPECT_EQ(probe.Label(particion), u"");
}

TEST(DeteccionTest, ATableIsDetectedAgainAfterABoxAMountOrItsLife) {
    int detections = 0;
    const auto detect = [&] { return platform::DriveInfos(++detections); };
    qtltest::ToldMounts mounts;
    bool& mounted = mounts.mounted;
    platform::KeptDetection kept(std::chrono::hours(1), &mounts);
    EXPECT_EQ(kept.Get(detect).size(), 1u);
    EXPECT_EQ(kept.Get(detect).size(), 1u);
    kept.Forget();  // a box was shown
    EXPECT_EQ(kept.Get(detect).size(), 2u);
    mounted = true;
    EXPECT_EQ(kept.Get(detect).size(), 3u);
    EXPECT_EQ(kept.Get(detect).size(), 3u);
    qtltest::ToldMounts none;
    platform::KeptDetection brief(std::chrono::milliseconds(0), &none);
    EXPECT_EQ(brief.Get(detect).size(), 4u);
    EXPECT_EQ(brief.Get(detect).size(), 5u);

    // The watch sees a mount and an unmount, where this test may mount.
    const std::unique_ptr<platform::MountWatch> watch = platform::WatchMounts();
    QTemporaryDir punto;
    if (::geteuid() != 0 ||
        QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "tmpfs", punto.path()}) != 0)
        GTEST_SKIP() << "the watch needs a mount, which needs root";
    QProcess::execute(QStringLiteral("umount"), {punto.path()});
    EXPECT_TRUE(watch->Changed());
}

}  // namespace
