#include <QDir>
#include <QStringList>
#include <cctype>
#include <optional>
#include <utility>

#include "platform/finding/detection.h"

// The text of QTL99_DRIVES, read into a drive table.
namespace platform {

namespace {

std::optional<DriveKind> KindFromWord(const QString& word) {
    const QString w = word.trimmed().toLower();
    if (w == u"floppy")
        return DriveKind::kFloppy;
    if (w == u"fixed")
        return DriveKind::kFixed;
    if (w == u"optical")
        return DriveKind::kOptical;
    if (w == u"removable")
        return DriveKind::kRemovable;
    if (w == u"images")
        return DriveKind::kImages;
    return std::nullopt;
}

// The entries of a table: split at each ";" outside the double quotes that open a folder
// (right after its "="); "" inside them is a quote.
QStringList TableEntries(const QString& text) {
    QStringList entries(QString{});
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        QString& entry = entries.back();
        if (quoted && c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
            entry += QStringLiteral("\"\"");
            ++i;
            continue;
        }
        if (c == u'"' && (quoted || entry.trimmed().endsWith(u'=')))
            quoted = !quoted;
        if (c == u';' && !quoted)
            entries << QString();
        else
            entry += c;
    }
    return entries;
}

// A folder written in double quotes ("/home/ana/x;y " keeps its ";" and its blanks, "" is one
// quote), then an optional ",kind": the folder, and what follows it; nothing when the closing
// quote is missing.
std::optional<std::pair<QString, QString>> QuotedFolder(const QString& text) {
    QString folder;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] != u'"') {
            folder += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == u'"') {
            folder += u'"';
            ++i;
        } else {
            return std::pair{folder, text.mid(i + 1).trimmed()};
        }
    }
    return std::nullopt;
}

}  // namespace

QString QuoteTableFolder(const QString& folder) {
    return u'"' + QString(folder).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

ParsedDriveTable ParseDriveTable(const QString& text) {
    ParsedDriveTable result;
    const QStringList entries = TableEntries(text);
    for (const QString& raw : entries) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            continue;
        const qsizetype eq = entry.indexOf(u'=');
        const QString name = eq < 0 ? entry : entry.left(eq).trimmed();
        if (eq < 0 || name.size() != 2 || name[1] != u':' || name[0].toLatin1() == 0 ||
            !std::isalpha(static_cast<unsigned char>(name[0].toLatin1()))) {
            result.problems << QStringLiteral(
                                   "entrada \"%1\" no tiene la forma letra:=carpeta; se ignora")
                                   .arg(entry);
            continue;
        }
        QString folder = entry.mid(eq + 1).trimmed();
        DriveInfo d;
        d.letter = name[0].toLower();
        d.kind = (d.letter == u'a' || d.letter == u'b') ? DriveKind::kFloppy : DriveKind::kFixed;
        if (folder.startsWith(u'"')) {
            const auto quoted = QuotedFolder(folder);
            const std::optional<DriveKind> kind = quoted && quoted->second.startsWith(u',')
                                                      ? KindFromWord(quoted->second.mid(1))
                                                      : std::nullopt;
            if (!quoted || (!quoted->second.isEmpty() && !kind)) {
                result.problems << QStringLiteral(
                                       "la unidad %1 tiene la carpeta mal entre "
                                       "comillas (%2); se ignora")
                                       .arg(d.name(), folder);
                continue;
            }
            if (kind)
                d.kind = *kind;
            folder = quoted->first;
        } else if (const qsizetype comma = folder.lastIndexOf(u','); comma >= 0) {
            if (auto kind = KindFromWord(folder.mid(comma + 1))) {
                d.kind = *kind;
                folder = folder.left(comma).trimmed();
            }
        }
        if (folder.isEmpty()) {
            result.problems
                << QStringLiteral("la unidad %1 no tiene carpeta; se ignora").arg(d.name());
            continue;
        }
        if (FindDrive(result.drives, d.letter) != nullptr) {
            result.problems << QStringLiteral("la unidad %1 aparece dos veces; se usa la primera")
                                   .arg(d.name());
            continue;
        }
        d.root = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
        result.drives.push_back(d);
    }
    return result;
}

}  // namespace platform
