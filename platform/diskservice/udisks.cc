#include "platform/diskservice/udisks.h"
#include "platform/media/floppy.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMap>
#include <QRegularExpression>
#include <QVariantMap>
#include <algorithm>

namespace platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kRoot = QStringLiteral("/org/freedesktop/UDisks2");
const QString kDriveInterface = QStringLiteral("org.freedesktop.UDisks2.Drive");
const QString kBlockInterface = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kPartitionInterface = QStringLiteral("org.freedesktop.UDisks2.Partition");
const QString kFilesystemInterface = QStringLiteral("org.freedesktop.UDisks2.Filesystem");

// A byte-string property (a device node, a mount point) without its closing NUL.
QString FromBytes(QByteArray bytes) {
    while (bytes.endsWith('\0'))
        bytes.chop(1);
    return QString::fromLocal8Bit(bytes);
}

// An array of byte strings (aay), as the service gives mount points.
QStringList FromByteStrings(const QVariant& value) {
    QStringList out;
    if (!value.canConvert<QDBusArgument>())
        return out;
    const QDBusArgument arg = value.value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QByteArray bytes;
        arg >> bytes;
        out << FromBytes(bytes);
    }
    arg.endArray();
    return out;
}

// One object of the service and the properties of each of its interfaces, as the object manager
// gave them; every property is read through prop().
class ServiceObject {
  public:
    ServiceObject(QString path, QMap<QString, QVariantMap> interfaces)
        : path_(std::move(path)), interfaces_(std::move(interfaces)) {}

    const QString& path() const { return path_; }
    bool has(const QString& interface) const { return interfaces_.contains(interface); }
    QVariant prop(const QString& interface, const QString& name) const {
        return interfaces_.value(interface).value(name);
    }

    QString Device() const { return FromBytes(prop(kBlockInterface, u"Device"_qs).toByteArray()); }
    QString DrivePath() const {
        return prop(kBlockInterface, u"Drive"_qs).value<QDBusObjectPath>().path();
    }

  private:
    QString path_;
    QMap<QString, QVariantMap> interfaces_;
};

// Why the service failed a mount, from the words of the mount underneath: it gives all of them
// one error name.
UDisksFailure MountFailureOf(const QString& message) {
    if (message.contains(u"no medium found", Qt::CaseInsensitive))
        return UDisksFailure::kNoMedium;
    if (message.contains(u"can't read superblock", Qt::CaseInsensitive))
        return UDisksFailure::kUnreadable;
    if (message.contains(u"wrong fs type", Qt::CaseInsensitive) ||
        message.contains(u"unknown filesystem type", Qt::CaseInsensitive))
        return UDisksFailure::kNoFilesystem;
    return UDisksFailure::kOther;
}

// What an error the service (or the bus) answered means to the caller.
UDisksFailure FailureOf(const QString& errorName, const QString& message) {
    const auto is = [&](const char* suffix) {
        return errorName ==
               QStringLiteral("org.freedesktop.UDisks2.Error.") + QLatin1String(suffix);
    };
    if (errorName.startsWith(u"org.freedesktop.UDisks2.Error.NotAuthorized"))
        return UDisksFailure::kNotAuthorized;
    if (is("DeviceBusy"))
        return UDisksFailure::kBusy;
    if (is("AlreadyMounted"))
        return UDisksFailure::kAlreadyMounted;
    if (is("NotMounted"))
        return UDisksFailure::kNotMounted;
    if (is("Failed"))
        return MountFailureOf(message);
    // The object has no Filesystem interface: no disk, or none the service can mount.
    if (errorName == u"org.freedesktop.DBus.Error.UnknownMethod" ||
        errorName == u"org.freedesktop.DBus.Error.UnknownInterface")
        return UDisksFailure::kNoFilesystem;
    if (errorName == u"org.freedesktop.DBus.Error.UnknownObject")
        return UDisksFailure::kGone;
    if (errorName == u"org.freedesktop.DBus.Error.ServiceUnknown" ||
        errorName == u"org.freedesktop.DBus.Error.NameHasNoOwner" ||
        errorName == u"org.freedesktop.DBus.Error.Disconnected" ||
        errorName == u"org.freedesktop.DBus.Error.NoServer")
        return UDisksFailure::kNoService;
    // No answer in time: the service may be asking for a password, or still at work.
    if (errorName == u"org.freedesktop.DBus.Error.NoReply" ||
        errorName == u"org.freedesktop.DBus.Error.Timeout" ||
        errorName == u"org.freedesktop.DBus.Error.TimedOut")
        return UDisksFailure::kGaveUp;
    return UDisksFailure::kOther;
}

