#include "platform/fat/mtools.h"

#include <limits.h>
#include <sys/stat.h>
#include <QFile>
#include <QList>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/runtime_error.h"

namespace platform::mtools {

namespace {

// Every setting mtools reads from a configuration file, at its default. mtools always reads
// the system's and the user's files too, but this one comes last and wins.
constexpr char kConfiguration[] =
    "MTOOLS_LOWER_CASE=0\n"
    "MTOOLS_FAT_COMPATIBILITY=0\n"
    "MTOOLS_SKIP_CHECK=0\n"
    "MTOOLS_NO_VFAT=0\n"
    "MTOOLS_RATE_0=0\n"
    "MTOOLS_RATE_ANY=0\n"
    "MTOOLS_NAME_NUMERIC_TAIL=1\n"
    "MTOOLS_DOTTED_DIR=0\n"
    "MTOOLS_TWENTY_FOUR_HOUR_CLOCK=1\n"
    "MTOOLS_DATE_STRING=\"yyyy-mm-dd\"\n"
    "DEFAULT_CODEPAGE=850\n";

// The configuration lives in memory: the program leaves no file behind. Made for each run, so
// that one that could not be made fails that run only. -1 with errno on a failure.
int MakeConfiguration(SystemCalls& system) {
    const int fd = system.MemoryFile("qtl99-mtoolsrc");
    if (fd < 0)
        return -1;
    if (system.Write(fd, kConfiguration, sizeof kConfiguration - 1) !=
        static_cast<ssize_t>(sizeof kConfiguration - 1)) {
        const int failure = errno != 0 ? errno : EIO;
        system.Close(fd);
        errno = failure;
        return -1;
    }
    return fd;
}

bool IsExecutableFile(SystemCalls& system, const QByteArray& path) {
    struct stat st {};
    return system.Stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

// The mtools program: the one beside the running executable (the CD carries its own), else the
// system's (PATH, /usr/bin). Every command runs as `mtools -c <command>`, so the program alone
// is enough. Looked for at each run, through `system`: a few looks beside starting a child.
QByteArray MtoolsProgram(SystemCalls& system) {
    char exe[PATH_MAX];
    const ssize_t n = system.ReadLink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        QByteArray beside(exe, n);
        beside.truncate(beside.lastIndexOf('/') + 1);
        beside += "mtools";
        if (IsExecutableFile(system, beside))
            return beside;
    }
    const char* path = ::getenv("PATH");
    for (const QByteArray& folder : QByteArray(path != nullptr ? path : "").split(':')) {
        if (folder.startsWith('/') && IsExecutableFile(system, folder + "/mtools"))
            return folder + "/mtools";
    }
    return IsExecutableFile(system, "/usr/bin/mtools") ? QByteArray("/usr/bin/mtools")
                                                       : QByteArray();
}

}  // namespace

int NumberFor(const Outcome& o, int notFound) {
    if (o.end == ChildOutcome::End::kNotStarted)
        return errors::kPathFileAccess;
    // A drive that hangs is a drive that is not ready; one that killed mtools could not be read.
    if (o.end == ChildOutcome::End::kTimedOut)
        return errors::kDiskNotReady;
    if (!o.exited())
        return errors::kDeviceIO;
    // Checked in this order: "Can't open x: Permission denied" is a protected disk, not a
    // missing one.
    static const std::pair<const char*, int> kMessages[] = {
        {"disk full", errors::kDiskFull},
        {"no directory slots", errors::kDiskFull},
        {"no space left", errors::kDiskFull},
        {"read-only file system", errors::kPermissionDenied},
        {"permission denied", errors::kPermissionDenied},
        {"operation not permitted", errors::kPermissionDenied},
        {"no medium found", errors::kDiskNotReady},
        {"no such device", errors::kDiskNotReady},  // also "... or address"
        {"input/output error", errors::kDeviceIO},
        {"non dos media", errors::kDeviceIO},
        {"could not read boot sector", errors::kDeviceIO},
        {"error reading fat", errors::kDeviceIO},
        {"bad media types", errors::kDeviceIO},
        {"can't open", errors::kDiskNotReady},  // the image file is not there
        {"cannot initialize", errors::kDeviceIO},
        {"not found", notFound},
    };
    for (const auto& [text, number] : kMessages) {
        if (o.Says(text))
            return number;
    }
    return errors::kPathFileAccess;
}

RuntimeError ErrorFor(const Outcome& o, int notFound) {
    const int number = NumberFor(o, notFound);
    if (!o.cause.isEmpty())
        return RuntimeError(number, o.cause);
    // What the box cannot say (a bad line in /etc/mtools.conf, for one) goes with it.
    const QByteArray said = o.errors.trimmed();
    if (number == errors::kPathFileAccess && !said.isEmpty())
        return RuntimeError(number, QStringLiteral("mtools: ") + QString::fromUtf8(said));
    return RuntimeError(number);
}

namespace {

Outcome RunWith(const FatServices& services, const QByteArray* first, const QByteArray* last,
                std::vector<std::pair<int, int>> descriptors,
                std::function<void(const char*, size_t)> output,
                std::chrono::milliseconds deadline) {
    ChildRun run;
    run.program = MtoolsProgram(services.system);
    Outcome outcome;
    if (run.program.isEmpty()) {
        outcome.cause = QStringLiteral("no se encuentra el programa mtools");
        return outcome;
    }
    errno = 0;
    const OpenFd configuration(services.system, MakeConfiguration(services.system));
    if (configuration.get() < 0) {
        outcome.cause = QStringLiteral("no se pudo preparar la configuración de mtools: ") +
                        QString::fromLocal8Bit(std::strerror(errno));
        return outcome;
    }
    run.arguments = {"mtools", "-c"};
    run.arguments.insert(run.arguments.end(), first, last);
    // A clean environment: no MTOOLS_* variable of the user's, no home folder with a
    // .mtoolsrc or .mcwd, messages in the C locale, names in UTF-8. Only the character set is
    // asked for: loading a whole locale costs a fifth of a run.
    run.environment = {"LC_CTYPE=C.UTF-8", "HOME=/dev/null",
                       "MTOOLSRC=/dev/fd/" + QByteArray::number(kChildConfigFd)};
    if (const char* tz = ::getenv("TZ"))
        run.environment.push_back(QByteArray("TZ=") + tz);  // FAT times are local times
    run.descriptors = std::move(descriptors);
    run.descriptors.push_back({kChildConfigFd, configuration.get()});
    run.output = std::move(output);
    run.deadline = deadline;
    static_cast<ChildOutcome&>(outcome) = services.children.Run(run);
    if (outcome.end == ChildOutcome::End::kNotStarted)
        outcome.cause = QStringLiteral("no se pudo ejecutar ") + QFile::decodeName(run.program);
    return outcome;
}

}  // namespace

Outcome Run(const FatServices& services, std::initializer_list<QByteArray> arguments, int medium,
            int sourceFd, std::function<void(const char*, size_t)> output,
            std::chrono::milliseconds deadline) {
    std::vector<std::pair<int, int>> descriptors;
    if (sourceFd >= 0)
        descriptors.push_back({kChildSourceFd, sourceFd});
    if (medium >= 0)
        descriptors.push_back({kChildMediumFd, medium});
    return RunWith(services, arguments.begin(), arguments.end(), std::move(descriptors),
                   std::move(output), deadline);
}

Outcome Run(const FatServices& services, const std::vector<QByteArray>& arguments, int medium,
            const std::vector<int>& files, std::function<void(const char*, size_t)> output,
            std::chrono::milliseconds deadline) {
    std::vector<std::pair<int, int>> descriptors;
    for (size_t i = 0; i < files.size(); ++i)
        descriptors.push_back({kChildFirstFileFd + static_cast<int>(i), files[i]});
    if (medium >= 0)
        descriptors.push_back({kChildMediumFd, medium});
    return RunWith(services, arguments.data(), arguments.data() + arguments.size(),
                   std::move(descriptors), std::move(output), deadline);
}

}  // namespace platform::mtools
