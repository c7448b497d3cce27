#!/usr/bin/python3
"""A stand-in for the desktop's disk service (UDisks2) on a test's private bus.

    fake_udisks.py BUS_ADDRESS

It takes the name org.freedesktop.UDisks2 on the bus at BUS_ADDRESS, prints "ready" and serves
until its standard input closes, so it never outlives the test that started it. It offers:

- a USB floppy drive (/dev/sdb), empty at first. Like the real service, it cannot see a disk go
  in or out of a floppy drive (MediaChangeDetected false, MediaAvailable always true): the disk
  the test inserts or ejects is seen at the block's next Rescan;
- a USB stick (/dev/sdc) holding a FAT file system, which is no floppy drive;
- a loop device tied to no drive.

Mounting mounts nothing: it records the folder the test chose as the mount point and returns it.
The test steers it through org.qtl99.FakeUDisks at /org/qtl99/FakeUDisks:
InsertDisk(label, size), EjectDisk(), SetMountFolder(path), FailMount(error name),
FailUnmount(error name); an empty error name lets the call succeed again.
"""

import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

ROOT = "/org/freedesktop/UDisks2"
PROPS = "org.freedesktop.DBus.Properties"
DRIVE = "org.freedesktop.UDisks2.Drive"
BLOCK = "org.freedesktop.UDisks2.Block"
FILESYSTEM = "org.freedesktop.UDisks2.Filesystem"
ERROR = "org.freedesktop.UDisks2.Error."


def nul_terminated(text):
    return dbus.Array([dbus.Byte(b) for b in text.encode() + b"\0"], signature="y")


class ServiceObject(dbus.service.Object):
    """One object of the service: its interfaces and their properties."""

    def __init__(self, bus, path, interfaces):
        super().__init__(bus, path)
        self.path = path
        self.interfaces = interfaces  # {interface: {name: value}}

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface not in self.interfaces:
            raise dbus.exceptions.DBusException(
                "No such interface", name="org.freedesktop.DBus.Error.InvalidArgs")
        return self.interfaces[interface][name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.interfaces.get(interface, {})


class Block(ServiceObject):
    """A block device; mountable while it holds a file system."""

    def __init__(self, bus, path, device, drive, size=0, label="", fs=False):
        super().__init__(bus, path, {})
        self.device, self.drive = device, drive
        self.mount_folder = "/nonexistent"
        self.mount_error = ""
        self.unmount_error = ""
        self.in_drive = None  # (size, label, fs) of a disk changed since the last look
        self.set_disk(size, label, fs)

    def set_disk(self, size, label, fs):
        self.interfaces = {BLOCK: {
            "Device": nul_terminated(self.device),
            "PreferredDevice": nul_terminated(self.device),
            "Drive": dbus.ObjectPath(self.drive),
            "Size": dbus.UInt64(size),
            "IdLabel": dbus.String(label),
            "IdType": dbus.String("vfat" if fs else ""),
            "IdUsage": dbus.String("filesystem" if fs else ""),
        }}
        if fs:
            self.interfaces[FILESYSTEM] = {
                "MountPoints": dbus.Array([], signature="ay")}

    def filesystem(self):
        if FILESYSTEM not in self.interfaces:
            raise dbus.exceptions.DBusException(
                "No such interface '%s'" % FILESYSTEM,
                name="org.freedesktop.DBus.Error.UnknownMethod")
        return self.interfaces[FILESYSTEM]

    @dbus.service.method(BLOCK, in_signature="a{sv}", out_signature="")
    def Rescan(self, options):
        if self.in_drive is not None:
            self.set_disk(*self.in_drive)
            self.in_drive = None

    @dbus.service.method(FILESYSTEM, in_signature="a{sv}", out_signature="s")
    def Mount(self, options):
        fs = self.filesystem()
        if self.mount_error:
            raise dbus.exceptions.DBusException("refused", name=self.mount_error)
        if fs["MountPoints"]:
            raise dbus.exceptions.DBusException(
                "Device %s is already mounted" % self.device, name=ERROR + "AlreadyMounted")
        fs["MountPoints"] = dbus.Array([nul_terminated(self.mount_folder)], signature="ay")
        return self.mount_folder

    @dbus.service.method(FILESYSTEM, in_signature="a{sv}", out_signature="")
    def Unmount(self, options):
        fs = self.filesystem()
        if self.unmount_error:
            raise dbus.exceptions.DBusException("refused", name=self.unmount_error)
        if not fs["MountPoints"]:
            raise dbus.exceptions.DBusException(
                "Device %s is not mounted" % self.device, name=ERROR + "NotMounted")
        fs["MountPoints"] = dbus.Array([], signature="ay")


def drive_props(compatibility, change_detected, size):
    return {DRIVE: {
        "MediaCompatibility": dbus.Array(compatibility, signature="s"),
        "MediaRemovable": dbus.Boolean(True),
        "MediaAvailable": dbus.Boolean(True),
        "MediaChangeDetected": dbus.Boolean(change_detected),
        "Size": dbus.UInt64(size),
    }}


class Service(dbus.service.Object):
    """The object manager, and the test's controls."""

    def __init__(self, bus):
        super().__init__(bus, ROOT)
        floppy = ROOT + "/drives/Fake_USB_Floppy"
        stick = ROOT + "/drives/Fake_USB_Stick"
        self.floppy = ServiceObject(bus, floppy, drive_props(["floppy", "floppy_zip"], False, 0))
        self.floppy_block = Block(bus, ROOT + "/block_devices/sdb", "/dev/sdb", floppy)
        self.objects = [
            self.floppy, self.floppy_block,
            ServiceObject(bus, stick, drive_props(["thumb"], True, 1474560)),
            Block(bus, ROOT + "/block_devices/sdc", "/dev/sdc", stick, 1474560, "PEN", True),
            Block(bus, ROOT + "/block_devices/loop0", "/dev/loop0", "/", 1474560, "", True),
        ]
        self.controls = Controls(bus, self)

    @dbus.service.method("org.freedesktop.DBus.ObjectManager", out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        return {dbus.ObjectPath(o.path): o.interfaces for o in self.objects}


class Controls(dbus.service.Object):
    def __init__(self, bus, service):
        super().__init__(bus, "/org/qtl99/FakeUDisks")
        self.service = service

    @dbus.service.method("org.qtl99.FakeUDisks", in_signature="st")
    def InsertDisk(self, label, size):
        self.service.floppy_block.in_drive = (size, label, True)

    @dbus.service.method("org.qtl99.FakeUDisks")
    def EjectDisk(self):
        self.service.floppy_block.in_drive = (0, "", False)

    @dbus.service.method("org.qtl99.FakeUDisks", in_signature="s")
    def SetMountFolder(self, folder):
        self.service.floppy_block.mount_folder = folder

    @dbus.service.method("org.qtl99.FakeUDisks", in_signature="s")
    def FailMount(self, error):
        self.service.floppy_block.mount_error = error

    @dbus.service.method("org.qtl99.FakeUDisks", in_signature="s")
    def FailUnmount(self, error):
        self.service.floppy_block.unmount_error = error


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
