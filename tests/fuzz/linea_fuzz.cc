// The command-line splitter on any text: the program part never ends in a blank and no part
// holds a quote.
#include <cstdint>
#include <cstdlib>

#include "platform/process.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString line =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const platform::CommandLine split = platform::SplitCommandLine(line);
    if (split.program.endsWith(QLatin1Char(' ')))
        std::abort();
    for (const QString& argument : split.arguments) {
        if (argument.contains(QLatin1Char('"')))
            std::abort();
    }
    return 0;
}
