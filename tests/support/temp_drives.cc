#include "tests/support/temp_drives.h"

#include <cstdio>

#include <stdio.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/fat/fat_medium.h"

namespace qtltest {

void SaidNotices::Say(const QString& line) {
    lines << line;
    std::fprintf(stderr, "QTL99: %s\n", qPrintable(line));
}

bool FaultySystem::Fails(Op op) {
    const int errnum = fault ? fault(op) : 0;
    if (errnum != 0)
        errno = errnum;
    return errnum != 0;
}

bool FaultySystem::Seen(const char* path, std::string* shown) const {
    const std::string_view p(path);
    *shown = path;
    for (const auto& [from, to] : seenAs) {
        if (p.starts_with(from) && (p.size() == from.size() || p[from.size()] == '/')) {
            if (to.empty()) {
                errno = ENOENT;
                return false;
            }
            *shown = to + std::string(p.substr(from.size()));
            return true;
        }
    }
    return true;
}

DIR* FaultySystem::OpenFolder(const char* path) {
    std::string shown;
    if (Fails(Op::kListFolder) || !Seen(path, &shown))
        return nullptr;
    return SystemCallsWrapper::OpenFolder(shown.c_str());
}
int FaultySystem::OpenSource(const char* path) {
    std::string shown;
    if (Fails(Op::kOpenSource) || !Seen(path, &shown))
        return -1;
    return SystemCallsWrapper::OpenSource(shown.c_str());
}
int FaultySystem::Stat(const char* path, struct stat* info, bool follow) {
    std::string shown;
    if (Fails(Op::kStat) || !Seen(path, &shown) ||
        SystemCallsWrapper::Stat(shown.c_str(), info, follow) != 0)
        return -1;
    if (const auto device = devices.find(path); device != devices.end()) {
        info->st_mode = S_IFBLK | (info->st_mode & 07777);
        info->st_rdev = device->second;
    }
    return 0;
}
int FaultySystem::RealPath(const char* path, std::string* real) {
    std::string shown;
    if (Fails(Op::kStat) || !Seen(path, &shown))
        return -1;
    return SystemCallsWrapper::RealPath(shown.c_str(), real);
}
int FaultySystem::CreateCopy(int folder, const char* name, mode_t mode) {
    return Fails(Op::kOpenDestination) ? -1 : SystemCallsWrapper::CreateCopy(folder, name, mode);
}
int FaultySystem::OpenCopy(int folder, const char* name) {
    return Fails(Op::kVerify) ? -1 : SystemCallsWrapper::OpenCopy(folder, name);
}
ssize_t FaultySystem::Read(int fd, void* buffer, size_t size, off_t offset) {
    if (pace)
        pace(size);
    return Fails(Op::kRead) ? -1 : SystemCallsWrapper::Read(fd, buffer, size, offset);
}
ssize_t FaultySystem::Write(int fd, const void* buffer, size_t size) {
    if (pace)
        pace(size);
    return Fails(Op::kWrite) ? -1 : SystemCallsWrapper::Write(fd, buffer, size);
}
ssize_t FaultySystem::CopyRange(int in, off_t offset, int out, size_t size) {
    if (pace)
        pace(size);
    return Fails(Op::kCopyRange) ? -1 : SystemCallsWrapper::CopyRange(in, offset, out, size);
}
int FaultySystem::Sync(int fd) {
    return Fails(Op::kSync) ? -1 : SystemCallsWrapper::Sync(fd);
}
int FaultySystem::WriteOut(int fd, off_t offset, off_t size, bool wait) {
    return wait && Fails(Op::kSync) ? -1 : SystemCallsWrapper::WriteOut(fd, offset, size, wait);
}
int FaultySystem::StatFs(int fd, struct statfs* info) {
    const int r = SystemCallsWrapper::StatFs(fd, info);
    if (r == 0 && fileSystem != 0)
        info->f_type = fileSystem;
    return r;
}
int FaultySystem::SyncFileSystem(int fd) {
    return Fails(Op::kSync) ? -1 : SystemCallsWrapper::SyncFileSystem(fd);
}
int FaultySystem::Close(int fd) {
    if (Fails(Op::kClose)) {
        const int errnum = errno;
        SystemCallsWrapper::Close(fd);  // the descriptor is gone all the same
        errno = errnum;
        return -1;
    }
    return SystemCallsWrapper::Close(fd);
}

int FaultySystem::Open(const char* path, int flags, mode_t mode) {
    std::string shown;
    if (Fails(Op::kOpen) || !Seen(path, &shown))
        return -1;
    return SystemCallsWrapper::Open(shown.c_str(), flags, mode);
}
int FaultySystem::OpenAt(int folder, const char* name, int flags, mode_t mode) {
    return Fails(Op::kOpen) ? -1 : SystemCallsWrapper::OpenAt(folder, name, flags, mode);
}
int FaultySystem::Rename(int folder, const char* from, const char* to, unsigned flags) {
    return Fails((flags & RENAME_NOREPLACE) != 0 ? Op::kRenameNoReplace : Op::kRename)
               ? -1
               : SystemCallsWrapper::Rename(folder, from, to, flags);
}
int FaultySystem::Link(int folder, const char* from, const char* to) {
    return Fails(Op::kLink) ? -1 : SystemCallsWrapper::Link(folder, from, to);
}
int FaultySystem::Unlink(int folder, const char* name) {
    return Fails(Op::kUnlink) ? -1 : SystemCallsWrapper::Unlink(folder, name);
}
int FaultySystem::MakeFolder(const char* path, mode_t mode) {
    return Fails(Op::kMakeFolder) ? -1 : SystemCallsWrapper::MakeFolder(path, mode);
}
int FaultySystem::SyncData(int fd) {
    return Fails(Op::kSyncData) ? -1 : SystemCallsWrapper::SyncData(fd);
}
int FaultySystem::Allocate(int fd, off_t size) {
    return Fails(Op::kAllocate) ? errno : SystemCallsWrapper::Allocate(fd, size);
}
int FaultySystem::MemoryFile(const char* name) {
    return Fails(Op::kMemoryFile) ? -1 : SystemCallsWrapper::MemoryFile(name);
}

platform::ChildOutcome FaultyChildren::Run(const platform::ChildRun& run) {
    using Fault = FaultyChildren::Fault;
    const Fault f = fault ? fault(run) : Fault::kNone;
    platform::ChildOutcome outcome;
    switch (f) {
        case Fault::kNone:
            return Children::Run(run);
        case Fault::kNotStarted:
            return outcome;
        case Fault::kFails:
            outcome.end = platform::ChildOutcome::End::kExited;
            outcome.status = 1;
            outcome.errors = "Input/output error\n";
            return outcome;
        case Fault::kKilled:
        case Fault::kHangs: {
            platform::ChildRun other = run;
            other.program = "/bin/sh";
            other.arguments = {"sh", "-c", f == Fault::kKilled ? "kill -KILL $$" : "exec sleep 60"};
            other.deadline = std::chrono::milliseconds(300);
            return Children::Run(other);
        }
        case Fault::kShort: {
            platform::ChildRun other = run;
            bool cut = false;
            other.output = [&](const char* data, size_t n) {
                if (!cut && run.output)
                    run.output(data, n / 2);
                cut = true;
            };
            return Children::Run(other);
        }
    }
    return outcome;
}

TempDrives::TempDrives(const QString& parent)
    : dir_(parent.isEmpty() ? QDir::tempPath() + QStringLiteral("/qtl99-XXXXXX")
                            : parent + QStringLiteral("/qtl99-XXXXXX")) {}

TempDrives::~TempDrives() {
    platform::FatMedium::RemoveOwnWorkFolders(platform::DefaultSystemCalls());
}

QString TempDrives::Path(const QString& relative) const {
    return relative.isEmpty() ? dir_.path() : dir_.path() + u'/' + relative;
}

QString TempDrives::MakeFolder(const QString& relative) const {
    QDir().mkpath(Path(relative));
    return Path(relative);
}

void TempDrives::Write(const QString& relative, const QByteArray& bytes) const {
    QDir().mkpath(QFileInfo(Path(relative)).absolutePath());
    QFile f(Path(relative));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    f.write(bytes);
}

QByteArray TempDrives::Read(const QString& relative) const {
    QFile f(Path(relative));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool TempDrives::Exists(const QString& relative) const {
    return QFileInfo::exists(Path(relative));
}

void TempDrives::MapDrives(const QString& table) {
    QStringList entries;
    for (const QString& entry : table.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = entry.indexOf(u'=');
        const QString target = entry.mid(eq + 1);
        const qsizetype comma = target.indexOf(u',');
        entries << entry.left(eq + 1) + Path(target.left(comma < 0 ? target.size() : comma)) +
                       (comma < 0 ? QString() : target.mid(comma));
    }
    table_ = platform::ParseDriveTable(entries.join(u';')).drives;
}

void TempDrives::PlaceProgram(const QString& relative) {
    programFolder_ = QFileInfo(Path(relative)).isFile() ? Path(relative) : MakeFolder(relative);
}

platform::DriveTable TempDrives::Drives() {
    return drives_.Update(table_);
}

void TempDrives::Use(platform::Dialogs* dialogs, platform::Screen* screen) {
    dialogs_ = dialogs != nullptr ? dialogs : &ownDialogs;
    screen_ = screen != nullptr ? screen : &ownScreen;
}

TestServices::TestServices(TempDrives& host) : lib(host, window), host_(host) {
    host_.Use(&dialogs, &screen);
}

TestServices::~TestServices() {
    host_.Use(nullptr, nullptr);
}

}  // namespace qtltest
