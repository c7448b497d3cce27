#!/usr/bin/python3
"""A stand-in for the desktop's disk service (UDisks2) on a test's private bus.

    fake_udisks.py BUS_ADDRESS [DEVICE_FOLDER]

It takes the name org.freedesktop.UDisks2 there, prints "ready" and serves until its standard
input closes, so it never outlives its test. It has a USB floppy drive (/dev/sdb), empty at first,
which says what the real service says of one: it cannot see a disk go in or out
(MediaChangeDetected false, MediaAvailable always true), never sizes a disk (Size 0), keeps its
Filesystem interface with no disk, and tells a disk only by udev's probe (IdUsage, IdType, IdUUID,
IdLabel), renewed at the block's next Rescan. A mount reads the disk in the drive now, whatever the
probe said, and fails with the words of the mount underneath. Beside it, a Zip drive holding FAT
(/dev/sdc) and a loop device tied to no drive, which are no floppies. Mount mounts nothing: it
returns the folder the test chose and lists it as the mount point. Its device nodes lie in
DEVICE_FOLDER (/dev/ unless given), so that a test of a program that may open devices names one
that is not there.

It stays for what the real service cannot be made to do on demand. The test steers it through
org.qtl99.FakeUDisks at /org/freedesktop/UDisks2: InsertDisk(label), InsertBlankDisk() (no file
system on it), EjectDisk(), SetMountFolder(path), FailMount(error), FailUnmount(error) (an empty
error name lets the call succeed again), HangMount(milliseconds) (the next mounts answer that
late, as while the service asks the user for a password; 0 answers at once again).
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
    def __init__(self, bus, name, drive, size=0, label="", fs=False, watched=True):
        super().__init__(bus, ROOT + "/block_devices/" + name, {})
        self.device, self.drive, self.watched = DEVICE_FOLDER + name, drive, watched
        self.mount_folder, self.mount_error, self.unmount_error = "/nonexistent", "", ""
        self.mount_delay_ms = 0
        self.disk = ("filesystem", label) if fs else None  # in the drive now
        self.size = size
        self.probe()

    def probe(self):
        """udev's look at the disk in the drive, as the service then publishes it."""
        usage, label = self.disk if self.disk else ("", "")
        self.interfaces = {BLOCK: {
            "Device": nul_terminated(self.device), "Drive": dbus.ObjectPath(self.drive),
            "Size": dbus.UInt64(self.size if self.watched else 0), "IdUsage": usage,
            "IdType": "vfat" if usage == "filesystem" else "",
            "IdUUID": "2B0C-1A7F" if usage == "filesystem" else "", "IdLabel": label}}
        # A drive that cannot see its disk change is always offered for mounting.
        if usage == "filesystem" or not self.watched:
            self.interfaces[FILESYSTEM] = {"MountPoints": dbus.Array([], signature="ay")}

    def mount_points(self):
        if FILESYSTEM not in self.interfaces:  # as the real service answers
            fail("org.freedesktop.DBus.Error.UnknownMethod", "No such interface " + FILESYSTEM)
        return self.interfaces[FILESYSTEM]

    @dbus.service.method(BLOCK, in_signature="a{sv}")
    def Rescan(self, options):
        mounted = FILESYSTEM in self.interfaces and self.interfaces[FILESYSTEM]["MountPoints"]
        self.probe()
        if mounted:
            self.interfaces[FILESYSTEM]["MountPoints"] = mounted

    def mount(self):
        fs = self.mount_points()
        if self.mount_error:
            fail(self.mount_error)
        if fs["MountPoints"]:
            fail("org.freedesktop.UDisks2.Error.AlreadyMounted", "already mounted")
        where = "Error mounting %s at /media/prueba/disk: " % self.device
        if self.disk is None:
            fail("org.freedesktop.UDisks2.Error.Failed",
                 where + "No medium found on " + self.device)
        if self.disk[0] != "filesystem":
            fail("org.freedesktop.UDisks2.Error.Failed",
                 where + "wrong fs type, bad option, bad superblock on " + self.device +
                 ", missing codepage or helper program, or other error")
        fs["MountPoints"] = dbus.Array([nul_terminated(self.mount_folder)], signature="ay")
        return self.mount_folder

    @dbus.service.method(FILESYSTEM, in_signature="a{sv}", out_signature="s",
                         async_callbacks=("reply", "error"))
    def Mount(self, options, reply, error):
        def answer():
            try:
                reply(self.mount())
            except dbus.exceptions.DBusException as e:
                error(e)
            return False
        if self.mount_delay_ms:
            GLib.timeout_add(self.mount_delay_ms, answer)
        else:
            answer()

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
        self.floppy = Block(bus, "sdb", floppy.path, watched=False)
        self.objects = [floppy, self.floppy, zip_drive,
                        Block(bus, "sdc", zip_drive.path, 100663296, "ZIP", True),
                        Block(bus, "loop0", "/", 1474560, "", True)]

    @dbus.service.method("org.freedesktop.DBus.ObjectManager", out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        return {dbus.ObjectPath(o.path): o.interfaces for o in self.objects}

    @dbus.service.method(CONTROL, in_signature="s")
    def InsertDisk(self, label):
        self.floppy.disk = ("filesystem", label)

    @dbus.service.method(CONTROL)
    def InsertBlankDisk(self):
        self.floppy.disk = ("", "")

    @dbus.service.method(CONTROL)
    def EjectDisk(self):
        self.floppy.disk = None

    @dbus.service.method(CONTROL, in_signature="s")
    def SetMountFolder(self, folder):
        self.floppy.mount_folder = folder

    @dbus.service.method(CONTROL, in_signature="s")
    def FailMount(self, error):
        self.floppy.mount_error = error

    @dbus.service.method(CONTROL, in_signature="s")
    def FailUnmount(self, error):
        self.floppy.unmount_error = error

    @dbus.service.method(CONTROL, in_signature="u")
    def HangMount(self, milliseconds):
        self.floppy.mount_delay_ms = milliseconds


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
