#include "platform/cdimage/cue_sheet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <cstring>

namespace platform {

CueFiles ReadCue(const QString& cue, const QString& rename) {
    CueFiles files;
    QFile sheet(cue);
    if (!sheet.open(QIODevice::ReadOnly))
        return files;
    static const QRegularExpression file(QStringLiteral("^\\s*FILE\\s+(\"([^\"]*)\"|(\\S+))"),
                                         QRegularExpression::CaseInsensitiveOption);
    // A link to a sheet names its .bin beside itself, or beside the sheet it leads to.
    const QDir folder = QFileInfo(cue).absoluteDir();
    const QDir target = QFileInfo(QFileInfo(cue).canonicalFilePath()).absoluteDir();
    for (const QByteArray& line : sheet.read(1 << 20).split('\n')) {
        QString text = QString::fromUtf8(line);
        const QRegularExpressionMatch m = file.match(text);
        if (m.hasMatch()) {
            const int which = m.captured(2).isEmpty() ? 3 : 2;
            QString bin = folder.absoluteFilePath(m.captured(which));
            if (!QFileInfo::exists(bin) && QFileInfo(cue).isSymLink())
                bin = target.absoluteFilePath(m.captured(which));
            if (files.missing.isEmpty() && !QFileInfo(bin).isFile())
                files.missing = m.captured(which);
            if (files.first.isEmpty()) {
                files.first = bin;
                if (!rename.isEmpty())
                    text.replace(m.capturedStart(which), m.capturedLength(which), rename);
            }
        }
        files.text += text.toUtf8() + '\n';
    }
    return files;
}

bool TracksInOrder(const QByteArray& sheet) {
    QFile file(QFile::decodeName(sheet));
    if (!file.open(QIODevice::ReadOnly))
        return true;  // nor will libcdio read it
    static const QRegularExpression blanks(QStringLiteral("[ \t\n\r]+"));
    char line[4096];  // libcdio's own
    int next = 1;
    for (qint64 n = 0; (n = file.readLine(line, sizeof line)) > 0;) {
        const QStringList words =
            QString::fromLatin1(line, static_cast<qsizetype>(strnlen(line, n)))
                .split(blanks, Qt::SkipEmptyParts);
        bool number = false;
        if (words.size() >= 2 && words[0] == u"TRACK" &&
            (words[1].toInt(&number) != next++ || !number))
            return false;
    }
    return true;
}

}  // namespace platform