UDisksResult ErrorResult(const QDBusMessage& reply) {
    UDisksResult r;
    r.failure = FailureOf(reply.errorName(), reply.errorMessage());
    r.message = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    return r;
}

// The call, never starting the service: a service that is not running is not there.
QDBusMessage Call(const QDBusConnection& bus, const QString& service, const QString& path,
                  const QString& interface, const QString& method, const QVariantList& args,
                  int timeoutMs) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setAutoStartService(false);
    message.setArguments(args);
    return bus.call(message, QDBus::Block, timeoutMs);
}

// Every object of the service, read in one call to its object manager.
std::vector<ServiceObject> ManagedObjects(const QDBusConnection& bus, int timeoutMs) {
    std::vector<ServiceObject> objects;
    const QDBusMessage reply =
        Call(bus, kService, kRoot, QStringLiteral("org.freedesktop.DBus.ObjectManager"),
             QStringLiteral("GetManagedObjects"), {}, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() ||
        !reply.arguments().constFirst().canConvert<QDBusArgument>())
        return objects;
    const QDBusArgument arg = reply.arguments().constFirst().value<QDBusArgument>();
    if (arg.currentSignature() != u"a{oa{sa{sv}}}")
        return objects;
    arg.beginMap();
    while (!arg.atEnd()) {
        QDBusObjectPath path;
        QMap<QString, QVariantMap> interfaces;
        arg.beginMapEntry();
        arg >> path >> interfaces;
        arg.endMapEntry();
        objects.emplace_back(path.path(), std::move(interfaces));
    }
    arg.endMap();
    return objects;
}

// The block that holds a drive's disk: the whole disk when it holds the file system or none
// of its partitions does, else the partition that holds it.
const ServiceObject* DiskBlockOf(const QString& drive, const std::vector<ServiceObject>& objects) {
    const ServiceObject* whole = nullptr;
    const ServiceObject* partition = nullptr;
    for (const ServiceObject& o : objects) {
        if (!o.has(kBlockInterface) || o.DrivePath() != drive)
            continue;
        if (!o.has(kPartitionInterface)) {
            if (whole == nullptr ||
                (o.has(kFilesystemInterface) && !whole->has(kFilesystemInterface)))
                whole = &o;
        } else if (partition == nullptr && o.has(kFilesystemInterface)) {
            partition = &o;
        }
    }
    if (whole != nullptr && (whole->has(kFilesystemInterface) || partition == nullptr))
        return whole;
    return partition;
}

UDisksFloppy FloppyOf(const ServiceObject* drive, const ServiceObject& block) {
    UDisksFloppy f;
    f.block = block.path();
    f.device = block.Device();
    f.sizeBytes = block.prop(kBlockInterface, u"Size"_qs).toLongLong();
    f.idUsage = block.prop(kBlockInterface, u"IdUsage"_qs).toString();
    f.idType = block.prop(kBlockInterface, u"IdType"_qs).toString();
    f.label = block.prop(kBlockInterface, u"IdLabel"_qs).toString();
    f.canMount = block.has(kFilesystemInterface);
    f.hasFilesystem = f.canMount && f.idUsage == u"filesystem";
    f.mountPoints = FromByteStrings(block.prop(kFilesystemInterface, u"MountPoints"_qs));
    // Where the service cannot see a disk change its MediaAvailable is an assumption (always
    // true): what udev's last probe found on the disk is the evidence, or a size where the
    // service gives one.
    f.mediaAvailable = !f.idUsage.isEmpty() || f.sizeBytes > 0;
    if (drive != nullptr) {
        f.drive = drive->path();
        f.mediaChangeDetected = drive->prop(kDriveInterface, u"MediaChangeDetected"_qs).toBool();
        if (f.mediaChangeDetected)
            f.mediaAvailable = drive->prop(kDriveInterface, u"MediaAvailable"_qs).toBool();
    }
    return f;
}

}  // namespace

UDisksClient::UDisksClient()
    : queryTimeoutMs_(kQueryTimeoutMs), actionTimeoutMs_(kActionTimeoutMs) {}

