#include "platform/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <cerrno>

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include "platform/runtime_error.h"

namespace platform {

namespace {

bool IsSeparator(QChar c) {
    return c == u'\\' || c == u'/';
}

// The names of a path after its "x:", with ".", ".." and trailing blanks and dots dealt with.
QStringList NormalisedNames(QStringView rest) {
    QStringList names;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && !IsSeparator(rest[i]))
            continue;
        QString name = rest.mid(start, i - start).toString();
        start = i + 1;
        if (name == u".")
            continue;
        if (name == u"..") {
            if (!names.isEmpty())
                names.removeLast();  // never above the root
            continue;
        }
        while (!name.isEmpty() && (name.back() == u' ' || name.back() == u'.'))
            name.chop(1);
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

bool IsDenied(int errnum) {
    return errnum == EACCES || errnum == EPERM;
}

bool Exists(const QByteArray& path, bool* isDir, bool* denied) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        *denied = *denied || IsDenied(errno);
        return false;
    }
    *isDir = S_ISDIR(st.st_mode);
    return true;
}

// The stored name of `name` inside `folder`: the exact entry, else the first entry in folder
// order that matches without regard to case. Empty when there is none; `denied` tells that the
// folder could not be searched or read, so the name may well be there.
QString MatchInFolder(const QString& folder, const QString& name, bool* isDir, bool* denied) {
    const QByteArray folderBytes = QFile::encodeName(folder);
    QByteArray exact = folderBytes;
    if (!exact.endsWith('/'))
        exact.append('/');
    if (Exists(exact + QFile::encodeName(name), isDir, denied))
        return name;

    DIR* dir = ::opendir(folderBytes.constData());
    if (dir == nullptr) {
        *denied = *denied || IsDenied(errno);
        return {};
    }
    QString found;
    while (const dirent* entry = ::readdir(dir)) {
        const QString candidate = QFile::decodeName(entry->d_name);
        if (candidate == u"." || candidate == u"..")
            continue;
        if (candidate.compare(name, Qt::CaseInsensitive) == 0) {
            if (Exists(exact + entry->d_name, isDir, denied)) {
                found = candidate;
                break;
            }
        }
    }
    ::closedir(dir);
    return found;
}

QString Join(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

}  // namespace

ResolvedPath ResolveDrivePath(const QString& drivePath, const DriveTable& drives) {
    ResolvedPath r;
    if (drivePath.size() < 2 || drivePath[1] != u':')
        return r;
    const Drive* drive = FindDrive(drives, drivePath[0]);
    if (drive == nullptr)
        return r;
    r.drive = *drive;
    if (!IsReady(*drive)) {
        r.status = ResolvedPath::Status::kNotReady;
        return r;
    }
    const QStringView rest = QStringView(drivePath).mid(2);
    r.endsWithSeparator = rest.isEmpty() || IsSeparator(rest.back());
    const QStringList names = NormalisedNames(rest);

    QString path = QDir::cleanPath(drive->root);
    bool isDir = true;
    bool allExist = true;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        QString stored;
        bool denied = false;
        if (allExist)
            stored = MatchInFolder(path, names[i], &isDir, &denied);
        if (stored.isEmpty() && denied) {
            r.status = ResolvedPath::Status::kDenied;
            return r;
        }
        if (stored.isEmpty()) {
            stored = names[i];
            allExist = false;
            if (!last)
                r.status = ResolvedPath::Status::kMissingFolder;
        } else if (!last && !isDir) {
            allExist = false;
            r.status = ResolvedPath::Status::kMissingFolder;
        }
        path = Join(path, stored);
        if (last)
            r.name = stored;
    }
    if (r.status != ResolvedPath::Status::kMissingFolder)
        r.status = ResolvedPath::Status::kOk;
    r.linuxPath = path;
    r.exists = allExist && (!r.endsWithSeparator || isDir);
    return r;
}

ResolvedPath ResolveDrivePath(const QString& drivePath) {
    return ResolveDrivePath(drivePath, CurrentDrives());
}

void RaiseIfUnreachable(const ResolvedPath& resolved, int notReadyNumber) {
    switch (resolved.status) {
        case ResolvedPath::Status::kNoDrive:
            throw RuntimeError(err::kDispositivoNoDisponible);
        case ResolvedPath::Status::kNotReady:
            throw RuntimeError(notReadyNumber);
        case ResolvedPath::Status::kMissingFolder:
            throw RuntimeError(err::kRutaNoEncontrada);
        case ResolvedPath::Status::kDenied:
            throw RuntimeError(err::kPermisoDenegado);
        case ResolvedPath::Status::kOk:
            break;
    }
}

QString ToDriveForm(const QString& linuxFolder, const DriveTable& drives) {
    auto canonical = [](const QString& p) {
        const QString c = QFileInfo(p).canonicalFilePath();
        return c.isEmpty() ? QDir::cleanPath(p) : c;
    };
    const QString folder = canonical(linuxFolder);
    const Drive* best = nullptr;
    QString bestRoot;
    for (const Drive& d : drives) {
        if (!d.mounted || d.root.isEmpty())
            continue;
        const QString root = canonical(d.root);
        const bool within = folder == root || root == u"/" || folder.startsWith(root + u'/');
        if (within && (best == nullptr || root.size() > bestRoot.size())) {
            best = &d;
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
