#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/drives/udev_floppies.h"
#include "platform/drives/udisks.h"

namespace {

using platform::UDisksClient;
using platform::UDisksFailure;

const QString kFloppyBlock = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdb");

// A private system bus of the test's own, with the stand-in disk service on it when asked;
// both end with the test.
class ServicioDeDiscosTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        QFile config(folder_.filePath(QStringLiteral("system.conf")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral(R"(<busconfig><type>system</type>
  <listen>unix:path=%1/bus</listen><auth>EXTERNAL</auth><servicedir>%1</servicedir>
  <policy context="default"><allow user="*"/><allow own="*"/><allow send_destination="*"/>
    <allow receive_sender="*"/></policy></busconfig>)")
                         .arg(folder_.path())
                         .toUtf8());
        config.close();
        // The service could be started on demand here: a client that did so would leave a mark.
        QFile activation(folder_.filePath(QStringLiteral("org.freedesktop.UDisks2.service")));
        ASSERT_TRUE(activation.open(QIODevice::WriteOnly));
        activation.write(QStringLiteral("[D-BUS Service]\nName=org.freedesktop.UDisks2\n"
                                        "Exec=/usr/bin/touch %1/started\nUser=root\n")
                             .arg(folder_.path())
                             .toUtf8());
        activation.close();
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                       QStringLiteral("--config-file=") + config.fileName()});
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        ASSERT_FALSE(address_.isEmpty()) << "dbus-daemon did not start";
        bus_ = QDBusConnection::connectToBus(address_, busName_);
        ASSERT_TRUE(bus_.isConnected());
    }

    void TearDown() override {
        QDBusConnection::disconnectFromBus(busName_);
        service_.closeWriteChannel();  // the stand-in service ends when its input closes
        service_.waitForFinished(5000);
        for (QProcess* p : {&service_, &daemon_}) {
            p->kill();
            p->waitForFinished(5000);
        }
    }

    void StartService() {
        service_.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(QTL99_FAKE_UDISKS), address_});
        while (!service_.canReadLine() && service_.waitForReadyRead(10000)) {
        }
        ASSERT_EQ(service_.readLine().trimmed(), "ready") << service_.readAllStandardError().data();
    }

    // Steers the stand-in service.
    void Control(const QString& method, const QVariantList& args = {}) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.UDisks2"), QStringLiteral("/org/freedesktop/UDisks2"),
            QStringLiteral("org.qtl99.FakeUDisks"), method);
        m.setArguments(args);
        const QDBusMessage reply = bus_.call(m, QDBus::Block, 5000);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());
    }

    QTemporaryDir folder_;
    QProcess daemon_;
    QProcess service_;
    QString address_;
    const QString busName_ =
        QStringLiteral("qtl99-prueba-%1").arg(reinterpret_cast<quintptr>(this));
    QDBusConnection bus_{QString()};
};

TEST_F(ServicioDeDiscosTest, FloppyDriveIsListedWithAndWithoutADisk) {
    StartService();
    const UDisksClient client(bus_);
    EXPECT_TRUE(client.IsReachable());

    // Empty: listed, no disk, nothing to mount; a Zip drive and a loop device are no floppies.
    auto floppies = client.FloppyDrives();
    ASSERT_EQ(floppies.size(), 1u);
    EXPECT_EQ(floppies[0].device, u"/dev/sdb");
    EXPECT_EQ(floppies[0].block, kFloppyBlock);
    EXPECT_EQ(floppies[0].drive, u"/org/freedesktop/UDisks2/drives/Fake_USB_Floppy");
    EXPECT_FALSE(floppies[0].mediaChangeDetected);
    EXPECT_FALSE(floppies[0].mediaAvailable);
    EXPECT_FALSE(floppies[0].hasFilesystem);
    EXPECT_EQ(client.Mount(kFloppyBlock).failure, UDisksFailure::kNoFilesystem);

    // The service sees the disk go in, and out, only when asked to look again.
    Control(QStringLiteral("InsertDisk"), {QStringLiteral("DISCO 1"), qulonglong(1474560)});
    EXPECT_FALSE(client.FloppyDrives().at(0).mediaAvailable);
    ASSERT_TRUE(client.Rescan(kFloppyBlock).ok());
    floppies = client.FloppyDrives();
    ASSERT_EQ(floppies.size(), 1u);
    EXPECT_TRUE(floppies[0].mediaAvailable);
    EXPECT_EQ(floppies[0].sizeBytes, 1474560);
    EXPECT_EQ(floppies[0].label, u"DISCO 1");
    EXPECT_TRUE(floppies[0].hasFilesystem);
    EXPECT_TRUE(floppies[0].mountPoints.isEmpty());

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
    Control(QStringLiteral("InsertDisk"), {QStringLiteral("DISCO 1"), qulonglong(1474560)});
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

}  // namespace
