#include "platform/drives/fat_medium.h"

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/runtime_error.h"

namespace platform {

namespace {

// Where the child finds the file to copy, the configuration and the disk. The disk is handed
// over open, as /dev/fd/5: mtools never reads a path of ours, where "x.img@@0" would mean
// another file at an offset.
constexpr int kChildSourceFd = 3;
constexpr char kChildSourceName[] = "3";
constexpr int kChildConfigFd = 4;
constexpr int kChildMediumFd = 5;
constexpr char kChildMedium[] = "/dev/fd/5";

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

// How long one mtools run may take: a floppy writes some 30 KB a second, and a copy is read
// back too; past this, the drive has hung.
constexpr std::chrono::milliseconds kShortestDeadline = std::chrono::seconds(30);
std::chrono::milliseconds DeadlineFor(off_t bytes) {
    return kShortestDeadline + std::chrono::milliseconds(bytes / 8);
}

bool IsExecutableFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

// The mtools program: the one beside the running executable (the CD carries its own), else the
// system's. Every command runs as `mtools -c <command>`, so the program alone is enough.
const QByteArray& MtoolsProgram() {
    static const QByteArray program = [] {
        const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
        QString found = QFileInfo(exe).absolutePath() + QStringLiteral("/mtools");
        if (exe.isEmpty() || !IsExecutableFile(found))
            found = QStandardPaths::findExecutable(QStringLiteral("mtools"));
        if (found.isEmpty() && IsExecutableFile(QStringLiteral("/usr/bin/mtools")))
            found = QStringLiteral("/usr/bin/mtools");
        return QFile::encodeName(found);
    }();
    return program;
}

// What one mtools run left.
struct Outcome : ChildOutcome {
    bool exited() const { return end == End::kExited; }
    // mtools refuses a name it cannot use, and a name already taken under "-D s", without a word.
    bool silent() const { return exited() && status != 0 && errors.trimmed().isEmpty(); }
    bool Says(const char* text) const { return errors.toLower().contains(text); }
};

// The number for a failed run. `notFound` is what "file not found" means to the caller.
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
    // What the box cannot say (a bad line in /etc/mtools.conf, for one) goes to standard error.
    if (!o.errors.trimmed().isEmpty())
        std::fprintf(stderr, "QTL99: mtools: %s\n", o.errors.trimmed().constData());
    return errors::kPathFileAccess;
}

// Runs one mtools command to its end through the host's runner, the disk open as `medium`
// (or none, -1) and the file `sourceFd` (or none) as the child's descriptor 3; `output`
// receives its standard output as it comes. Nothing goes through a shell.
Outcome Run(const DriveServices& services, std::initializer_list<QByteArray> arguments, int medium,
            int sourceFd, std::function<void(const char*, size_t)> output = {},
            std::chrono::milliseconds deadline = kShortestDeadline) {
    ChildRun run;
    run.program = MtoolsProgram();
    Outcome outcome;
    if (run.program.isEmpty()) {
        std::fprintf(stderr, "QTL99: no se encuentra el programa mtools\n");
        return outcome;
    }
    errno = 0;
    const OpenFd configuration(services.system, MakeConfiguration(services.system));
    if (configuration.get() < 0) {
        std::fprintf(stderr, "QTL99: no se pudo preparar la configuración de mtools: %s\n",
                     std::strerror(errno));
        return outcome;
    }
    run.arguments = {"mtools", "-c"};
    run.arguments.insert(run.arguments.end(), arguments);
    // A clean environment: no MTOOLS_* variable of the user's, no home folder with a
    // .mtoolsrc or .mcwd, messages in the C locale, names in UTF-8. Only the character set is
    // asked for: loading a whole locale costs a fifth of a run.
    run.environment = {"LC_CTYPE=C.UTF-8", "HOME=/dev/null",
                       "MTOOLSRC=/dev/fd/" + QByteArray::number(kChildConfigFd)};
    if (const char* tz = ::getenv("TZ"))
        run.environment.push_back(QByteArray("TZ=") + tz);  // FAT times are local times
    run.descriptors = {{kChildConfigFd, configuration.get()}};
    if (sourceFd >= 0)
        run.descriptors.push_back({kChildSourceFd, sourceFd});
    if (medium >= 0)
        run.descriptors.push_back({kChildMediumFd, medium});
    run.output = std::move(output);
    run.keepAlive = services.keepAlive;
    run.deadline = deadline;
    static_cast<ChildOutcome&>(outcome) = services.children.Run(run);
    if (outcome.end == ChildOutcome::End::kNotStarted)
        std::fprintf(stderr, "QTL99: no se pudo ejecutar %s\n", run.program.constData());
    return outcome;
}

}  // namespace

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

