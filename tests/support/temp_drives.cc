#include "tests/support/temp_drives.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstdlib>

namespace qtltest {

bool FaultySystem::Fails(Op op) {
    const int errnum = fault ? fault(op) : 0;
    if (errnum != 0)
        errno = errnum;
    return errnum != 0;
}

DIR* FaultySystem::OpenFolder(const char* path) {
    return Fails(Op::kListFolder) ? nullptr : SystemCalls::OpenFolder(path);
}
int FaultySystem::OpenSource(const char* path) {
    return Fails(Op::kOpenSource) ? -1 : SystemCalls::OpenSource(path);
}
int FaultySystem::CreateCopy(int folder, const char* name, mode_t mode) {
    return Fails(Op::kOpenDestination) ? -1 : SystemCalls::CreateCopy(folder, name, mode);
}
int FaultySystem::OpenCopy(int folder, const char* name) {
    return Fails(Op::kVerify) ? -1 : SystemCalls::OpenCopy(folder, name);
}
ssize_t FaultySystem::Read(int fd, void* buffer, size_t size, off_t offset) {
    if (pace)
        pace(size);
    return Fails(Op::kRead) ? -1 : SystemCalls::Read(fd, buffer, size, offset);
}
ssize_t FaultySystem::Write(int fd, const void* buffer, size_t size) {
    if (pace)
        pace(size);
    return Fails(Op::kWrite) ? -1 : SystemCalls::Write(fd, buffer, size);
}
ssize_t FaultySystem::CopyRange(int in, off_t offset, int out, size_t size) {
    if (pace)
        pace(size);
    return Fails(Op::kCopyRange) ? -1 : SystemCalls::CopyRange(in, offset, out, size);
}
int FaultySystem::Sync(int fd) {
    return Fails(Op::kSync) ? -1 : SystemCalls::Sync(fd);
}
int FaultySystem::Close(int fd) {
    if (Fails(Op::kClose)) {
        const int errnum = errno;
        SystemCalls::Close(fd);  // the descriptor is gone all the same
        errno = errnum;
        return -1;
    }
    return SystemCalls::Close(fd);
}

TempDrives::TempDrives(const QString& parent)
    : dir_(parent.isEmpty() ? QDir::tempPath() + QStringLiteral("/qtl99-XXXXXX")
                            : parent + QStringLiteral("/qtl99-XXXXXX")) {}

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
    table_ = entries.join(u';');
}

void TempDrives::PlaceProgram(const QString& relative) {
    programFolder_ = MakeFolder(relative);
}

platform::DriveTable TempDrives::Drives() {
    return platform::MakeDrives(platform::ParseDriveTable(table_).drives,
                                {system, keepAlive, &disks_, &paces_});
}

void TempDrives::Use(platform::Dialogs* dialogs, platform::Screen* screen) {
    dialogs_ = dialogs != nullptr ? dialogs : &ownDialogs;
    screen_ = screen != nullptr ? screen : &ownScreen;
}

TestServices::TestServices(TempDrives& host) : host_(host) {
    host_.Use(&dialogs, &screen);
    Lib::Iniciar(host_, window);
}

TestServices::~TestServices() {
    host_.Use(nullptr, nullptr);
}

}  // namespace qtltest
