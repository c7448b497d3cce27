#include "platform/finding/detection.h"

#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/media/floppy.h"

namespace platform {

namespace {

// Undoes udev's hex escapes in /dev/disk/by-label names (\x20 for a blank).
QString UnescapeUdev(const QString& name) {
    QByteArray out;
    const QByteArray in = name.toUtf8();
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            bool ok = false;
            const int code = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(static_cast<char>(code));
                i += 3;
                continue;
            }
        }
        out.append(in[i]);
    }
    return QString::fromUtf8(out);
}

bool IsPseudoFs(const QString& fsType) {
    static const QSet<QString> kPseudo = {
        u"proc"_qs,        u"sysfs"_qs,          u"devtmpfs"_qs,   u"devpts"_qs,   u"tmpfs"_qs,
        u"cgroup"_qs,      u"cgroup2"_qs,        u"securityfs"_qs, u"pstore"_qs,   u"debugfs"_qs,
        u"tracefs"_qs,     u"mqueue"_qs,         u"hugetlbfs"_qs,  u"configfs"_qs, u"fusectl"_qs,
        u"binfmt_misc"_qs, u"autofs"_qs,         u"bpf"_qs,        u"overlay"_qs,  u"nsfs"_qs,
        u"ramfs"_qs,       u"rpc_pipefs"_qs,     u"efivarfs"_qs,   u"swap"_qs,     u"none"_qs,
        u"fuse.portal"_qs, u"fuse.gvfsd-fuse"_qs};
    return kPseudo.contains(fsType);
}

bool IsOpticalDevice(const MountEntry& e) {
    return e.device.startsWith(u"/dev/sr") || e.device == u"/dev/cdrom" ||
           e.device == u"/dev/dvd" || e.fsType == u"iso9660" || e.fsType == u"udf";
}

// A floppy drive: a floppy device, or a removable disk of a floppy's size holding FAT. A loop
// device or another file system (a small squashfs image) is never one.
bool IsFloppy(const MountEntry& e, const DeviceProbe& probe) {
    if (IsFloppyControllerDevice(e.device))
        return true;
    if (e.device.startsWith(u"/dev/loop") || !IsFatType(e.fsType))
        return false;
    const qint64 size = probe.SizeBytes(e.device);
    return probe.Removable(e.device) && size > 0 && size <= kLargestFloppyBytes;
}

bool UnderRemovableMountRoot(const QString& mountPoint) {
    return mountPoint.startsWith(u"/media/") || mountPoint.startsWith(u"/run/media/") ||
           mountPoint.startsWith(u"/mnt/");
}

// The text of a small file (of /sys), read through `system`; empty when it cannot be read.
QString ReadTextFile(SystemCalls& system, const QString& path) {
    std::string text;
    if (ReadRegularFile(system, QFile::encodeName(path).constData(), &text) != 0)
        return {};
    return QString::fromStdString(text);
}

// The real path of `path` through `system`; empty when it cannot be resolved.
QString RealPathOf(SystemCalls& system, const QString& path) {
    std::string real;
    if (path.isEmpty() || system.RealPath(QFile::encodeName(path).constData(), &real) != 0)
        return {};
    return QFile::decodeName(real.c_str());
}

}  // namespace

bool SystemDeviceProbe::Exists(const QString& device) const {
    struct stat st {};
    return system_.Stat(QFile::encodeName(device).constData(), &st) == 0;
}

QString SystemDeviceProbe::BlockName(const QString& device) const {
    return QFileInfo(RealPathOf(system_, device)).fileName();
}

qint64 SystemDeviceProbe::SizeBytes(const QString& device) const {
    const QString name = BlockName(device);
    if (name.isEmpty())
        return -1;
    bool ok = false;
    const qint64 sectors =
        ReadTextFile(system_, QStringLiteral("/sys/class/block/%1/size").arg(name))
            .trimmed()
            .toLongLong(&ok);
    return ok ? sectors * 512 : -1;
}

