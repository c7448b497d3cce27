#include "platform/media/mount_table.h"

#include <libmount.h>
#include <stdio.h>
#include <QFile>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "platform/loaded_library.h"

namespace platform {

namespace {

// libmount's calls, from the library opened with the first of them.
struct LibMount {
    LoadedLibrary library{"libmount.so.1"};
    QTL_LIBRARY_CALL(mnt_new_table);
    QTL_LIBRARY_CALL(mnt_unref_table);
    QTL_LIBRARY_CALL(mnt_table_parse_stream);
    QTL_LIBRARY_CALL(mnt_new_iter);
    QTL_LIBRARY_CALL(mnt_free_iter);
    QTL_LIBRARY_CALL(mnt_table_next_fs);
    QTL_LIBRARY_CALL(mnt_fs_get_source);
    QTL_LIBRARY_CALL(mnt_fs_get_target);
    QTL_LIBRARY_CALL(mnt_fs_get_fstype);
    QTL_LIBRARY_CALL(mnt_fs_get_devno);
    QTL_LIBRARY_CALL(mnt_fs_get_root);
    QTL_LIBRARY_CALL(mnt_new_monitor);
    QTL_LIBRARY_CALL(mnt_unref_monitor);
    QTL_LIBRARY_CALL(mnt_monitor_enable_kernel);
    QTL_LIBRARY_CALL(mnt_monitor_get_fd);
    QTL_LIBRARY_CALL(mnt_monitor_wait);
    QTL_LIBRARY_CALL(mnt_monitor_event_cleanup);
};

// Fills a table through `parse`; an unreadable or malformed table reads as the entries parsed
// before the fault (libmount itself skips lines it cannot read).
template <typename Parse>
std::vector<MountEntry> EntriesOf(Parse parse) {
    std::vector<MountEntry> entries;
    const LibMount mnt;
    if (!mnt.library.complete())
        return entries;
    const std::unique_ptr<libmnt_table, decltype(mnt.mnt_unref_table)> table(mnt.mnt_new_table(),
                                                                             mnt.mnt_unref_table);
    if (!table)
        return entries;
    parse(mnt, table.get());
    const std::unique_ptr<libmnt_iter, decltype(mnt.mnt_free_iter)> it(
        mnt.mnt_new_iter(MNT_ITER_FORWARD), mnt.mnt_free_iter);
    if (!it)
        return entries;
    libmnt_fs* fs = nullptr;
    while (mnt.mnt_table_next_fs(table.get(), it.get(), &fs) == 0) {
        MountEntry e;
        e.device = QFile::decodeName(mnt.mnt_fs_get_source(fs));
        e.mountPoint = QFile::decodeName(mnt.mnt_fs_get_target(fs));
        e.fsType = QString::fromUtf8(mnt.mnt_fs_get_fstype(fs));
        e.deviceNumber = mnt.mnt_fs_get_devno(fs);
        if (const char* root = mnt.mnt_fs_get_root(fs))
            e.fsRoot = QFile::decodeName(root);
        entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace

QString MountTablesUnavailable() {
    const LibMount mnt;
    return mnt.library.complete() ? QString() : mnt.library.problem();
}

std::vector<MountEntry> ParseMountTable(const QString& text) {
    return ParseMountTable(text.toUtf8());
}

std::vector<MountEntry> ParseMountTable(QByteArray bytes) {
    if (bytes.isEmpty())
        return {};
    return EntriesOf([&bytes](const LibMount& mnt, libmnt_table* table) {
        const std::unique_ptr<FILE, decltype(&std::fclose)> stream(
            fmemopen(bytes.data(), static_cast<size_t>(bytes.size()), "r"), &std::fclose);
        if (stream)
            mnt.mnt_table_parse_stream(table, stream.get(), "mount table");
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
    KernelMountWatch() {
        // Asking for its descriptor starts the watch now, not at the first question.
        if (!mnt_.library.complete() || (monitor_ = mnt_.mnt_new_monitor()) == nullptr ||
            mnt_.mnt_monitor_enable_kernel(monitor_, 1) < 0 ||
            mnt_.mnt_monitor_get_fd(monitor_) < 0) {
            Stop();
        }
    }
    ~KernelMountWatch() override { Stop(); }
    KernelMountWatch(const KernelMountWatch&) = delete;
    KernelMountWatch& operator=(const KernelMountWatch&) = delete;

    bool Changed() override {
        if (monitor_ == nullptr)
            return true;  // nothing to watch with
        const int changed = mnt_.mnt_monitor_wait(monitor_, 0);
        if (changed == 1)
            mnt_.mnt_monitor_event_cleanup(monitor_);
        return changed != 0;
    }

  private:
    void Stop() {
        if (monitor_ != nullptr)
            mnt_.mnt_unref_monitor(std::exchange(monitor_, nullptr));
    }
    const LibMount mnt_;
    libmnt_monitor* monitor_ = nullptr;
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
    return std::make_unique<KernelMountWatch>();
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
