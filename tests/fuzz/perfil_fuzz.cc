// The settings lookup on any bytes and any buffer: never crashes, never writes outside the
// characters it is given, always ends what it writes with a NUL.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/profile.h"

namespace {

// One lookup with `size` and a buffer of `length` characters: whatever the two are, only the
// first min(size, length) characters may change, and the count returned fits in them.
void Check(const QString& text, const QString& section, const QString* key, int size,
           qsizetype length) {
    const QString before(length, QLatin1Char('#'));
    QString buffer = before;
    const int n = platform::ProfileLookup(text, section, key, QStringLiteral("0"), buffer, size);
    const qsizetype room = std::min<qsizetype>(std::max(size, 0), length);
    if (buffer.size() != length || n < 0 || n > std::max<qsizetype>(room - 1, 0))
        std::abort();
    if (room > 0 && buffer[n] != QChar(u'\0'))
        std::abort();
    if (buffer.mid(room) != before.mid(room))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = platform::DecodeProfileText(bytes);
    // The first line names the section and key to look for; the whole input is the file; its
    // last two bytes choose the size passed and the length of the buffer behind it.
    const QString first = text.section(QLatin1Char('\n'), 0, 0);
    const QString section = first.section(QLatin1Char('/'), 0, 0);
    const QString key = first.section(QLatin1Char('/'), 1, 1);
    const int chosenSize = size > 0 ? data[size - 1] : 255;
    const qsizetype chosenLength = size > 1 ? data[size - 2] : 255;
    for (const QString* k : {&key, static_cast<const QString*>(nullptr)}) {
        Check(text, section, k, 255, 255);
        Check(text, section, k, chosenSize, chosenSize + 8);
        Check(text, section, k, chosenSize, chosenLength);
        for (int small = 0; small <= 3; ++small)
            Check(text, section, k, small, 8);
    }
    const QString clave = QStringLiteral("CANTIDAD");
    Check(text, QStringLiteral("GENERAL"), &clave, 255, 255);
    return 0;
}