bool SystemDeviceProbe::Removable(const QString& device) const {
    // A partition's flag is its disk's, one folder up in /sys.
    const QString block = QStringLiteral("/sys/class/block/") + BlockName(device);
    for (const QString& flag :
         {block + QStringLiteral("/removable"), block + QStringLiteral("/../removable")}) {
        const QString v = ReadTextFile(system_, flag).trimmed();
        if (!v.isEmpty())
            return v == u"1";
    }
    return false;
}

QString SystemDeviceProbe::Label(const QString& device) const {
    const QString target = RealPathOf(system_, device);
    const char* const kByLabel = "/dev/disk/by-label";
    DIR* folder = target.isEmpty() ? nullptr : system_.OpenFolder(kByLabel);
    if (folder == nullptr)
        return {};
    QString label;
    while (const dirent* entry = system_.ReadFolder(folder)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name.startsWith(u'.'))
            continue;  // "." and "..", and no label is hidden
        if (RealPathOf(system_, QLatin1String(kByLabel) + u'/' + name) == target) {
            label = UnescapeUdev(name);
            break;
        }
    }
    system_.CloseFolder(folder);
    return label;
}

QChar DriveLetters::LetterFor(const QString& device, DriveKind kind, char first, char last) {
    for (const auto& [known, k] : known_) {
        if (known == device)
            return k.letter;
    }
    for (char l = first; l <= last; ++l) {
        bool taken = false;
        for (const auto& entry : known_)
            taken = taken || entry.second.letter == QChar(l);
        if (!taken) {
            known_.push_back({device, {QChar(l), kind}});
            return QChar(l);
        }
    }
    return {};
}

DriveInfos DetectDrives(const std::vector<MountEntry>& mounts, const std::vector<MountEntry>& fstab,
                        const DeviceProbe& probe, DriveLetters& letters,
                        const QString& imagesFolder, const std::vector<FoundFloppy>& found) {
    DriveInfos table;
    QSet<QString> taken;  // devices and mount points already given a letter

    DriveInfo c;
    c.letter = u'c';
    c.root = QStringLiteral("/");
    c.kind = DriveKind::kFixed;
    table.push_back(c);
    taken.insert(QStringLiteral("/"));

    auto mountedAt = [&](const QString& device) -> const MountEntry* {
        for (const MountEntry& m : mounts) {
            if (m.device == device)
                return &m;
        }
        return nullptr;
    };
    auto inFstab = [&](const QString& device) -> const MountEntry* {
        for (const MountEntry& m : fstab) {
            if (m.device == device)
                return &m;
        }
        return nullptr;
    };
    // A device takes its letter (the one it had before, or the next free one of its kind).
    // `at` is the mount the device was found at; a device mounted in more than one place (a
    // bind mount) is the drive of the place it was found at.
    // `seen` is what the disk service or udev said of the device, when they did.
    auto add = [&](const QString& device, DriveKind kind, const MountEntry* at = nullptr,
                   const FoundFloppy* seen = nullptr) {
        // A drive the service knows is known by its drive, whatever device it has this time.
        const QString key = seen != nullptr && !seen->drive.isEmpty() ? seen->drive : device;
        if (taken.contains(device) || taken.contains(key))
            return;
        const bool floppy = kind == DriveKind::kFloppy;
        DriveInfo d;
        d.letter = letters.LetterFor(key, kind, floppy ? 'a' : 'd', floppy ? 'b' : 'z');
        if (d.letter.isNull())
            return;
        d.device = device;
        d.kind = kind;
        const MountEntry* m = at != nullptr ? at : mountedAt(device);
        if (m != nullptr && kind == DriveKind::kRemovable &&
            !UnderRemovableMountRoot(m->mountPoint))
            m = nullptr;  // the same device elsewhere (the system's own disk) is not this medium
        if (m != nullptr) {
            d.root = m->mountPoint;
            taken.insert(m->mountPoint);
        } else if (seen != nullptr && !seen->mountPoint.isEmpty()) {
            d.root = seen->mountPoint;  // where the service mounted it (our mount namespace
            taken.insert(d.root);       // may not show it)
        } else {
            d.mounted = false;
        }
        d.label = probe.Label(device);
        if (seen != nullptr) {
            d.serviceBlock = seen->block;
            if (!seen->label.isEmpty())
                d.label = seen->label;
        }
        taken.insert(device);
        taken.insert(key);
        table.push_back(d);
    };

    // Floppies: those the disk service or udev knows, with or without a disk, then the classic
    // devices, then mounted removable FAT disks of a floppy's size.
    for (const FoundFloppy& f : found)
        add(f.device, DriveKind::kFloppy, nullptr, &f);
    for (const QString& dev : {QStringLiteral("/dev/fd0"), QStringLiteral("/dev/fd1")}) {
        if (mountedAt(dev) || inFstab(dev) || probe.Exists(dev))
            add(dev, DriveKind::kFloppy);
    }
    for (const MountEntry& m : mounts) {
        if (!IsPseudoFs(m.fsType) && !IsOpticalDevice(m) && IsFloppy(m, probe))
            add(m.device, DriveKind::kFloppy, &m);
    }
    // Images where there is no floppy drive to write to, or only one.
    const QString imagesKey = QStringLiteral("images:") + imagesFolder;
    taken.insert(imagesKey);
    const auto floppies = std::count_if(table.begin(), table.end(), [](const DriveInfo& d) {
        return d.kind == DriveKind::kFloppy;
    });
    if (!imagesFolder.isEmpty() && floppies < 2) {
        DriveInfo images;
        images.letter = letters.LetterFor(imagesKey, DriveKind::kImages, 'a', 'b');
        images.kind = DriveKind::kImages;
        images.root = imagesFolder;
        if (!images.letter.isNull())
            table.push_back(images);
    }

    // d: onwards: optical drives (mounted, then fstab entries with no disk), then removable media.
    for (const MountEntry& m : mounts) {
        if (IsOpticalDevice(m) && !IsPseudoFs(m.fsType))
            add(m.device, DriveKind::kOptical, &m);
    }
    for (const MountEntry& f : fstab) {
        if (IsOpticalDevice(f))
            add(f.device, DriveKind::kOptical);
    }
    for (const MountEntry& m : mounts) {
        if (!taken.contains(m.mountPoint) && !IsPseudoFs(m.fsType) &&
            m.device.startsWith(u"/dev/") && UnderRemovableMountRoot(m.mountPoint)) {
            add(m.device, DriveKind::kRemovable, &m);
        }
    }
    // A device seen before and gone now keeps its letter, as a drive with no disk.
    for (const auto& [device, known] : letters.known()) {
        if (!taken.contains(device))
            add(device, known.kind);
    }
    std::sort(table.begin(), table.end(),
              [](const DriveInfo& x, const DriveInfo& y) { return x.letter < y.letter; });
    return table;
}

