// Drive-path resolution on any text: whatever it holds, a resolved path stays inside the drive
// it names.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/drives/drive.h"
#include "platform/finding/detection.h"
#include "platform/host/drive_set.h"
#include "platform/paths.h"

namespace {
std::unique_ptr<QTemporaryDir> raiz;  // removed at exit, with what was laid in it
platform::DriveServices servicios{platform::DefaultSystemCalls(), platform::DefaultChildren()};
platform::DriveSet unidades(servicios);
platform::DriveTable tabla;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    raiz = std::make_unique<QTemporaryDir>();
    for (const char* carpeta : {"cd/Discos/Disco1", "cd/SETUP", "floppy/Sub"})
        QDir().mkpath(raiz->filePath(QString::fromLatin1(carpeta)));
    for (const char* archivo : {"cd/Archivos.ini", "cd/Discos/Disco1/LEEME.TXT", "fuera.txt"}) {
        QFile f(raiz->filePath(QString::fromLatin1(archivo)));
        if (f.open(QIODevice::WriteOnly))
            f.write("x");
    }
    tabla = unidades.Update(
        platform::ParseDriveTable(QStringLiteral("d:=%1;a:=%2")
                                      .arg(raiz->filePath(QStringLiteral("cd")),
                                           raiz->filePath(QStringLiteral("floppy"))))
            .drives);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const platform::ResolvedPath r = platform::ResolveDrivePath(path, tabla);
    if (r.status == platform::ResolvedPath::Status::kOk ||
        r.status == platform::ResolvedPath::Status::kMissingFolder) {
        const QString root = QDir::cleanPath(r.drive.root);
        if (r.linuxPath != root && !r.linuxPath.startsWith(root + QLatin1Char('/')))
            std::abort();
        if (r.linuxPath.contains(QStringLiteral("/../")) ||
            r.linuxPath.endsWith(QStringLiteral("/..")))
            std::abort();
    }
    return 0;
}
