#include "platform/drives/udev_floppies.h"

#include <libudev.h>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <memory>

#include "platform/drives/floppy.h"

namespace platform {

namespace {

using UdevPtr = std::unique_ptr<udev, decltype(&udev_unref)>;
using EnumeratePtr = std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)>;
using DevicePtr = std::unique_ptr<udev_device, decltype(&udev_device_unref)>;

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

std::vector<UdevDisk> SystemUdev::Disks() const {
    std::vector<UdevDisk> disks;
    const UdevPtr context(udev_new(), &udev_unref);
    if (!context)
        return disks;
    const EnumeratePtr enumerate(udev_enumerate_new(context.get()), &udev_enumerate_unref);
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "block") < 0 ||
        udev_enumerate_add_match_property(enumerate.get(), "DEVTYPE", "disk") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0)
        return disks;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        const DevicePtr device(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)),
            &udev_device_unref);
        if (!device || udev_device_get_devnode(device.get()) == nullptr)
            continue;
        UdevDisk d;
        d.node = QFile::decodeName(udev_device_get_devnode(device.get()));
        d.sizeBytes = Text(udev_device_get_sysattr_value(device.get(), "size")).toLongLong() * 512;
        d.removable = Text(udev_device_get_sysattr_value(device.get(), "removable")) == u"1";
        d.floppyDrive =
            Text(udev_device_get_property_value(device.get(), "ID_DRIVE_FLOPPY")) == u"1";
        d.usbInterfaces = Text(udev_device_get_property_value(device.get(), "ID_USB_INTERFACES"));
        d.fsType = Text(udev_device_get_property_value(device.get(), "ID_FS_TYPE"));
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
