#include "programa/terminal.h"

namespace programa {

bool Escribir(FILE* salida, const QString& texto, const char* control) {
    QString visible;
    visible.reserve(texto.size());
    for (const QChar c : texto) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\n') || (u >= 0x7F && u < 0xA0))
            visible += QStringLiteral("\\x%1").arg(static_cast<int>(u), 2, 16, QLatin1Char('0'));
        else
            visible += c;
    }
    const bool escrito = std::fputs(control, salida) >= 0 &&
                         std::fputs(visible.toLocal8Bit().constData(), salida) >= 0;
    return std::fflush(salida) == 0 && escrito;
}

void Decir(const QString& texto) {
    Escribir(stderr, QStringLiteral("QTL99: ") + texto + QLatin1Char('\n'));
}

}  // namespace programa