namespace {

// The name as FAT keeps it: trailing blanks and dots dropped, as everywhere on the platform.
// Raises 75 for a name left empty and 52 for one that a FAT long name cannot hold, or that
// mtools would read as something else (a drive, a folder) or truncate.
QString FatName(const QString& given) {
    QString name = given;
    while (!name.isEmpty() && (name.back() == u' ' || name.back() == u'.'))
        name.chop(1);
    if (name.isEmpty())
        throw RuntimeError(errors::kPathFileAccess);
    if (name.size() > 255)
        throw RuntimeError(errors::kBadFileName);
    for (const QChar c : name) {
        // mtools drops characters outside the 16-bit range without a word.
        if (c.unicode() < 0x20 || c.isSurrogate() || QStringView(u"\"*/:<>?\\|").contains(c))
            throw RuntimeError(errors::kBadFileName);
    }
    // A name is written only as it is given: mtools would store any other character as
    // something else, and the copy could not be found under its name.
    for (const char32_t c : name.toUcs4()) {
        if (!InFloppyCodePage(c))
            throw RuntimeError(errors::kBadFileName);
    }
    return name;
}

// A name mtools reads as a pattern (the source of a copy, a deletion): its wildcards escaped,
// so that "a[1].txt" names itself and not "a1.txt".
QByteArray Pattern(const QString& name) {
    QByteArray out = "::/";
    for (const char c : name.toUtf8()) {
        if (c == '[' || c == ']' || c == '*' || c == '?')
            out += '\\';
        out += c;
    }
    return out;
}

QByteArray Target(const QString& name) {
    return "::/" + name.toUtf8();
}

bool NobodyMayWrite(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

FatMedium::FatMedium(QString imageOrDevice, const DriveServices& services)
    : path_(std::move(imageOrDevice)), services_(services) {}

int FatMedium::Open(bool write) {
    SystemCalls& system = services_.system;
    const QByteArray path = QFile::encodeName(path_);
    // Looked at before it is opened: opening a FIFO would wait for a writer.
    struct stat st {};
    if (system.Stat(path.constData(), &st) != 0)
        throw RuntimeError(errno == ENOENT ? errors::kDiskNotReady : NumberForErrno(errno));
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
        throw RuntimeError(errors::kPathFileAccess);
    // A read-only image is the write-protect tab of a virtual disk: it is honoured for
    // everyone, root included, who could write it anyway.
    if (write && NobodyMayWrite(st))
        throw RuntimeError(errors::kPermissionDenied);
    // A device is opened for writing only while nothing has it mounted (O_EXCL), so that no
    // mount made meanwhile is written underneath.
    const int flags = write ? O_RDWR | (S_ISBLK(st.st_mode) ? O_EXCL : 0) : O_RDONLY;
    const int fd = system.Open(path.constData(), flags | O_NOCTTY);
    if (fd < 0) {
        const int failure = errno;
        throw RuntimeError(failure == ENOENT || failure == ENOMEDIUM || failure == ENXIO ||
                                   failure == ENODEV || failure == EBUSY
                               ? errors::kDiskNotReady
                               : NumberForErrno(failure));
    }
    return fd;
}

void FatMedium::FormatStandard() {
    SystemCalls& system = services_.system;
    const QByteArray image = QFile::encodeName(path_);
    struct stat st {};
    const bool existed = system.Stat(image.constData(), &st, false) == 0;
    if (existed) {
        if (S_ISDIR(st.st_mode) || S_ISBLK(st.st_mode))
            throw RuntimeError(errors::kPathFileAccess);
        if (NobodyMayWrite(st))
            throw RuntimeError(errors::kPermissionDenied);
    } else if (errno != ENOENT) {
        throw RuntimeError(NumberForErrno(errno));
    }

    // A hidden temporary beside the image, created with the umask's bits like any new file.
    const QFileInfo info(path_);
    const OpenFd folder(system, system.Open(QFile::encodeName(info.absolutePath()).constData(),
                                            O_RDONLY | O_DIRECTORY));
    if (folder.get() < 0)
        throw RuntimeError(NumberForErrno(errno));
    QByteArray temporary;
    OpenFd fd(system);
    for (int attempt = 0; fd.get() < 0; ++attempt) {
        temporary =
            QFile::encodeName(QStringLiteral(".") + info.fileName() +
                              QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(),
                                                            8, 16, QLatin1Char('0')));
        fd.Reset(
            system.OpenAt(folder.get(), temporary.constData(), O_RDWR | O_CREAT | O_EXCL, 0666));
        if (fd.get() < 0 && (errno != EEXIST || attempt > 100))
            throw RuntimeError(NumberForErrno(errno));
    }
    struct Remover {
        SystemCalls& system;
        int folder;
        const QByteArray& name;
        bool keep = false;
        ~Remover() {
            if (!keep)
                system.Unlink(folder, name.constData());
        }
    } remover{system, folder.get(), temporary};

    Format(fd.get());
    // Where there was nothing, never over what another program made meanwhile: that image is
    // the disk now, and this one is not needed.
    const int failure = FinishTemporary(system, folder.get(), temporary.constData(),
                                        QFile::encodeName(info.fileName()).constData(), !existed);
    if (failure == EEXIST && !existed)
        return;
    if (failure != 0)
        throw RuntimeError(NumberForErrno(failure));
    remover.keep = true;
}

void FatMedium::Format(int image) {
    // Every block allocated now, so that no later write to the image finds the host disk full.
    if (const int failure = services_.system.Allocate(image, kStandardFloppyBytes))
        throw RuntimeError(NumberForErrno(failure));
    const Outcome o =
        Run(services_, {"mformat", "-f", "1440", "-i", kChildMedium, "::"}, image, -1);
    if (!o.ok())
        throw RuntimeError(NumberFor(o, errors::kPathFileAccess));
    if (services_.system.SyncData(image) != 0)
        throw RuntimeError(NumberForErrno(errno));
}

std::vector<FatMedium::Entry> FatMedium::List() {
    const OpenFd medium(services_.system, Open(false));
    QByteArray text;
    const Outcome o =
        Run(services_, {"mdir", "-a", "-b", "-i", kChildMedium, "::/"}, medium.get(), -1,
            [&](const char* data, size_t n) { text.append(data, static_cast<qsizetype>(n)); });
    if (!o.ok())
        throw RuntimeError(NumberFor(o, errors::kDeviceIO));
    std::vector<Entry> entries;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.startsWith("::/") || line.size() <= 3)
            continue;
        Entry e;
        e.folder = line.endsWith('/');
        e.name = QString::fromUtf8(line.mid(3, line.size() - 3 - (e.folder ? 1 : 0)));
        entries.push_back(std::move(e));
    }
    return entries;
}

