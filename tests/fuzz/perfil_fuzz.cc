// The settings lookup on any bytes: never crashes, never returns more than the buffer allows.
#include <cstdint>
#include <cstdlib>

#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = platform::DecodeProfileText(bytes);
    // The first line names the section and key to look for; the whole input is the file.
    const QString first = text.section(QLatin1Char('\n'), 0, 0);
    const QString section = first.section(QLatin1Char('/'), 0, 0);
    const QString key = first.section(QLatin1Char('/'), 1, 1);
    for (const QString* k : {&key, static_cast<const QString*>(nullptr)}) {
        QString buffer(255, QLatin1Char(' '));
        const int n = platform::ProfileLookup(text, section, k, QStringLiteral("0"), buffer, 255);
        if (n < 0 || n > 254 || buffer.size() != 255)
            std::abort();
    }
    QString buffer(255, QLatin1Char(' '));
    const QString clave = QStringLiteral("CANTIDAD");
    if (platform::ProfileLookup(text, QStringLiteral("GENERAL"), &clave, QStringLiteral("0"),
                                buffer, 255) > 254)
        std::abort();
    return 0;
}
