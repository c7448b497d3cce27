#!/usr/bin/python3
"""A stand-in for the desktop's disk service (UDisks2) on a test's private bus.

    fake_udisks.py BUS_ADDRESS [DEVICE_FOLDER]

It takes the name org.freedesktop.UDisks2 there, prints "ready" and serves until its standard
input closes, so it never outlives its test. It has a USB floppy drive (/dev/sdb), empty at first,
which like the real service's cannot see a disk go in or out (MediaChangeDetected false,
MediaAvailable always true): a disk inserted or ejected is seen at the block's next Rescan. Beside
it, a Zip drive holding FAT (/dev/sdc) and a loop device tied to no drive, which are no floppies.
Mount mounts nothing: it returns the folder the test chose and lists it as the mount point.
Its device nodes lie in DEVICE_FOLDER (/dev/ unless given), so that a test of a program that may
open devices names one that is not there.

The test steers it through org.qtl99.FakeUDisks at /org/freedesktop/UDisks2: InsertDisk(label,
size), InsertBlankDisk(size) (no file system on it), EjectDisk(), SetMountFolder(path),
FailMount(error), FailUnmount(error); an empty error name lets the call succeed again.
"""

import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

ROOT = "/org/freedesktop/UDisks2"
DRIVE = "org.freedesktop.UDisks2.Drive"
BLOCK = "org.freedesktop.UDisks2.Block"
FILESYSTEM = "org.freedesktop.UDisks2.Filesystem"
CONTROL = "org.qtl99.FakeUDisks"
DEVICE_FOLDER = sys.argv[2] if len(sys.argv) > 2 else "/dev/"


def fail(name, text="refused"):
    raise dbus.exceptions.DBusException(text, name=name)


def nul_terminated(text):
    return dbus.ByteArray(text.encode() + b"\0")


class ServiceObject(dbus.service.Object):
    def __init__(self, bus, path, interfaces):
        super().__init__(bus, path)
        self.path, self.interfaces = path, interfaces  # {interface: {property: value}}

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface not in self.interfaces:
            fail("org.freedesktop.DBus.Error.InvalidArgs", "No such interface")
        return self.interfaces[interface][name]


class Block(ServiceObject):
    def __init__(self, bus, name, drive, size=0, label="", fs=False):
        super().__init__(bus, ROOT + "/block_devices/" + name, {})
        self.device, self.drive = DEVICE_FOLDER + name, drive
        self.mount_folder, self.mount_error, self.unmount_error = "/nonexistent", "", ""
        self.in_drive = None  # (size, label, fs) of a disk changed since the last look
        self.set_disk(size, label, fs)

    def set_disk(self, size, label, fs):
        self.interfaces = {BLOCK: {"Device": nul_terminated(self.device),
                                   "Drive": dbus.ObjectPath(self.drive),
                                   "Size": dbus.UInt64(size), "IdLabel": label}}
        if fs:
            self.interfaces[FILESYSTEM] = {"MountPoints": dbus.Array([], signature="ay")}

    def mount_points(self):
        if FILESYSTEM not in self.interfaces:  # as the real service answers
            fail("org.freedesktop.DBus.Error.UnknownMethod", "No such interface " + FILESYSTEM)
        return self.interfaces[FILESYSTEM]

    @dbus.service.method(BLOCK, in_signature="a{sv}")
    def Rescan(self, options):
        if self.in_drive is not None:
            self.set_disk(*self.in_drive)
            self.in_drive = None

    @dbus.service.method(FILESYSTEM, in_signature="a{sv}", out_signature="s")
    def Mount(self, options):
        fs = self.mount_points()
        if self.mount_error:
            fail(self.mount_error)
        if fs["MountPoints"]:
            fail("org.freedesktop.UDisks2.Error.AlreadyMounted", "already mounted")
        fs["MountPoints"] = dbus.Array([nul_terminated(self.mount_folder)], signature="ay")
        return self.mount_folder

    @dbus.service.method(FILESYSTEM, in_signature="a{sv}")
    def Unmount(self, options):
        fs = self.mount_points()
        if self.unmount_error:
            fail(self.unmount_error)
        if not fs["MountPoints"]:
            fail("org.freedesktop.UDisks2.Error.NotMounted", "not mounted")
        fs["MountPoints"] = dbus.Array([], signature="ay")


def drive(bus, name, compatibility, change_detected):
    return ServiceObject(bus, ROOT + "/drives/" + name, {DRIVE: {
        "MediaCompatibility": dbus.Array(compatibility, signature="s"),
        "MediaAvailable": True, "MediaChangeDetected": change_detected}})


class Service(dbus.service.Object):
    """The object manager, and the test's controls."""

    def __init__(self, bus):
        super().__init__(bus, ROOT)
        floppy = drive(bus, "Fake_USB_Floppy", ["floppy"], False)
        zip_drive = drive(bus, "Fake_Zip", ["floppy_zip"], False)
        self.floppy = Block(bus, "sdb", floppy.path)
        self.objects = [floppy, self.floppy, zip_drive,
                        Block(bus, "sdc", zip_drive.path, 100663296, "ZIP", True),
                        Block(bus, "loop0", "/", 1474560, "", True)]

    @dbus.service.method("org.freedesktop.DBus.ObjectManager", out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        return {dbus.ObjectPath(o.path): o.interfaces for o in self.objects}

    @dbus.service.method(CONTROL, in_signature="st")
    def InsertDisk(self, label, size):
        self.floppy.in_drive = (size, label, True)

    @dbus.service.method(CONTROL, in_signature="t")
    def InsertBlankDisk(self, size):
        self.floppy.in_drive = (size, "", False)

    @dbus.service.method(CONTROL)
    def EjectDisk(self):
        self.floppy.in_drive = (0, "", False)

    @dbus.service.method(CONTROL, in_signature="s")
    def SetMountFolder(self, folder):
        self.floppy.mount_folder = folder

    @dbus.service.method(CONTROL, in_signature="s")
    def FailMount(self, error):
        self.floppy.mount_error = error

    @dbus.service.method(CONTROL, in_signature="s")
    def FailUnmount(self, error):
        self.floppy.unmount_error = error


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(sys.argv[1])
    service = Service(bus)
    bus.request_name("org.freedesktop.UDisks2", dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
    loop = GLib.MainLoop()
    GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_HUP | GLib.IO_IN | GLib.IO_ERR,
                      lambda *_: loop.quit())
    print("ready", flush=True)
    loop.run()
    del service


if __name__ == "__main__":
    main()