// An exact match, else the first entry that matches without regard to case; null when none.
const FatMedium::Entry* FatMedium::Find(const std::vector<Entry>& entries, const QString& name) {
    for (const Entry& e : entries) {
        if (e.name == name)
            return &e;
    }
    for (const Entry& e : entries) {
        if (e.name.compare(name, Qt::CaseInsensitive) == 0)
            return &e;
    }
    return nullptr;
}

QString FatMedium::FirstEntry() {
    const std::vector<Entry> entries = List();
    return entries.empty() ? QString() : entries.front().name;
}

QString FatMedium::StoredName(const QString& given) {
    QString name;
    try {
        name = FatName(given);
    } catch (const RuntimeError&) {
        return {};  // no entry can have such a name
    }
    const std::vector<Entry> entries = List();
    const Entry* found = Find(entries, name);
    return found ? found->name : QString();
}

void FatMedium::CopyIn(int sourceFd, const QString& name) {
    Copy(sourceFd, name, true);
}

void FatMedium::CopyInWithoutReadBack(int sourceFd, const QString& name) {
    Copy(sourceFd, name, false);
}

FatMedium::Written FatMedium::WriteEntry(int medium, int sourceFd, off_t size,
                                         const QString& name) {
    Outcome o = Run(services_,
                    {"mcopy", "-v", "-D", "s", "-m", "-i", kChildMedium,
                     QByteArray("/dev/fd/") + kChildSourceName, Target(name)},
                    medium, sourceFd, {}, DeadlineFor(size));
    // With -v mtools names each file it writes. It names the source's own name when the target
    // is a folder and the copy went into it.
    QByteArray copied, errors;
    for (const QByteArray& line : o.errors.split('\n')) {
        if (line.startsWith("Copying "))
            copied = line.mid(8);
        else if (!line.isEmpty())
            errors += line + '\n';
    }
    o.errors = errors;
    const bool intoFolder = copied == kChildSourceName && name != QLatin1String(kChildSourceName);
    if (o.ok() && !intoFolder)
        return Written::kYes;
    if (o.silent())
        return Written::kSkipped;
    // mtools removes a copy that ran out of room; anything it left half written goes too.
    Remove(medium, intoFolder ? Pattern(name) + "/" + copied : Pattern(name));
    throw RuntimeError(o.ok() ? errors::kPathFileAccess : NumberFor(o, errors::kPathFileAccess));
}

