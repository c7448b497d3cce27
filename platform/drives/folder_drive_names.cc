#include <linux/magic.h>
#include <sys/vfs.h>
#include <cerrno>
#include <cstring>
#include <utility>

#include <QFile>

#include "platform/drives/folder_drive.h"
#include "platform/runtime_error.h"

// The names of a folder drive's copies: given together, once the copies are durable and read
// back whole.
namespace platform {

void FolderDrive::HoldName(int folder, const QByteArray& path, Unnamed copy) {
    if (held_ >= 0 && path != heldPath_) {
        // Another folder: the copies held in the one before are named now.
        try {
            NameHeldCopies();
        } catch (const RuntimeError&) {
            system_.Unlink(folder, copy.temporary.constData());
            system_.Close(folder);
            system_.Close(copy.source);
            throw;
        }
    }
    if (held_ >= 0) {
        system_.Close(folder);  // the same folder
    } else {
        held_ = folder;
        heldPath_ = path;
    }
    unnamed_.push_back(std::move(copy));
    // On FAT a few at a time: their temporary names take entries of a floppy's small root
    // folder, and each is named next to them all. FUSE may be FAT too.
    struct statfs fs {};
    if (unnamed_.size() >= kMostUnnamed ||
        (unnamed_.size() >= kMostUnnamedOnFat &&
         (system_.StatFs(held_, &fs) != 0 || fs.f_type == MSDOS_SUPER_MAGIC ||
          fs.f_type == FUSE_SUPER_MAGIC))) {
        try {
            NameHeldCopies();
        } catch (const RuntimeError&) {
            --lostCopies_;  // this copy is the caller's own failure, written again with its step
            throw;
        }
    }
}

void FolderDrive::NameHeldCopies() {
    if (held_ >= 0) {
        const int turn = static_cast<int>(unnamed_.size());
        const Unnamed* unread = nullptr;
        bool sourceFailed = false;
        int failure = SyncAndReadBackHeld(&unread, &sourceFailed);
        // What the box cannot say: which copy, on which disk.
        const QString disk = QStringLiteral("%1 (%2)").arg(name(), info().root);
        QString cause;
        if (unread != nullptr && sourceFailed) {
            cause = QStringLiteral(
                        "no se pudo leer «%1» del CD al compararlo con su copia en %2 "
                        "(%3); no se le dio nombre, ni a las de su tanda")
                        .arg(QFile::decodeName(unread->name), disk,
                             QString::fromLocal8Bit(std::strerror(failure)));
        } else if (unread != nullptr && failure == EIO) {
            cause = QStringLiteral(
                        "la copia de «%1» en %2 no se lee igual que el original; no se "
                        "le dio nombre, ni a las de su tanda")
                        .arg(QFile::decodeName(unread->name), disk);
        }
        while (failure == 0 && !unnamed_.empty()) {
            const Unnamed& copy = unnamed_.front();
            failure = GiveName(copy);
            if (failure == EEXIST) {
                cause = QStringLiteral(
                            "otro programa ha creado «%1» en %2 mientras se escribía el "
                            "disco; se deja como está y la copia no se nombra")
                            .arg(QFile::decodeName(copy.name), disk);
            }
            if (failure == 0) {
                named_[QFile::decodeName(copy.name).toCaseFolded()] = copy.copy;
                system_.Close(copy.source);
                unnamed_.erase(unnamed_.begin());
            }
        }
        // And the names durable. Some file systems cannot sync a folder (EINVAL); theirs is
        // durable by other means.
        if (failure == 0 && system_.Sync(held_) != 0 && errno != EINVAL)
            failure = errno;
        // A copy that could not be named is not on the disk, and names that could not be made
        // durable may not be on it either, as a sync tried again can pass without the medium
        // having held them: the whole turn is lost, to be written again.
        for (const Unnamed& copy : unnamed_) {
            system_.Unlink(held_, copy.temporary.constData());
            system_.Close(copy.source);
        }
        if (failure != 0) {
            if (lostCopies_ == 0)
                lost_ = CopyErrorNumber(failure);
            lostCopies_ += turn;
        }
        unnamed_.clear();
        system_.Close(std::exchange(held_, -1));
        if (failure != 0)
            throw RuntimeError(CopyErrorNumber(failure), cause);
    }
}

void FolderDrive::SyncDisk() {
    NameHeldCopies();
    if (lostCopies_ > 0)
        throw RuntimeError(lost_);
}

int FolderDrive::TakeLost() {
    lost_ = 0;
    return std::exchange(lostCopies_, 0);
}

void FolderDrive::InsertDisk(int /*number*/) {
    TakeLost();
    named_.clear();
}

void FolderDrive::EndOfSet() {
    try {
        SyncDisk();
    } catch (const RuntimeError&) {
        // Told when it failed.
    }
    TakeLost();
}

}  // namespace platform
