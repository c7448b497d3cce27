#include "platform/media/medium.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "platform/media/mount_table.h"

namespace platform {

namespace {

// The size /sys gives a block device: 0 for a drive with no disk in it; -1 when it cannot say.
long long SysfsBytes(SystemCalls& system, dev_t device) {
    const QByteArray path = "/sys/dev/block/" + QByteArray::number(::major(device)) + ":" +
                            QByteArray::number(::minor(device)) + "/size";
    const int fd = system.Open(path.constData(), O_RDONLY);
    if (fd < 0)
        return -1;
    char text[32] = {};
    const ssize_t n = ReadFull(system, fd, text, sizeof text - 1, 0);
    system.Close(fd);
    bool ok = false;
    const long long sectors = QByteArray(text, n > 0 ? n : 0).trimmed().toLongLong(&ok);
    return ok ? sectors * 512 : -1;
}

// The files behind the loop devices now.
QStringList LoopBackings(SystemCalls& system) {
    QStringList backings;
    DIR* block = system.OpenFolder("/sys/block");
    if (block == nullptr)
        return backings;
    while (const dirent* entry = system.ReadFolder(block)) {
        if (std::strncmp(entry->d_name, "loop", 4) != 0)
            continue;
        const QByteArray path = QByteArray("/sys/block/") + entry->d_name + "/loop/backing_file";
        const int fd = system.Open(path.constData(), O_RDONLY);
        if (fd < 0)
            continue;
        char text[4096] = {};
        const ssize_t n = ReadFull(system, fd, text, sizeof text - 1, 0);
        system.Close(fd);
        if (n > 0)
            backings << QFile::decodeName(QByteArray(text, n).trimmed());
    }
    system.CloseFolder(block);
    return backings;
}

}  // namespace

bool ImageInUse(const QString& image, const QStringList& mountSources,
                const QStringList& loopBackings) {
    return mountSources.contains(image) || loopBackings.contains(image);
}

MediumState MediumAt(SystemCalls& system, const QString& path) {
    MediumState state;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (path.isEmpty() || system.Stat(name.constData(), &st) != 0)
        return state;
    if (S_ISDIR(st.st_mode)) {
        state.kind = MediumState::Kind::kFolder;
    } else if (S_ISREG(st.st_mode)) {
        state.kind = MediumState::Kind::kImageFile;
        state.bytes = st.st_size;
        state.diskIn = true;  // whole or cut: a cut one is a disk that cannot be read
        std::string real;
        QStringList sources;
        for (const MountEntry& m : ReadMountInfo(system))
            sources << m.device;
        state.inUse = system.RealPath(name.constData(), &real) == 0 &&
                      ImageInUse(QFile::decodeName(real.c_str()), sources, LoopBackings(system));
    } else if (S_ISBLK(st.st_mode)) {
        state.kind = MediumState::Kind::kDevice;
        state.mountPoint = MountPointOf(st.st_rdev, ReadMountInfo(system));
        state.bytes = SysfsBytes(system, st.st_rdev);
        // A blocking open checks the medium (an empty floppy drive refuses it); a device the
        // user may not open has a disk when it has a size.
        const int fd = system.Open(name.constData(), O_RDONLY | O_NOCTTY);
        if (fd >= 0) {
            system.Close(fd);
            state.diskIn = true;
        } else if (errno == EACCES || errno == EPERM || errno == EROFS) {
            state.diskIn = state.bytes != 0;
        }
        if (state.bytes < 0)
            state.bytes = 0;
    } else {
        state.kind = MediumState::Kind::kOther;
    }
    return state;
}

}  // namespace platform
