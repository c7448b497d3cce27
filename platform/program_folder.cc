#include "platform/program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "platform/drives.h"
#include "platform/paths.h"

namespace platform {

namespace {
QString& Override() {
    static QString folder;
    return folder;
}
}  // namespace

QString ProgramFolder() {
    if (!Override().isEmpty())
        return Override();
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QFileInfo(exe).absolutePath();
}

void OverrideProgramFolder(const QString& linuxFolder) {
    Override() = linuxFolder.isEmpty()
                     ? QString()
                     : QDir::cleanPath(QDir::current().absoluteFilePath(linuxFolder));
}

QString AppPath() {
    const QString folder = ProgramFolder();
    QString drivePath = ToDriveForm(folder, CurrentDrives());
    if (!drivePath.isEmpty()) {
        // Only a drive root keeps its backslash.
        if (drivePath.size() > 3 && drivePath.endsWith(u'\\'))
            drivePath.chop(1);
        return drivePath;
    }
    static bool reported = false;
    if (!reported) {
        reported = true;
        std::fprintf(stderr,
                     "QTL99: la carpeta del programa %s no está en ninguna unidad; "
                     "se usan los valores por defecto de Archivos.ini\n",
                     qPrintable(folder));
    }
    QString bare = folder;
    bare.replace(u'/', u'\\');
    return bare;
}

}  // namespace platform