UDisksClient::UDisksClient(QDBusConnection bus, int queryTimeoutMs, int actionTimeoutMs)
    : bus_(std::move(bus)), queryTimeoutMs_(queryTimeoutMs), actionTimeoutMs_(actionTimeoutMs) {}

const QDBusConnection& UDisksClient::bus() const {
    // The system bus is connected at the first call, not before the first window.
    if (!bus_)
        bus_ = QDBusConnection::systemBus();
    return *bus_;
}

bool UDisksClient::IsReachable() const {
    if (!bus().isConnected())
        return false;
    const QDBusMessage reply =
        Call(bus(), QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
             QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"), {kService},
             queryTimeoutMs_);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().toBool();
}

std::vector<UDisksFloppy> UDisksClient::FloppyDrives() const {
    std::vector<UDisksFloppy> floppies;
    if (!bus().isConnected())
        return floppies;
    const std::vector<ServiceObject> objects = ManagedObjects(bus(), queryTimeoutMs_);
    for (const ServiceObject& drive : objects) {
        if (!drive.has(kDriveInterface))
            continue;
        const QStringList media =
            drive.prop(kDriveInterface, u"MediaCompatibility"_qs).toStringList();
        const ServiceObject* block = DiskBlockOf(drive.path(), objects);
        const bool floppy = media.contains(u"floppy"_qs) ||
                            (block != nullptr && IsFloppyControllerDevice(block->Device()));
        if (floppy && block != nullptr)
            floppies.push_back(FloppyOf(&drive, *block));
    }
    // The service ties a classic floppy device to no drive object.
    for (const ServiceObject& o : objects) {
        if (o.has(kBlockInterface) && o.DrivePath() == u"/" && IsFloppyControllerDevice(o.Device()))
            floppies.push_back(FloppyOf(nullptr, o));
    }
    std::sort(floppies.begin(), floppies.end(),
              [](const UDisksFloppy& x, const UDisksFloppy& y) { return x.device < y.device; });
    return floppies;
}

UDisksResult UDisksClient::Rescan(const QString& block) const {
    return OnBlock(block, kBlockInterface, QStringLiteral("Rescan"));
}

UDisksResult UDisksClient::Mount(const QString& block) const {
    QVariant answer;
    UDisksResult r = OnBlock(block, kFilesystemInterface, QStringLiteral("Mount"), &answer);
    if (r.ok()) {
        r.mountPoint = answer.toString();
    } else if (r.failure == UDisksFailure::kAlreadyMounted) {
        const QDBusMessage mounts =
            Call(bus(), kService, block, QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("Get"), {kFilesystemInterface, QStringLiteral("MountPoints")},
                 queryTimeoutMs_);
        if (mounts.type() == QDBusMessage::ReplyMessage && !mounts.arguments().isEmpty()) {
            r.mountPoint =
                FromByteStrings(mounts.arguments().constFirst().value<QDBusVariant>().variant())
                    .value(0);
        }
    }
    return r;
}

UDisksResult UDisksClient::Unmount(const QString& block) const {
    return OnBlock(block, kFilesystemInterface, QStringLiteral("Unmount"));
}

UDisksResult UDisksClient::OnBlock(const QString& block, const QString& interface,
                                   const QString& method, QVariant* answer) const {
    if (!bus().isConnected())
        return {UDisksFailure::kNoService, {}, QStringLiteral("no system bus")};
    const QDBusMessage reply =
        Call(bus(), kService, block, interface, method, {QVariantMap()}, actionTimeoutMs_);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        if (answer != nullptr)
            *answer = reply.arguments().value(0);
        return {};
    }
    if (reply.type() != QDBusMessage::ErrorMessage)
        return {UDisksFailure::kOther, {}, QStringLiteral("unexpected answer to ") + method};
    UDisksResult r = ErrorResult(reply);
    // The service answers alike for an object without the interface and for no object at
    // all: a block that cannot say its size is gone.
    if (r.failure == UDisksFailure::kNoFilesystem &&
        reply.errorName().startsWith(u"org.freedesktop.DBus.Error.Unknown")) {
        const QDBusMessage size =
            Call(bus(), kService, block, QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("Get"), {kBlockInterface, QStringLiteral("Size")}, queryTimeoutMs_);
        if (size.type() != QDBusMessage::ReplyMessage || interface == kBlockInterface)
            r.failure = UDisksFailure::kGone;
    }
    return r;
}

}  // namespace platform
