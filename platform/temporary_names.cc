#include "platform/temporary_names.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <string>

namespace platform {

namespace {
constexpr char kMark[] = "QTL99-";
constexpr qsizetype kMarkSize = std::char_traits<char>::length(kMark);
}  // namespace

QByteArray TemporaryName(const QByteArray& stem, const QByteArray& suffix) {
    // Copies may run on the window's thread and on the worker at once.
    static std::atomic<unsigned> serial = 0;
    return "." + stem + kMark + QByteArray::number(::getpid()) + "-" +
           QByteArray::number(++serial) + suffix;
}

TemporaryNameParts ReadTemporaryName(const QByteArray& name, const QByteArray& suffix) {
    const qsizetype mark = name.lastIndexOf(kMark);
    if (!name.startsWith('.') || !name.endsWith(suffix) || mark < 1)
        return {};
    const qsizetype start = mark + kMarkSize;
    const qsizetype end = name.size() - suffix.size();
    if (end <= start)
        return {};
    const QByteArray numbers = name.mid(start, end - start);
    const qsizetype dash = numbers.indexOf('-');
    const auto digits = [](const QByteArray& text) {
        return !text.isEmpty() &&
               std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (dash < 0 || !digits(numbers.left(dash)) || !digits(numbers.mid(dash + 1)))
        return {};
    bool ok = false;
    const long owner = numbers.left(dash).toLong(&ok);
    if (!ok || owner <= 0 || owner > INT_MAX)
        return {};
    return {name.mid(1, mark - 1), static_cast<pid_t>(owner)};
}

bool RemoveLeftover(SystemCalls& system, int folder, const char* name, pid_t owner) {
    if (owner <= 0 || owner == ::getpid() || system.ProcessExists(owner))
        return false;
    struct stat st {};
    if (system.StatAt(folder, name, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    return system.Unlink(folder, name) == 0;
}

}  // namespace platform
