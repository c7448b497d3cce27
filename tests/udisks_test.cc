// The disk service's client, against the stand-in service on a private bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QFile>
#include <QStringList>
#include <QThread>

#include "platform/diskservice/udisks.h"
#include "tests/support/disk_service_fixture.h"

namespace {

using platform::UDisksClient;
using platform::UDisksFailure;
using qtltest::kFloppyBlock;
using qtltest::ServicioDeDiscosTest;

TEST_F(ServicioDeDiscosTest, FloppyDriveIsListedWithAndWithoutADisk) {
    StartService();
    const UDisksClient client(bus_);
    EXPECT_TRUE(client.IsReachable());

    // Empty: listed, no disk; a Zip drive and a loop device are no floppies. The service
    // offers to mount it all the same, and the mount says why not.
    auto floppies = client.FloppyDrives();
    ASSERT_EQ(floppies.size(), 1u);
    EXPECT_EQ(floppies[0].device, u"/dev/sdb");
    EXPECT_EQ(floppies[0].block, kFloppyBlock);
    EXPECT_EQ(floppies[0].drive, u"/org/freedesktop/UDisks2/drives/Fake_USB_Floppy");
    EXPECT_FALSE(floppies[0].mediaChangeDetected);
    EXPECT_FALSE(floppies[0].mediaAvailable);
    EXPECT_FALSE(floppies[0].hasFilesystem);
    EXPECT_TRUE(floppies[0].canMount);
    EXPECT_EQ(client.Mount(kFloppyBlock).failure, UDisksFailure::kNoMedium);

    // The service sees the disk go in, and out, only when asked to look again, and never
    // sizes it: udev's probe is what tells.
    Control(QStringLiteral("InsertDisk"), {QStringLiteral("DISCO 1")});
    EXPECT_FALSE(client.FloppyDrives().at(0).mediaAvailable);
    ASSERT_TRUE(client.Rescan(kFloppyBlock).ok());
    floppies = client.FloppyDrives();
    ASSERT_EQ(floppies.size(), 1u);
    EXPECT_TRUE(floppies[0].mediaAvailable);
    EXPECT_EQ(floppies[0].sizeBytes, 0);
    EXPECT_EQ(floppies[0].idType, u"vfat");
    EXPECT_EQ(floppies[0].label, u"DISCO 1");
    EXPECT_TRUE(floppies[0].hasFilesystem);
    EXPECT_TRUE(floppies[0].mountPoints.isEmpty());

    // A disk of zeros probes as nothing, like an empty drive; the mount tells them apart.
    Control(QStringLiteral("InsertBlankDisk"));
    ASSERT_TRUE(client.Rescan(kFloppyBlock).ok());
    EXPECT_FALSE(client.FloppyDrives().at(0).mediaAvailable);
    EXPECT_EQ(client.Mount(kFloppyBlock).failure, UDisksFailure::kNoFilesystem);

    Control(QStringLiteral("EjectDisk"));
    ASSERT_TRUE(client.Rescan(kFloppyBlock).ok());
    floppies = client.FloppyDrives();
    ASSERT_EQ(floppies.size(), 1u);
    EXPECT_FALSE(floppies[0].mediaAvailable);
    EXPECT_FALSE(floppies[0].hasFilesystem);

    // A drive unplugged meanwhile.
    const QString gone = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdz");
    EXPECT_EQ(client.Rescan(gone).failure, UDisksFailure::kGone);
    EXPECT_EQ(client.Mount(gone).failure, UDisksFailure::kGone);
}

TEST_F(ServicioDeDiscosTest, MountAndUnmountReportWhereAndWhy) {
    StartService();
    const UDisksClient client(bus_);
    const QString folder = folder_.filePath(QStringLiteral("DISCO 1"));
    Control(QStringLiteral("InsertDisk"), {QStringLiteral("DISCO 1")});
    ASSERT_TRUE(client.Rescan(kFloppyBlock).ok());
    Control(QStringLiteral("SetMountFolder"), {folder});

    auto mounted = client.Mount(kFloppyBlock);
    ASSERT_TRUE(mounted.ok()) << qPrintable(mounted.message);
    EXPECT_EQ(mounted.mountPoint, folder);
    EXPECT_EQ(client.FloppyDrives().at(0).mountPoints, QStringList{folder});
    mounted = client.Mount(kFloppyBlock);
    EXPECT_EQ(mounted.failure, UDisksFailure::kAlreadyMounted);
    EXPECT_EQ(mounted.mountPoint, folder);

    Control(QStringLiteral("FailUnmount"),
            {QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy")});
    EXPECT_EQ(client.Unmount(kFloppyBlock).failure, UDisksFailure::kBusy);
    Control(QStringLiteral("FailUnmount"), {QString()});
    EXPECT_TRUE(client.Unmount(kFloppyBlock).ok());
    EXPECT_TRUE(client.FloppyDrives().at(0).mountPoints.isEmpty());
    EXPECT_EQ(client.Unmount(kFloppyBlock).failure, UDisksFailure::kNotMounted);

    // What the service refuses a mount with.
    const struct {
        const char* error;
        UDisksFailure failure;
    } refusals[] = {
        {"org.freedesktop.UDisks2.Error.NotAuthorized", UDisksFailure::kNotAuthorized},
        {"org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain", UDisksFailure::kNotAuthorized},
        {"org.freedesktop.UDisks2.Error.NotAuthorizedDismissed", UDisksFailure::kNotAuthorized},
        {"org.freedesktop.UDisks2.Error.DeviceBusy", UDisksFailure::kBusy},
        {"org.freedesktop.UDisks2.Error.Failed", UDisksFailure::kOther},
    };
    for (const auto& r : refusals) {
        Control(QStringLiteral("FailMount"), {QString::fromLatin1(r.error)});
        const auto refused = client.Mount(kFloppyBlock);
        EXPECT_EQ(refused.failure, r.failure) << r.error;
        EXPECT_TRUE(refused.mountPoint.isEmpty()) << r.error;
        EXPECT_TRUE(refused.message.startsWith(QString::fromLatin1(r.error))) << r.error;
    }

    // A mount that waits (the service asking for a password) is waited for; past the timeout
    // the client gives up, and the service may still mount afterwards.
    Control(QStringLiteral("FailMount"), {QString()});
    Control(QStringLiteral("HangMount"), {300u});
    EXPECT_TRUE(UDisksClient(bus_, 2500, 5000).Mount(kFloppyBlock).ok());
    ASSERT_TRUE(client.Unmount(kFloppyBlock).ok());
    EXPECT_EQ(UDisksClient(bus_, 2500, 100).Mount(kFloppyBlock).failure, UDisksFailure::kGaveUp);
    EXPECT_TRUE(client.FloppyDrives().at(0).mountPoints.isEmpty());
    QThread::msleep(400);
    EXPECT_EQ(client.FloppyDrives().at(0).mountPoints, QStringList{folder});
}

TEST_F(ServicioDeDiscosTest, NoServiceOrNoBusIsNotReachable) {
    const QString noBusName = QStringLiteral("qtl99-sin-bus");
    const QDBusConnection noBus = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=%1/ninguno").arg(folder_.path()), noBusName);
    for (const QDBusConnection& bus : {bus_, noBus}) {
        const UDisksClient client(bus);
        EXPECT_FALSE(client.IsReachable());
        EXPECT_TRUE(client.FloppyDrives().empty());
        EXPECT_EQ(client.Mount(kFloppyBlock).failure, UDisksFailure::kNoService);
        EXPECT_EQ(client.Unmount(kFloppyBlock).failure, UDisksFailure::kNoService);
        EXPECT_EQ(client.Rescan(kFloppyBlock).failure, UDisksFailure::kNoService);
    }
    QDBusConnection::disconnectFromBus(noBusName);
    EXPECT_FALSE(QFile::exists(folder_.filePath(QStringLiteral("started"))));
}

}  // namespace
