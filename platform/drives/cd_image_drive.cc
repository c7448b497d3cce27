#include "platform/drives/cd_image_drive.h"

#include <cerrno>
#include <string>

#include <QFile>

#include "platform/runtime_error.h"

namespace platform {

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The entry of `folder` a name means: the exact one, else the first without regard to case.
const CdEntry* Named(const CdEntry& folder, const QString& name) {
    const CdEntry* folded = nullptr;
    for (const CdEntry& entry : folder.entries) {
        if (entry.name == name)
            return &entry;
        if (folded == nullptr && entry.name.compare(name, Qt::CaseInsensitive) == 0)
            folded = &entry;
    }
    return folded;
}

}  // namespace

CdImageDrive::CdImageDrive(DriveInfo info, const DriveServices& services)
    : Drive(std::move(info)), services_(services) {}

CdImageDrive::~CdImageDrive() = default;

const CdImage* CdImageDrive::Image() const {
    const auto stat = [&](const QString& path, struct stat* st) {
        return services_.system.Stat(QFile::encodeName(path).constData(), st) == 0;
    };
    struct stat now {};
    struct stat data {};
    if (!stat(info().root, &now)) {
        image_.reset();
    } else if (image_ && SameFile(now, opened_) &&
               (image_->dataPath() == info().root ||
                (stat(image_->dataPath(), &data) && SameFile(data, image_->dataFile())))) {
        return image_.get();  // neither the sheet nor its .bin has changed
    }
    QString cause;
    image_ = CdImage::Open(info().root, &cause);
    opened_ = now;
    if (!image_ && cause != told_ && services_.notices != nullptr)
        services_.notices->Say(QStringLiteral("%1 %2").arg(name(), cause));
    told_ = image_ ? QString() : cause;
    return image_.get();
}

QString CdImageDrive::ListEntry() const {
    const CdImage* image = Image();
    if (image == nullptr || image->label().isEmpty())
        return Drive::ListEntry();
    return QStringLiteral("%1 [%2]").arg(name(), image->label());
}

const CdEntry* CdImageDrive::Find(const DrivePath& path, ResolvedPath* r) const {
    r->drive = info();
    r->endsWithSeparator = path.endsWithSeparator;
    const CdImage* image = Image();
    if (image == nullptr) {
        r->status = ResolvedPath::Status::kNotReady;
        return nullptr;
    }
    r->status = ResolvedPath::Status::kOk;
    const CdEntry* entry = &image->root();
    for (qsizetype i = 0; i < path.names.size(); ++i) {
        const bool last = i + 1 == path.names.size();
        const CdEntry* next = entry->folder ? Named(*entry, path.names[i]) : nullptr;
        if (next == nullptr || (!last && !next->folder)) {
            if (!last || !entry->folder)
                r->status = ResolvedPath::Status::kMissingFolder;
            r->name = path.names[i];
            return nullptr;
        }
        entry = next;
    }
    r->exists = true;
    r->name = entry == &image->root() ? QString() : entry->name;
    return entry;
}

ResolvedPath CdImageDrive::Resolve(const DrivePath& path) const {
    ResolvedPath r;
    Find(path, &r);
    return r;
}

QString CdImageDrive::Dir(const DrivePath& path) {
    ResolvedPath r;
    const CdEntry* entry = Find(path, &r);
    RaiseIfUnreachable(r, errors::kNoDiskToList);
    if (!r.endsWithSeparator)
        return r.exists ? r.name : QString();
    if (entry == nullptr)
        return {};
    if (!entry->folder)
        throw RuntimeError(NumberForErrno(ENOTDIR));
    return entry->entries.empty() ? QString() : entry->entries.front().name;
}

const CdEntry& CdImageDrive::FileAt(const DrivePath& path) const {
    ResolvedPath r;
    const CdEntry* entry = Find(path, &r);
    RaiseIfUnreachable(r, errors::kDiskNotReady);
    if (r.endsWithSeparator || r.name.isEmpty())
        throw RuntimeError(errors::kPathFileAccess);
    if (entry == nullptr)
        throw RuntimeError(errors::kFileNotFound);
    if (entry->folder)
        throw RuntimeError(errors::kPathFileAccess);
    if (entry->twice) {
        throw RuntimeError(errors::kDeviceIO,
                           QStringLiteral("la imagen %1 tiene dos entradas «%2» en la misma "
                                          "carpeta: no se sabe cuál es el archivo")
                               .arg(info().root, entry->name));
    }
    return *entry;
}

void CdImageDrive::ReadWhole(const CdEntry& entry, int out) const {
    QString cause;
    if (const int failure = image_->ReadInto(entry, out, &cause); failure != 0) {
        if (failure < 0)
            throw RuntimeError(errors::kDeviceIO, cause);
        throw RuntimeError(NumberForErrno(failure));
    }
}

QString CdImageDrive::Identity(const DrivePath& path, const CdEntry& entry) const {
    // The file is its place on the disc; empty files may all share one, and go by their path.
    const QString where = entry.size > 0 ? QString() : path.names.join(u'/').toLower();
    return QStringLiteral("%1@%2/%3").arg(info().root).arg(entry.sector).arg(where);
}

SourceFile CdImageDrive::OpenSource(const DrivePath& path) {
    const CdEntry& entry = FileAt(path);
    // Read whole before anything is written from it; then copied like any other file.
    SystemCalls& system = services_.system;
    OpenFd held(system, system.MemoryFile("qtl99-cd"));
    if (held.get() < 0)
        throw RuntimeError(NumberForErrno(errno));
    ReadWhole(entry, held.get());
    struct stat st {};
    const timespec times[2] = {entry.time, entry.time};
    if (system.SetTimes(held.get(), times) != 0 || system.StatFd(held.get(), &st) != 0)
        throw RuntimeError(NumberForErrno(errno));
    return SourceFile(held.Release(), st, system, Identity(path, entry));
}

QString CdImageDrive::ReadThrough(const DrivePath& path, qint64* bytes) {
    const CdEntry& entry = FileAt(path);
    ReadWhole(entry, -1);
    *bytes = entry.size;
    return Identity(path, entry);
}

void CdImageDrive::CopyIn(const DrivePath& /*path*/, const SourceFile& /*source*/) {
    throw RuntimeError(errors::kPermissionDenied,
                       QStringLiteral("la unidad %1 es la imagen de CD %2, que solo se lee")
                           .arg(name(), info().root));
}

}  // namespace platform
