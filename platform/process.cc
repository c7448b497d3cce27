#include "platform/process.h"

namespace platform {

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

}  // namespace platform
