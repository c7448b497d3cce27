#include "platform/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <algorithm>
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
        name = WithoutTrailingBlanksAndDots(name);
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

bool IsDenied(int errnum) {
    return errnum == EACCES || errnum == EPERM;
}

bool Exists(SystemCalls& system, const QByteArray& path, bool* isDir, bool* denied) {
    struct stat st {};
    if (system.Stat(path.constData(), &st) != 0) {
        *denied = *denied || IsDenied(errno);
        return false;
    }
    *isDir = S_ISDIR(st.st_mode);
    return true;
}

// The stored name of `name` inside `folder`: the exact entry, else the first entry in folder
// order that matches without regard to case. Empty when there is none; `denied` tells that the
// folder could not be searched or read, so the name may well be there.
QString MatchInFolder(SystemCalls& system, const QString& folder, const QString& name, bool* isDir,
                      bool* denied) {
    const QByteArray folderBytes = QFile::encodeName(folder);
    QByteArray exact = folderBytes;
    if (!exact.endsWith('/'))
        exact.append('/');
    if (Exists(system, exact + QFile::encodeName(name), isDir, denied))
        return name;

    DIR* dir = system.OpenFolder(folderBytes.constData());
    if (dir == nullptr) {
        *denied = *denied || IsDenied(errno);
        return {};
    }
    QString found;
    while (const dirent* entry = system.ReadFolder(dir)) {
        const QString candidate = QFile::decodeName(entry->d_name);
        if (candidate == u"." || candidate == u"..")
            continue;
        if (candidate.compare(name, Qt::CaseInsensitive) == 0) {
            if (Exists(system, exact + entry->d_name, isDir, denied)) {
                found = candidate;
                break;
            }
        }
    }
    system.CloseFolder(dir);
    return found;
}

QString Join(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

}  // namespace

QString WithoutTrailingBlanksAndDots(QString name) {
    while (!name.isEmpty() && (name.back() == u' ' || name.back() == u'.'))
        name.chop(1);
    return name;
}

DrivePath ParseDrivePath(const QString& drivePath) {
    DrivePath p;
    if (drivePath.size() < 2 || drivePath[1] != u':' || !drivePath[0].isLetter())
        return p;
    p.letter = drivePath[0].toLower();
    const QStringView rest = QStringView(drivePath).mid(2);
    p.endsWithSeparator = rest.isEmpty() || IsSeparator(rest.back());
    p.names = NormalisedNames(rest);
    return p;
}

ResolvedPath ResolveInFolder(SystemCalls& system, const QString& root, const DrivePath& drivePath) {
    ResolvedPath r;
    r.endsWithSeparator = drivePath.endsWithSeparator;
    const QStringList& names = drivePath.names;

    QString path = QDir::cleanPath(root);
    bool isDir = true;
    bool allExist = true;
    // Names are mostly written as they are stored: one look at the whole path, or at the
    // folder of a new last name, spares looking for each folder on the way.
    // A name with a NUL in it would be cut short there: it is looked for on its own.
    const bool whole = std::none_of(names.begin(), names.end(),
                                    [](const QString& n) { return n.contains(QChar(0)); });
    qsizetype exact = 0;  // names[0, exact) stand as given
    for (qsizetype upTo = names.size(); whole && upTo >= 2 && upTo + 1 >= names.size(); --upTo) {
        QString joined = path;
        for (qsizetype i = 0; i < upTo; ++i)
            joined = Join(joined, names[i]);
        bool joinedIsDir = false;
        bool denied = false;
        if (Exists(system, QFile::encodeName(joined), &joinedIsDir, &denied) &&
            (upTo == names.size() || joinedIsDir)) {
            exact = upTo;
            path = joined;
            isDir = joinedIsDir;
            break;
        }
    }
    if (exact == names.size() && exact > 0)
        r.name = names.back();
    for (qsizetype i = exact; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        QString stored;
        bool denied = false;
        if (allExist)
            stored = MatchInFolder(system, path, names[i], &isDir, &denied);
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

void RaiseIfUnreachable(const ResolvedPath& resolved, int notReadyNumber) {
    switch (resolved.status) {
        case ResolvedPath::Status::kNoDrive:
            throw RuntimeError(errors::kDeviceUnavailable);
        case ResolvedPath::Status::kNotReady:
            throw RuntimeError(notReadyNumber);
        case ResolvedPath::Status::kMissingFolder:
            throw RuntimeError(errors::kPathNotFound);
        case ResolvedPath::Status::kDenied:
            throw RuntimeError(errors::kPermissionDenied);
        case ResolvedPath::Status::kOk:
            break;
    }
}

}  // namespace platform
