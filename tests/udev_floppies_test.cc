// Floppy drives as udev describes them, found where the disk service is not there.
#include <gtest/gtest.h>

#include <memory>

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/diskservice/udisks.h"
#include "platform/drives/drive.h"
#include "platform/finding/udev_floppies.h"
#include "platform/host/linux_host.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_drives.h"

namespace {

using platform::UDisksClient;

TEST(FloppiesDeUdevTest, HostFindsUdevsFloppyDrivesWhereTheServiceIsNotThere) {
    QTemporaryDir carpeta;
    ASSERT_TRUE(carpeta.isValid());
    const QString sinBus = QStringLiteral("qtl99-sin-servicio");
    platform::FloppySources fuentes;
    fuentes.disks = std::make_shared<UDisksClient>(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=%1/ninguno").arg(carpeta.path()), sinBus));
    const QString vacia = carpeta.filePath(QStringLiteral("sdc"));
    const auto udev = std::make_shared<qtltest::ListedUdev>();
    udev->disks = {
        {vacia, 0, true, false, u":080400:"_qs, {}},  // an empty UFI drive
        {carpeta.filePath(u"sdd"_qs), 8LL << 30, true, false, {}, u"vfat"_qs}};  // a stick
    const int& lecturas = udev->reads;
    fuentes.udev = udev;
    qtltest::ScriptedDialogs dialogs;
    qtltest::FakeScreen screen;
    qtltest::SaidNotices notices;
    platform::LinuxHost host(dialogs, screen, notices, QString(), fuentes);
    QStringList disqueteras;
    for (const auto& d : host.Drives()) {
        if (d->info().kind == platform::DriveKind::kFloppy)
            disqueteras << d->name() + u' ' + d->info().device;
    }
    const platform::Drive* a = platform::FindDrive(host.Drives(), u'a');
    // Detected once for many looks (another program's mounts may add a few), afresh after a box.
    for (int i = 0; i < 20; ++i)
        host.Drives();
    EXPECT_LE(lecturas, 10);
    const int antes = lecturas;
    dialogs.Answer(platform::answer::kRetry);
    EXPECT_EQ(host.dialogs().MsgBox(u"¿Otro disco?"_qs, 5, u"QTL99"_qs), platform::answer::kRetry);
    host.Drives();
    EXPECT_GT(lecturas, antes);
    QDBusConnection::disconnectFromBus(sinBus);
    if (QFile::exists(QStringLiteral("/dev/fd0")) || QFile::exists(QStringLiteral("/dev/fd1")))
        GTEST_SKIP() << "this machine's own floppy drives take the letters";
    EXPECT_EQ(disqueteras, QStringList{u"a: "_qs + vacia});
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->IsReady());
}

TEST(FloppiesDeUdevTest, ClassifiesDisksAsUdevDescribesThem) {
    using platform::UdevDisk;
    const struct {
        UdevDisk disk;
        bool floppy = false;
        bool media = false;
    } cases[] = {
        {{u"/dev/fd0"_qs, 1474560, false, false, {}, {}}, true, true},
        {{u"/dev/sdb"_qs, 0, true, true, {}, {}}, true, false},  // marked by udev's rules
        {{u"/dev/sdc"_qs, 0, true, false, u":080400:"_qs, {}}, true, false},  // empty UFI drive
        {{u"/dev/sdd"_qs, 737280, true, false, u":080650:"_qs, u"vfat"_qs}, true, true},
        {{u"/dev/sde"_qs, 2949120, true, false, {}, u"msdos"_qs}, true, true},
        // An empty card reader or stick slot, a bigger stick, another file system, a fixed
        // disk, loop and RAM devices holding FAT images: none is a floppy drive.
        {{u"/dev/sdf"_qs, 0, true, false, u":080650:"_qs, {}}, false, false},
        {{u"/dev/sdg"_qs, 2949121, true, false, {}, u"vfat"_qs}, false, false},
        {{u"/dev/sdh"_qs, 1474560, true, false, {}, u"squashfs"_qs}, false, false},
        {{u"/dev/sdi"_qs, 1474560, false, false, {}, u"vfat"_qs}, false, false},
        {{u"/dev/loop0"_qs, 1474560, true, true, {}, u"vfat"_qs}, false, false},
        {{u"/dev/zram0"_qs, 1474560, true, false, {}, u"vfat"_qs}, false, false},
    };
    for (const auto& c : cases) {
        const auto found = platform::ClassifyFloppies({c.disk});
        ASSERT_EQ(found.size(), c.floppy ? 1u : 0u) << qPrintable(c.disk.node);
        if (c.floppy) {
            EXPECT_EQ(found[0].node, c.disk.node);
            EXPECT_EQ(found[0].sizeBytes, c.disk.sizeBytes);
            EXPECT_EQ(found[0].hasMedia, c.media) << qPrintable(c.disk.node);
        }
    }
}

// This machine's database, read through the library opened on the way: every whole disk the
// kernel lists all along (loop devices may come and go meanwhile).
TEST(FloppiesDeUdevTest, ReadsThisMachinesDisks) {
    const auto enSys = [] {
        QStringList nodos;
        for (const QString& n :
             QDir(QStringLiteral("/sys/block")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
            nodos << u"/dev/"_qs + QString(n).replace(u'!', u'/');
        return nodos;
    };
    const QStringList antes = enSys();
    QStringList leidos;
    for (const platform::UdevDisk& d : platform::SystemUdev().Disks())
        leidos << d.node;
    const QStringList despues = enSys();
    int comprobados = 0;
    for (const QString& nodo : antes) {
        if (despues.contains(nodo)) {
            EXPECT_TRUE(leidos.contains(nodo)) << qPrintable(nodo);
            ++comprobados;
        }
    }
    if (comprobados == 0)
        GTEST_SKIP() << "this machine shows no block device";
}

}  // namespace
