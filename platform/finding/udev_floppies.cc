#include "platform/finding/udev_floppies.h"

#include <libudev.h>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <memory>

#include "platform/loaded_library.h"
#include "platform/media/floppy.h"

namespace platform {

namespace {

// libudev's calls, from the library opened with the first of them.
struct LibUdev {
    LoadedLibrary library{"libudev.so.1"};
    QTL_LIBRARY_CALL(udev_new);
    QTL_LIBRARY_CALL(udev_unref);
    QTL_LIBRARY_CALL(udev_enumerate_new);
    QTL_LIBRARY_CALL(udev_enumerate_unref);
    QTL_LIBRARY_CALL(udev_enumerate_add_match_subsystem);
    QTL_LIBRARY_CALL(udev_enumerate_add_match_property);
    QTL_LIBRARY_CALL(udev_enumerate_scan_devices);
    QTL_LIBRARY_CALL(udev_enumerate_get_list_entry);
    QTL_LIBRARY_CALL(udev_list_entry_get_next);
    QTL_LIBRARY_CALL(udev_list_entry_get_name);
    QTL_LIBRARY_CALL(udev_device_new_from_syspath);
    QTL_LIBRARY_CALL(udev_device_unref);
    QTL_LIBRARY_CALL(udev_device_get_devnode);
    QTL_LIBRARY_CALL(udev_device_get_sysattr_value);
    QTL_LIBRARY_CALL(udev_device_get_property_value);
};

QString Text(const char* value) {
    return value == nullptr ? QString() : QString::fromUtf8(value);
}

// A USB mass-storage interface of the UFI subclass (08/04): a floppy drive, even while it is
// empty, when an empty card reader or stick slot looks just like it otherwise.
bool IsUsbFloppyInterface(const QString& interfaces) {
    static const QRegularExpression kUfi(QStringLiteral(":0804[0-9a-fA-F]{2}:"));
    return kUfi.match(interfaces).hasMatch();
}

}  // namespace

QString UdevUnavailable() {
    const LibUdev u;
    return u.library.complete() ? QString() : u.library.problem();
}

std::vector<UdevDisk> SystemUdev::Disks() const {
    std::vector<UdevDisk> disks;
    const LibUdev u;
    if (!u.library.complete())
        return disks;
    const std::unique_ptr<udev, decltype(u.udev_unref)> context(u.udev_new(), u.udev_unref);
    if (!context)
        return disks;
    const std::unique_ptr<udev_enumerate, decltype(u.udev_enumerate_unref)> enumerate(
        u.udev_enumerate_new(context.get()), u.udev_enumerate_unref);
    if (!enumerate || u.udev_enumerate_add_match_subsystem(enumerate.get(), "block") < 0 ||
        u.udev_enumerate_add_match_property(enumerate.get(), "DEVTYPE", "disk") < 0 ||
        u.udev_enumerate_scan_devices(enumerate.get()) < 0)
        return disks;
    for (udev_list_entry* entry = u.udev_enumerate_get_list_entry(enumerate.get());
         entry != nullptr; entry = u.udev_list_entry_get_next(entry)) {
        const std::unique_ptr<udev_device, decltype(u.udev_device_unref)> device(
            u.udev_device_new_from_syspath(context.get(), u.udev_list_entry_get_name(entry)),
            u.udev_device_unref);
        if (!device || u.udev_device_get_devnode(device.get()) == nullptr)
            continue;
        const auto property = [&](const char* name) {
            return Text(u.udev_device_get_property_value(device.get(), name));
        };
        UdevDisk d;
        d.node = QFile::decodeName(u.udev_device_get_devnode(device.get()));
        d.sizeBytes =
            Text(u.udev_device_get_sysattr_value(device.get(), "size")).toLongLong() * 512;
        d.removable = Text(u.udev_device_get_sysattr_value(device.get(), "removable")) == u"1";
        d.floppyDrive = property("ID_DRIVE_FLOPPY") == u"1";
        d.usbInterfaces = property("ID_USB_INTERFACES");
        d.fsType = property("ID_FS_TYPE");
        disks.push_back(std::move(d));
    }
    return disks;
}

std::vector<UdevFloppy> ClassifyFloppies(const std::vector<UdevDisk>& disks) {
    static const QRegularExpression kNeverFloppy(QStringLiteral("^/dev/(loop|ram|zram)[0-9]+$"));
    std::vector<UdevFloppy> floppies;
    for (const UdevDisk& d : disks) {
        if (kNeverFloppy.match(d.node).hasMatch())
            continue;
        const bool drive = d.floppyDrive || IsFloppyControllerDevice(d.node) ||
                           IsUsbFloppyInterface(d.usbInterfaces);
        const bool floppyDisk = d.removable && d.sizeBytes > 0 &&
                                d.sizeBytes <= kLargestFloppyBytes && IsFatType(d.fsType);
        if (drive || floppyDisk)
            floppies.push_back({d.node, d.sizeBytes, d.sizeBytes > 0});
    }
    return floppies;
}

}  // namespace platform