namespace {

// The real form of the absolute path `path`: links and ".." resolved component by component
// while the folders exist, the folders still to be made after them; empty when it cannot be
// told where it leads (a link that leads nowhere, a loop, ".." below a folder not made yet).
QString RealFolder(SystemCalls& system, const QString& path) {
    if (!QDir::isAbsolutePath(path))
        return {};
    QString real = QStringLiteral("/");
    bool missing = false;
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u".")
            continue;
        if (part == u"..") {
            if (missing)
                return {};
            real = QFileInfo(real).path();
            continue;
        }
        const QString next = real == u"/" ? real + part : real + u'/' + part;
        const QByteArray name = QFile::encodeName(next);
        struct stat st {};
        if (!missing && system.Stat(name.constData(), &st) == 0) {
            real = RealPathOf(system, next);
            if (real.isEmpty())
                return {};
        } else if (system.Stat(name.constData(), &st, false) == 0 && S_ISLNK(st.st_mode)) {
            return {};
        } else {
            missing = true;
            real = next;
        }
    }
    return real;
}

}  // namespace

QString ImagesFolderIn(SystemCalls& system, const QString& home, const QString& documents) {
    const QString realHome = RealPathOf(system, home);
    const QString real = RealFolder(system, documents);
    if (!realHome.isEmpty() && !real.isEmpty() && real.startsWith(realHome + u'/'))
        return real + QStringLiteral("/Disquetes QTL99");
    return (realHome.isEmpty() ? QDir(home).absolutePath() : realHome) +
           QStringLiteral("/Documents/Disquetes QTL99");
}

}  // namespace platform
