#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <optional>

namespace platform {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString DecodeCp1252(const QByteArray& bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = (b >= 0x80 && b <= 0x9F) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return out;
}

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QStringView TrimBlanks(QStringView v) {
    while (!v.isEmpty() && IsBlank(v.front()))
        v = v.mid(1);
    while (!v.isEmpty() && IsBlank(v.back()))
        v.chop(1);
    return v;
}

QStringView Unquote(QStringView v) {
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front()) {
        return v.mid(1, v.size() - 2);
    }
    return v;
}

// Copies at most `limit` characters of `text` into the buffer, never splitting a surrogate
// pair, ends them with a NUL and returns how many were copied.
int CopyOut(QStringView text, qsizetype limit, QString& buffer) {
    qsizetype n = std::min(text.size(), limit);
    if (n > 0 && n < text.size() && text[n - 1].isHighSurrogate())
        --n;
    for (qsizetype i = 0; i < n; ++i)
        buffer[i] = text[i];
    if (n < buffer.size())
        buffer[n] = QChar(u'\0');
    return static_cast<int>(n);
}

// Calls `visit(line)` for each line's text: CR LF, LF and a lone CR each end a line (files
// saved by older editors end their lines in CR alone); a NUL ends a line's text.
template <typename Visit>
void ForEachLine(const QString& text, Visit visit) {
    const qsizetype size = text.size();
    qsizetype start = 0;
    while (start <= size) {
        qsizetype end = start;
        while (end < size && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        QStringView line = QStringView(text).mid(start, end - start);
        const qsizetype nul = line.indexOf(QChar(u'\0'));
        if (nul >= 0)
            line = line.left(nul);
        if (!visit(TrimBlanks(line)))
            return;
        start = end + 1;
        if (end + 1 < size && text[end] == u'\r' && text[end + 1] == u'\n')
            ++start;
    }
}

}  // namespace

QString DecodeProfileText(const QByteArray& bytes) {
    // A file saved as "Unicode" says so with its byte-order mark.
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(
            bytes.startsWith("\xFF") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
            QStringDecoder::Flag::Stateless);
        return utf16.decode(QByteArrayView(bytes).sliced(2));
    }
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError())
        return text;
    return DecodeCp1252(bytes);
}

int ProfileLookup(const QString& text, const QString& section, const QString* key,
                  const QString& defaultText, QString& buffer, int size) {
    if (size <= 0 || buffer.isEmpty())
        return 0;
    const qsizetype room = std::min<qsizetype>(size, buffer.size());

    bool inSection = false;
    bool sectionFound = false;
    std::optional<QStringView> value;
    QString keyList;
    ForEachLine(text, [&](QStringView line) {
        if (line.isEmpty() || line.front() == u';')
            return true;
        if (line.front() == u'[') {
            qsizetype close = line.indexOf(u']');
            if (close < 0)
                close = line.size();
            inSection =
                TrimBlanks(line.mid(1, close - 1)).compare(section, Qt::CaseInsensitive) == 0;
            sectionFound = sectionFound || inSection;
            return true;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inSection || eq < 0)
            return true;
        const QStringView name = TrimBlanks(line.left(eq));
        if (key == nullptr) {
            keyList.append(name);
            keyList.append(QChar(u'\0'));
            return keyList.size() <= room;  // more could not be shown anyway
        }
        if (name.compare(*key, Qt::CaseInsensitive) != 0)
            return true;
        value = Unquote(TrimBlanks(line.mid(eq + 1)));
        return false;
    });

    if (key == nullptr && sectionFound) {
        // The whole list fits, with the NUL that ends it after the last name's own.
        if (keyList.size() + 1 <= room)
            return CopyOut(keyList, keyList.size(), buffer);
        // The list does not fit: it is cut inside the last name and ends with two NULs, as far
        // as the room given holds them.
        const int n = CopyOut(keyList, std::max<qsizetype>(room - 2, 0), buffer);
        if (n + 1 < room)
            buffer[n + 1] = QChar(u'\0');
        return n;
    }
    if (value)
        return CopyOut(*value, room - 1, buffer);
    return CopyOut(defaultText, room - 1, buffer);
}

}  // namespace platform