void FatMedium::Copy(int sourceFd, const QString& given, bool readBack) {
    const QString name = FatName(given);
    struct stat source {};
    if (services_.system.StatFd(sourceFd, &source) != 0 || !S_ISREG(source.st_mode))
        throw RuntimeError(errors::kPathFileAccess);
    const OpenFd medium(services_.system, Open(true));

    // Usually the name is new on the disk: one copy straight under it. Only a name equal to the
    // source's own in the child would leave a copy into a folder unnoticed: that one is looked
    // up first.
    std::vector<Entry> entries;
    const bool lookFirst = name == QLatin1String(kChildSourceName);
    if (lookFirst)
        entries = List();
    if (!lookFirst || Find(entries, name) == nullptr) {
        if (WriteEntry(medium.get(), sourceFd, source.st_size, name) == Written::kYes) {
            MakeDurableAndCheck(medium.get(), sourceFd, source.st_size, name, readBack);
            return;
        }
        if (!lookFirst)
            entries = List();
    }

    // mtools skipped it: an entry of that name (in any case) is there, or it refused the name.
    const Entry* existing = Find(entries, name);
    if (existing == nullptr)
        throw RuntimeError(errors::kBadFileName);
    if (existing->folder)
        throw RuntimeError(errors::kPathFileAccess);

    // The new copy under a temporary name, checked, then renamed over the old entry. No
    // generated short name has a "$", so a free one of these is free in every sense.
    QString temporary;
    for (int i = 0; temporary.isEmpty(); ++i) {
        const QString candidate = QStringLiteral("QTL99$%1.TMP").arg(i);
        if (Find(entries, candidate) == nullptr)
            temporary = candidate;
    }
    if (WriteEntry(medium.get(), sourceFd, source.st_size, temporary) != Written::kYes)
        throw RuntimeError(errors::kPathFileAccess);
    MakeDurableAndCheck(medium.get(), sourceFd, source.st_size, temporary, readBack);
    const Outcome o =
        Run(services_,
            {"mren", "-D", "o", "-i", kChildMedium, Pattern(temporary), Target(existing->name)},
            medium.get(), -1);
    if (!o.ok()) {
        Remove(medium.get(), Pattern(temporary));
        throw RuntimeError(NumberFor(o, errors::kPathFileAccess));
    }
    if (services_.system.SyncData(medium.get()) != 0)
        throw RuntimeError(NumberForErrno(errno));
}

