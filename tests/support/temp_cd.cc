#include "tests/support/temp_cd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cstdlib>

#include "platform/program_folder.h"

namespace qtltest {

TempDrives::TempDrives() = default;

TempDrives::~TempDrives() {
    ::unsetenv("QTL99_DRIVES");
    platform::OverrideProgramFolder(QString());
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

void TempDrives::MapDrives(const QString& table) const {
    QStringList entries;
    for (const QString& entry : table.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = entry.indexOf(u'=');
        const QString target = entry.mid(eq + 1);
        const qsizetype comma = target.indexOf(u',');
        entries << entry.left(eq + 1) + Path(target.left(comma < 0 ? target.size() : comma)) +
                       (comma < 0 ? QString() : target.mid(comma));
    }
    ::setenv("QTL99_DRIVES", entries.join(u';').toLocal8Bit().constData(), 1);
}

void TempDrives::PlaceProgram(const QString& relative) const {
    platform::OverrideProgramFolder(MakeFolder(relative));
}

}  // namespace qtltest
