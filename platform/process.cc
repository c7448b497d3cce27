#include "platform/process.h"

#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>

#include "platform/host.h"
#include "platform/runtime_error.h"

namespace platform {

namespace {

bool LooksLikeDrivePath(const QString& text) {
    return text.size() >= 3 && text[0].isLetter() && text[0].unicode() < 128 && text[1] == u':' &&
           (text[2] == u'\\' || text[2] == u'/');
}

}  // namespace

CommandLine SplitCommandLine(const QString& commandLine) {
    CommandLine result;
    qsizetype i = 0;
    const qsizetype n = commandLine.size();
    while (i < n && commandLine[i] == u' ')
        ++i;
    if (i < n && commandLine[i] == u'"') {
        const qsizetype close = commandLine.indexOf(u'"', i + 1);
        const qsizetype end = close < 0 ? n : close;
        result.program = commandLine.mid(i + 1, end - i - 1);
        i = close < 0 ? n : close + 1;
    } else {
        const qsizetype end = commandLine.indexOf(u' ', i);
        result.program = commandLine.mid(i, (end < 0 ? n : end) - i);
        i = end < 0 ? n : end;
    }
    while (result.program.endsWith(u' '))
        result.program.chop(1);

    QString current;
    bool inQuotes = false;
    bool any = false;
    for (; i < n; ++i) {
        const QChar c = commandLine[i];
        if (c == u'"') {
            inQuotes = !inQuotes;
            any = true;
        } else if (c == u' ' && !inQuotes) {
            if (any)
                result.arguments << current;
            current.clear();
            any = false;
        } else {
            current.append(c);
            any = true;
        }
    }
    if (any)
        result.arguments << current;
    return result;
}

void LinuxProcesses::Shell(const QString& commandLine, int /*windowStyle*/) {
    // The window style (minimized) is the started program's own affair on Linux.
    const CommandLine line = SplitCommandLine(commandLine);
    const DriveTable drives = host_.Drives();
    const ResolvedPath program = ResolveDrivePath(line.program, drives);
    RaiseIfUnreachable(program, errors::kDiskNotReady);
    if (!program.exists || program.endsWithSeparator)
        throw RuntimeError(errors::kFileNotFound);
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
