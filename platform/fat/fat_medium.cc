#include "platform/fat/fat_medium.h"

#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/fat/fat_names.h"
#include "platform/fat/mtools.h"
#include "platform/runtime_error.h"
#include "platform/temporary_names.h"

namespace platform {

namespace {

using mtools::DeadlineFor;
using mtools::ErrorFor;
using mtools::kChildMedium;
using mtools::kChildSourceName;
using mtools::NumberFor;
using mtools::Outcome;
using mtools::Run;

bool NobodyMayWrite(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

FatMedium::FatMedium(QString imageOrDevice, FatServices services)
    : path_(std::move(imageOrDevice)), services_(services) {}

int FatMedium::Open(bool write) {
    SystemCalls& system = services_.system;
    const QByteArray path = QFile::encodeName(path_);
    // Looked at before it is opened: opening a FIFO would wait for a writer.
    struct stat st {};
    if (system.Stat(path.constData(), &st) != 0)
        throw RuntimeError(errno == ENOENT ? errors::kDiskNotReady : NumberForErrno(errno));
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
        throw RuntimeError(errors::kPathFileAccess);
    // A read-only image is the write-protect tab of a virtual disk: it is honoured for
    // everyone, root included, who could write it anyway.
    if (write && NobodyMayWrite(st))
        throw RuntimeError(errors::kPermissionDenied);
    // A device is opened for writing only while nothing has it mounted (O_EXCL), so that no
    // mount made meanwhile is written underneath.
    const int flags = write ? O_RDWR | (S_ISBLK(st.st_mode) ? O_EXCL : 0) : O_RDONLY;
    const int fd = system.Open(path.constData(), flags | O_NOCTTY);
    if (fd < 0) {
        const int failure = errno;
        throw RuntimeError(failure == ENOENT || failure == ENOMEDIUM || failure == ENXIO ||
                                   failure == ENODEV || failure == EBUSY
                               ? errors::kDiskNotReady
                               : NumberForErrno(failure));
    }
    return fd;
}

void FatMedium::FormatStandard() {
    SystemCalls& system = services_.system;
    const QByteArray image = QFile::encodeName(path_);
    struct stat st {};
    const bool existed = system.Stat(image.constData(), &st, false) == 0;
    if (existed) {
        if (S_ISDIR(st.st_mode) || S_ISBLK(st.st_mode))
            throw RuntimeError(errors::kPathFileAccess);
        if (NobodyMayWrite(st))
            throw RuntimeError(errors::kPermissionDenied);
    } else if (errno != ENOENT) {
        throw RuntimeError(NumberForErrno(errno));
    }

    // A hidden temporary beside the image, created with the umask's bits like any new file.
    const QFileInfo info(path_);
    const OpenFd folder(system, system.Open(QFile::encodeName(info.absolutePath()).constData(),
                                            O_RDONLY | O_DIRECTORY));
    if (folder.get() < 0)
        throw RuntimeError(NumberForErrno(errno));
    QByteArray temporary;
    OpenFd fd(system);
    for (int attempt = 0; fd.get() < 0; ++attempt) {
        temporary = TemporaryName(QFile::encodeName(info.fileName()) + ".", ".tmp");
        fd.Reset(
            system.OpenAt(folder.get(), temporary.constData(), O_RDWR | O_CREAT | O_EXCL, 0666));
        if (fd.get() < 0 && (errno != EEXIST || attempt > 100))
            throw RuntimeError(NumberForErrno(errno));
    }
    struct Remover {
        SystemCalls& system;
        int folder = -1;
        const QByteArray& name;
        bool keep = false;
        ~Remover() {
            if (!keep)
                system.Unlink(folder, name.constData());
        }
    } remover{system, folder.get(), temporary};

    Format(fd.get());
    // Where there was nothing, never over what another program made meanwhile: that image is
    // the disk now, and this one is not needed.
    const int failure = FinishTemporary(system, folder.get(), temporary.constData(),
                                        QFile::encodeName(info.fileName()).constData(), !existed);
    if (failure == EEXIST && !existed)
        return;
    if (failure != 0)
        throw RuntimeError(NumberForErrno(failure));
    remover.keep = true;
}

void FatMedium::Format(int image, bool durable) {
    // Every block allocated now, so that no later write to the image finds the host disk full.
    if (const int failure = services_.system.Allocate(image, kStandardFloppyBytes))
        throw RuntimeError(NumberForErrno(failure));
    const Outcome o =
        Run(services_, {"mformat", "-f", "1440", "-i", kChildMedium, "::"}, image, -1);
    if (!o.ok())
        throw ErrorFor(o, errors::kPathFileAccess);
    if (durable && services_.system.SyncData(image) != 0)
        throw RuntimeError(NumberForErrno(errno));
}

std::vector<FatMedium::Entry> FatMedium::List() {
    const OpenFd medium(services_.system, Open(false));
    QByteArray text;
    const Outcome o =
        Run(services_, {"mdir", "-a", "-b", "-i", kChildMedium, "::/"}, medium.get(), -1,
            [&](const char* data, size_t n) { text.append(data, static_cast<qsizetype>(n)); });
    if (!o.ok())
        throw ErrorFor(o, errors::kDeviceIO);
    std::vector<Entry> entries;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.startsWith("::/") || line.size() <= 3)
            continue;
        Entry e;
        e.folder = line.endsWith('/');
        e.name = QString::fromUtf8(line.mid(3, line.size() - 3 - (e.folder ? 1 : 0)));
        entries.push_back(std::move(e));
    }
    return entries;
}

// An exact match, else the first entry that matches without regard to case; null when none.
const FatMedium::Entry* FatMedium::Find(const std::vector<Entry>& entries, const QString& name) {
    for (const Entry& e : entries) {
        if (e.name == name)
            return &e;
    }
    for (const Entry& e : entries) {
        if (e.name.compare(name, Qt::CaseInsensitive) == 0)
            return &e;
    }
    return nullptr;
}

QString FatMedium::FirstEntry() {
    const std::vector<Entry> entries = List();
    return entries.empty() ? QString() : entries.front().name;
}

QString FatMedium::StoredName(const QString& given) {
    QString name;
    try {
        name = FatName(given);
    } catch (const RuntimeError&) {
        return {};  // no entry can have such a name
    }
    const std::vector<Entry> entries = List();
    const Entry* found = Find(entries, name);
    return found ? found->name : QString();
}

void FatMedium::CopyIn(int sourceFd, const QString& name) {
    Copy(sourceFd, name);
}

FatMedium::Written FatMedium::WriteEntry(int medium, int sourceFd, off_t size,
                                         const QString& name) {
    Outcome o = Run(services_,
                    {"mcopy", "-v", "-D", "s", "-m", "-i", kChildMedium,
                     QByteArray("/dev/fd/") + kChildSourceName, MtoolsTarget(name)},
                    medium, sourceFd, {}, DeadlineFor(size));
    // With -v mtools names each file it writes. It names the source's own name when the target
    // is a folder and the copy went into it.
    QByteArray copied, errors;
    for (const QByteArray& line : o.errors.split('\n')) {
        if (line.startsWith("Copying "))
            copied = line.mid(8);
        else if (!line.isEmpty())
            errors += line + '\n';
    }
    o.errors = errors;
    const bool intoFolder = copied == kChildSourceName && name != QLatin1String(kChildSourceName);
    if (o.ok() && !intoFolder)
        return Written::kYes;
    if (o.silent())
        return Written::kSkipped;
    // mtools removes a copy that ran out of room; anything it left half written goes too.
    Remove(medium, intoFolder ? MtoolsPattern(name) + "/" + copied : MtoolsPattern(name));
    if (o.ok())
        throw RuntimeError(errors::kPathFileAccess);
    throw ErrorFor(o, errors::kPathFileAccess);
}

void FatMedium::Copy(int sourceFd, const QString& given) {
    const QString name = FatName(given);
    struct stat source {};
    if (services_.system.StatFd(sourceFd, &source) != 0 || !S_ISREG(source.st_mode))
        throw RuntimeError(errors::kPathFileAccess);
    const OpenFd medium(services_.system, Open(true));

    // Usually the name is new on the disk: one copy straight under it. Only a name equal to the
    // source's own in the child would leave a copy into a folder unnoticed: that one is looked
    // up first.
    std::vector<Entry> entries;
    const bool lookFirst = name == QLatin1String(kChildSourceName);
    if (lookFirst)
        entries = List();
    if (!lookFirst || Find(entries, name) == nullptr) {
        if (WriteEntry(medium.get(), sourceFd, source.st_size, name) == Written::kYes) {
            MakeDurableAndCheck(medium.get(), sourceFd, source.st_size, name);
            return;
        }
        if (!lookFirst)
            entries = List();
    }

    // mtools skipped it: an entry of that name (in any case) is there, or it refused the name.
    const Entry* existing = Find(entries, name);
    if (existing == nullptr)
        throw RuntimeError(errors::kNameFatCannotHold);
    if (existing->folder)
        throw RuntimeError(errors::kPathFileAccess);

    // The new copy under a temporary name, checked, then renamed over the old entry. No
    // generated short name has a "$", so a free one of these is free in every sense.
    QString temporary;
    for (int i = 0; temporary.isEmpty(); ++i) {
        const QString candidate = QStringLiteral("QTL99$%1.TMP").arg(i);
        if (Find(entries, candidate) == nullptr)
            temporary = candidate;
    }
    if (WriteEntry(medium.get(), sourceFd, source.st_size, temporary) != Written::kYes)
        throw RuntimeError(errors::kPathFileAccess);
    MakeDurableAndCheck(medium.get(), sourceFd, source.st_size, temporary);
    const Outcome o = Run(services_,
                          {"mren", "-D", "o", "-i", kChildMedium, MtoolsPattern(temporary),
                           MtoolsTarget(existing->name)},
                          medium.get(), -1);
    if (!o.ok()) {
        Remove(medium.get(), MtoolsPattern(temporary));
        throw ErrorFor(o, errors::kPathFileAccess);
    }
    if (services_.system.SyncData(medium.get()) != 0)
        throw RuntimeError(NumberForErrno(errno));
}

int FatMedium::MakeDurable(int medium) {
    SystemCalls& system = services_.system;
    // mtools leaves its writes in the page cache. They go to the medium now, and a device's
    // cached blocks (and a floppy driver's track buffer) are dropped, so that a read-back reads
    // the disk itself.
    struct stat st {};
    if (system.SyncData(medium) != 0 || system.StatFd(medium, &st) != 0)
        return NumberForErrno(errno);
    if (S_ISBLK(st.st_mode)) {
        system.FlushDriveBuffer(medium);
        system.DropCache(medium);
    }
    return 0;
}

void FatMedium::MakeDurableAndCheck(int medium, int sourceFd, off_t size, const QString& name) {
    SystemCalls& system = services_.system;
    const int durable = MakeDurable(medium);
    std::optional<RuntimeError> failure;
    if (durable != 0) {
        failure.emplace(durable);
    } else {
        off_t offset = 0;
        bool same = true;
        std::vector<char> original(65536);
        const Outcome o = Run(
            services_, {"mcopy", "-i", kChildMedium, MtoolsPattern(name), "-"}, medium, -1,
            [&](const char* data, size_t n) {
                if (!same)
                    return;
                if (n > original.size())
                    original.resize(n);
                same = ReadFull(system, sourceFd, original.data(), n, offset) ==
                           static_cast<ssize_t>(n) &&
                       std::memcmp(original.data(), data, n) == 0;
                offset += static_cast<off_t>(n);
            },
            DeadlineFor(size));
        // Written but not found under its name: mtools changed the name on the way.
        char extra;
        if (!o.ok())
            failure = ErrorFor(o, errors::kNameFatCannotHold);
        else if (!same || ReadFull(system, sourceFd, &extra, 1, offset) != 0)
            failure.emplace(errors::kDeviceIO);
    }
    if (failure) {
        Remove(medium, MtoolsPattern(name));
        throw *failure;
    }
}

void FatMedium::Remove(int medium, const QByteArray& pattern) {
    // Best effort: when the medium has gone, there is nothing more to do on it.
    Run(services_, {"mdel", "-i", kChildMedium, pattern}, medium, -1);
}

void FatMedium::CopyOut(const QString& given, int destinationFd) {
    QString name;
    try {
        name = FatName(given);
    } catch (const RuntimeError&) {
        throw RuntimeError(errors::kFileNotFound);
    }
    const std::vector<Entry> entries = List();
    const Entry* stored = Find(entries, name);
    if (stored == nullptr)
        throw RuntimeError(errors::kFileNotFound);
    if (stored->folder)
        throw RuntimeError(errors::kPathFileAccess);
    const OpenFd medium(services_.system, Open(false));
    const Outcome o = Run(
        services_, {"mcopy", "-i", kChildMedium, MtoolsPattern(stored->name), "-"}, medium.get(),
        -1,
        [&](const char* data, size_t n) {
            while (n > 0) {
                const ssize_t put = services_.system.Write(destinationFd, data, n);
                if (put < 0)
                    throw RuntimeError(NumberForErrno(errno));
                data += put;
                n -= static_cast<size_t>(put);
            }
        },
        DeadlineFor(kStandardFloppyBytes));
    if (!o.ok())
        throw ErrorFor(o, errors::kFileNotFound);
}

}  // namespace platform
