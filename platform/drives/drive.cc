#include "platform/drives/drive.h"

#include <QDir>
#include <QFile>
#include <string>
#include <utility>

namespace platform {

SourceFile::SourceFile(int fd, const struct stat& info, SystemCalls& system, QString identity)
    : fd_(fd),
      stat_(info),
      identity_(identity.isEmpty() ? IdentityOf(info) : std::move(identity)),
      system_(&system) {}

QString SourceFile::IdentityOf(const struct stat& info) {
    return QStringLiteral("%1:%2").arg(info.st_dev).arg(info.st_ino);
}

SourceFile::~SourceFile() {
    if (fd_ >= 0 && system_ != nullptr)
        system_->Close(fd_);
}
SourceFile::SourceFile(SourceFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      stat_(other.stat_),
      identity_(std::move(other.identity_)),
      system_(other.system_) {}
SourceFile& SourceFile::operator=(SourceFile&& other) noexcept {
    std::swap(fd_, other.fd_);
    std::swap(stat_, other.stat_);
    std::swap(identity_, other.identity_);
    std::swap(system_, other.system_);
    return *this;
}

QString Drive::ReadThrough(const DrivePath& path, qint64* bytes) {
    const SourceFile source = OpenSource(path);
    *bytes = source.info().st_size;
    return source.identity();
}

QString Drive::ListEntry() const {
    if (info_.label.isEmpty())
        return name();
    return QStringLiteral("%1 [%2]").arg(name(), info_.label);
}

ResolvedPath ResolveInRoot(const DriveInfo& info, const DrivePath& path) {
    ResolvedPath r;
    r.drive = info;
    r.endsWithSeparator = path.endsWithSeparator;
    r.status =
        path.names.size() > 1 ? ResolvedPath::Status::kMissingFolder : ResolvedPath::Status::kOk;
    r.name = path.names.value(0);
    return r;
}

Drive* FindDrive(const DriveTable& drives, QChar letter) {
    const QChar l = letter.toLower();
    for (const auto& d : drives) {
        if (d->info().letter == l)
            return d.get();
    }
    return nullptr;
}

ResolvedPath ResolveDrivePath(const QString& drivePath, const DriveTable& drives) {
    const DrivePath path = ParseDrivePath(drivePath);
    const Drive* drive = path.letter.isNull() ? nullptr : FindDrive(drives, path.letter);
    if (drive == nullptr)
        return {};
    ResolvedPath r;
    if (drive->IsReady()) {
        r = drive->Resolve(path);
    } else {
        r.status = ResolvedPath::Status::kNotReady;
    }
    r.drive = drive->info();
    return r;
}

QString ToDriveForm(SystemCalls& system, const QString& linuxFolder, const DriveTable& drives) {
    auto canonical = [&system](const QString& p) {
        std::string real;
        if (!p.isEmpty() && system.RealPath(QFile::encodeName(p).constData(), &real) == 0)
            return QFile::decodeName(real.c_str());
        return QDir::cleanPath(p);
    };
    const QString folder = canonical(linuxFolder);
    const Drive* best = nullptr;
    QString bestRoot;
    for (const auto& d : drives) {
        // A CD image given as the program's folder stands for the root of its drive.
        if (d->Root().isEmpty() && d->info().kind == DriveKind::kOptical &&
            !d->info().root.isEmpty() && canonical(d->info().root) == folder)
            return d->name() + u'\\';
        if (d->Root().isEmpty())
            continue;
        const QString root = canonical(d->Root());
        const bool within = folder == root || root == u"/" || folder.startsWith(root + u'/');
        if (within && (best == nullptr || root.size() > bestRoot.size())) {
            best = d.get();
            bestRoot = root;
        }
    }
    if (best == nullptr)
        return {};
    QString rest = folder.mid(bestRoot == u"/" ? 1 : bestRoot.size() + 1);
    rest.replace(u'/', u'\\');
    return best->name() + u'\\' + rest;
}

}  // namespace platform
