#include "platform/host/linux_processes.h"

#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>

#include "platform/drives/drive.h"
#include "platform/runtime_error.h"

namespace platform {

namespace {

bool LooksLikeDrivePath(const QString& text) {
    return text.size() >= 3 && text[0].isLetter() && text[0].unicode() < 128 && text[1] == u':' &&
           (text[2] == u'\\' || text[2] == u'/');
}

}  // namespace

void LinuxProcesses::Shell(const QString& commandLine, int /*windowStyle*/) {
    // The window style (minimized) is the started program's own affair on Linux.
    const CommandLine line = SplitCommandLine(commandLine);
    const DriveTable drives = host_.Drives();
    const ResolvedPath program = ResolveDrivePath(line.program, drives);
    RaiseIfUnreachable(program, errors::kDiskNotReady);
    if (!program.exists || program.endsWithSeparator)
        throw RuntimeError(errors::kFileNotFound);
    if (program.linuxPath.isEmpty()) {
        throw RuntimeError(errors::kPermissionDenied,
                           QStringLiteral("%1 está en una unidad sin carpeta de Linux (una imagen "
                                          "de CD, un disquete sin montar): no se inicia desde "
                                          "ahí; monte el disco o la imagen")
                               .arg(line.program));
    }
    const QByteArray path = QFile::encodeName(program.linuxPath);
    if (QFileInfo(program.linuxPath).isDir() || ::access(path.constData(), X_OK) != 0) {
        throw RuntimeError(errors::kPermissionDenied);
    }
    QStringList arguments;
    for (const QString& argument : line.arguments) {
        if (LooksLikeDrivePath(argument)) {
            const ResolvedPath r = ResolveDrivePath(argument, drives);
            arguments << (r.status == ResolvedPath::Status::kNoDrive ? argument : r.linuxPath);
        } else {
            arguments << argument;
        }
    }
    if (!QProcess::startDetached(program.linuxPath, arguments))
        throw RuntimeError(errors::kPermissionDenied);
}

void LinuxProcesses::End(int status) {
    std::fflush(nullptr);
    ::_exit(status);
}

}  // namespace platform
