#include "platform/fat/fat_names.h"

#include <iconv.h>
#include <QRegularExpression>

#include "platform/paths.h"
#include "platform/runtime_error.h"

namespace platform {

bool InFloppyCodePage(char32_t c) {
    if (c >= 0x20 && c < 0x7F)
        return true;
    // A converter of its own for each call: the copies may run on another thread.
    const iconv_t converter = ::iconv_open("CP850", "UTF-32LE");
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv's own value for a failure
    if (converter == reinterpret_cast<iconv_t>(-1))
        return c >= 0xA0 && c <= 0xFF;  // without the conversion tables: Latin-1, all in 850
    char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                  static_cast<char>((c >> 16) & 0xFF), static_cast<char>(c >> 24)};
    char out[8];
    char* from = in;
    char* to = out;
    size_t left = sizeof in;
    size_t room = sizeof out;
    const bool held = ::iconv(converter, &from, &left, &to, &room) != static_cast<size_t>(-1);
    ::iconv_close(converter);
    return held;
}

FatNameCheck CheckFatName(const QString& given) {
    FatNameCheck check;
    check.name = WithoutTrailingBlanksAndDots(given);
    const auto fault = [&check](FatNameFault f, QString what = {}) {
        check.fault = f;
        check.what = std::move(what);
        return check;
    };
    if (check.name.isEmpty())
        return fault(FatNameFault::kEmpty);
    if (check.name.size() > 255)
        return fault(FatNameFault::kTooLong);
    for (const char32_t c : check.name.toUcs4()) {
        const QString character = QString::fromUcs4(&c, 1);
        if (c < 0x20 || c == 0x7F)
            return fault(FatNameFault::kControl, character);
        if (QStringView(u"\"*/:<>?\\|").contains(character))
            return fault(FatNameFault::kReserved, character);
        // A lone surrogate is no character at all; mtools drops what lies past 16 bits.
        if ((c >= 0xD800 && c <= 0xDFFF) || !InFloppyCodePage(c))
            return fault(FatNameFault::kNotInCodePage, character);
    }
    static const QRegularExpression kDevice(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString base = check.name.section(u'.', 0, 0).trimmed();
    if (kDevice.match(base).hasMatch())
        return fault(FatNameFault::kDeviceName, base.toUpper());
    return check;
}

QString FatName(const QString& given) {
    FatNameCheck check = CheckFatName(given);
    switch (check.fault) {
        case FatNameFault::kNone:
            return std::move(check.name);
        case FatNameFault::kEmpty:
            throw RuntimeError(errors::kPathFileAccess);
        default:
            throw RuntimeError(errors::kNameFatCannotHold);
    }
}

int MostRootEntries(const QString& name) {
    return static_cast<int>((name.size() + 12) / 13) + 1;
}

QByteArray MtoolsPattern(const QString& name) {
    QByteArray out = "::/";
    for (const char c : name.toUtf8()) {
        if (c == '[' || c == ']' || c == '*' || c == '?')
            out += '\\';
        out += c;
    }
    return out;
}

QByteArray MtoolsTarget(const QString& name) {
    return "::/" + name.toUtf8();
}

}  // namespace platform