void FatMedium::MakeDurableAndCheck(int medium, int sourceFd, off_t size, const QString& name,
                                    bool readBack) {
    SystemCalls& system = services_.system;
    int failure = 0;
    // mtools leaves its writes in the page cache. They go to the medium now, and a device's
    // cached blocks (and a floppy driver's track buffer) are dropped, so that the read-back
    // below reads the disk itself.
    struct stat st {};
    if (system.SyncData(medium) != 0 || system.StatFd(medium, &st) != 0) {
        failure = NumberForErrno(errno);
    } else if (S_ISBLK(st.st_mode)) {
        system.FlushDriveBuffer(medium);
        system.DropCache(medium);
    }
    if (failure == 0 && readBack) {
        off_t offset = 0;
        bool same = true;
        std::vector<char> original(65536);
        const Outcome o = Run(
            services_, {"mcopy", "-i", kChildMedium, Pattern(name), "-"}, medium, -1,
            [&](const char* data, size_t n) {
                if (!same)
                    return;
                if (n > original.size())
                    original.resize(n);
                same = ReadFull(system, sourceFd, original.data(), n, offset) ==
                           static_cast<ssize_t>(n) &&
                       std::memcmp(original.data(), data, n) == 0;
                offset += static_cast<off_t>(n);
            },
            DeadlineFor(size));
        // Written but not found under its name: mtools changed the name on the way.
        char extra;
        if (!o.ok())
            failure = NumberFor(o, errors::kBadFileName);
        else if (!same || ReadFull(system, sourceFd, &extra, 1, offset) != 0)
            failure = errors::kDeviceIO;
    }
    if (failure != 0) {
        Remove(medium, Pattern(name));
        throw RuntimeError(failure);
    }
}

void FatMedium::Remove(int medium, const QByteArray& pattern) {
    // Best effort: when the medium has gone, there is nothing more to do on it.
    Run(services_, {"mdel", "-i", kChildMedium, pattern}, medium, -1);
}

void FatMedium::CopyOut(const QString& given, int destinationFd) {
    QString name;
    try {
        name = FatName(given);
    } catch (const RuntimeError&) {
        throw RuntimeError(errors::kFileNotFound);
    }
    const std::vector<Entry> entries = List();
    const Entry* stored = Find(entries, name);
    if (stored == nullptr)
        throw RuntimeError(errors::kFileNotFound);
    if (stored->folder)
        throw RuntimeError(errors::kPathFileAccess);
    const OpenFd medium(services_.system, Open(false));
    const Outcome o = Run(
        services_, {"mcopy", "-i", kChildMedium, Pattern(stored->name), "-"}, medium.get(), -1,
        [&](const char* data, size_t n) {
            while (n > 0) {
                const ssize_t put = services_.system.Write(destinationFd, data, n);
                if (put < 0)
                    throw RuntimeError(NumberForErrno(errno));
                data += put;
                n -= static_cast<size_t>(put);
            }
        },
        DeadlineFor(kStandardFloppyBytes));
    if (!o.ok())
        throw RuntimeError(NumberFor(o, errors::kFileNotFound));
}

}  // namespace platform
