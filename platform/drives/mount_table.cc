#include "platform/drives/mount_table.h"

#include <libmount.h>
#include <stdio.h>
#include <QFile>
#include <cstdio>
#include <memory>
#include <string>

namespace platform {

namespace {

using TablePtr = std::unique_ptr<libmnt_table, decltype(&mnt_unref_table)>;

// Fills a table through `parse`; an unreadable or malformed table reads as the entries parsed
// before the fault (libmount itself skips lines it cannot read).
template <typename Parse>
std::vector<MountEntry> EntriesOf(Parse parse) {
    std::vector<MountEntry> entries;
    const TablePtr table(mnt_new_table(), &mnt_unref_table);
    if (!table)
        return entries;
    parse(table.get());
    const std::unique_ptr<libmnt_iter, decltype(&mnt_free_iter)> it(mnt_new_iter(MNT_ITER_FORWARD),
                                                                    &mnt_free_iter);
    if (!it)
        return entries;
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(table.get(), it.get(), &fs) == 0) {
        MountEntry e;
        e.device = QFile::decodeName(mnt_fs_get_source(fs));
        e.mountPoint = QFile::decodeName(mnt_fs_get_target(fs));
        e.fsType = QString::fromUtf8(mnt_fs_get_fstype(fs));
        e.deviceNumber = mnt_fs_get_devno(fs);
        if (const char* root = mnt_fs_get_root(fs))
            e.fsRoot = QFile::decodeName(root);
        entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace

std::vector<MountEntry> ParseMountTable(const QString& text) {
    return ParseMountTable(text.toUtf8());
}

std::vector<MountEntry> ParseMountTable(QByteArray bytes) {
    if (bytes.isEmpty())
        return {};
    return EntriesOf([&bytes](libmnt_table* table) {
        const std::unique_ptr<FILE, decltype(&std::fclose)> stream(
            fmemopen(bytes.data(), static_cast<size_t>(bytes.size()), "r"), &std::fclose);
        if (stream)
            mnt_table_parse_stream(table, stream.get(), "mount table");
    });
}

namespace {
std::vector<MountEntry> ReadMountTable(SystemCalls& system, const char* path) {
    std::string bytes;
    if (ReadRegularFile(system, path, &bytes) != 0)
        return {};
    return ParseMountTable(QByteArray::fromStdString(bytes));
}
}  // namespace

std::vector<MountEntry> ReadMountInfo(SystemCalls& system) {
    return ReadMountTable(system, "/proc/self/mountinfo");
}

std::vector<MountEntry> ReadFstab(SystemCalls& system) {
    return ReadMountTable(system, "/etc/fstab");
}

namespace {

// libmount's monitor of the kernel's mount table.
class KernelMountWatch final : public MountWatch {
  public:
    explicit KernelMountWatch(std::shared_ptr<libmnt_monitor> monitor)
        : monitor_(std::move(monitor)) {}
    bool Changed() override {
        if (!monitor_)
            return true;  // nothing to watch with
        const int changed = mnt_monitor_wait(monitor_.get(), 0);
        if (changed == 1)
            mnt_monitor_event_cleanup(monitor_.get());
        return changed != 0;
    }

  private:
    std::shared_ptr<libmnt_monitor> monitor_;
};

class WatchFromFirstQuestion final : public MountWatch {
  public:
    bool Changed() override {
        if (watch_)
            return watch_->Changed();
        watch_ = WatchMounts();
        return true;
    }

  private:
    std::unique_ptr<MountWatch> watch_;
};

}  // namespace

std::unique_ptr<MountWatch> WatchMounts() {
    std::shared_ptr<libmnt_monitor> monitor(mnt_new_monitor(), &mnt_unref_monitor);
    // Asking for its descriptor starts the watch now, not at the first question.
    if (!monitor || mnt_monitor_enable_kernel(monitor.get(), 1) < 0 ||
        mnt_monitor_get_fd(monitor.get()) < 0) {
        monitor.reset();
    }
    return std::make_unique<KernelMountWatch>(std::move(monitor));
}

std::unique_ptr<MountWatch> WatchMountsFromFirstQuestion() {
    return std::make_unique<WatchFromFirstQuestion>();
}

std::optional<QString> MountPointOf(dev_t device, const std::vector<MountEntry>& mounts) {
    if (device == 0)
        return std::nullopt;
    std::optional<QString> part;
    for (const MountEntry& m : mounts) {
        if (m.deviceNumber != device)
            continue;
        if (m.fsRoot == u"/")
            return m.mountPoint;
        if (!part)
            part = m.mountPoint;
    }
    return part;
}

}  // namespace platform
