#include "platform/fat_medium.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <span>
#include <utility>

#include "platform/runtime_error.h"
#include "platform/system_calls.h"

namespace platform {

namespace {

// Where the child finds the file to copy and the configuration.
constexpr int kChildSourceFd = 3;
constexpr char kChildSourceName[] = "3";
constexpr int kChildConfigFd = 4;

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

// The configuration lives in memory: the program leaves no file behind.
int ConfigurationFd() {
    static const int fd = [] {
        const int f = ::memfd_create("qtl99-mtoolsrc", MFD_CLOEXEC);
        if (f >= 0 && ::write(f, kConfiguration, sizeof kConfiguration - 1) !=
                          static_cast<ssize_t>(sizeof kConfiguration - 1)) {
            ::close(f);
            return -1;
        }
        return f;
    }();
    return fd;
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

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

// What one mtools run left: how it ended and what it said on standard error.
struct Outcome {
    bool exited = false;  // false when a signal ended it
    int status = 0;
    QByteArray errors;

    bool ok() const { return exited && status == 0; }
    // mtools refuses a name it cannot use, and a name already taken under "-D s", without a word.
    bool silent() const { return exited && status != 0 && errors.trimmed().isEmpty(); }
    bool Says(const char* text) const { return errors.toLower().contains(text); }
};

// The number for a failed run. `notFound` is what "file not found" means to the caller.
int NumberFor(const Outcome& o, int notFound) {
    if (!o.exited)
        return errors::kDeviceIO;  // mtools died on what it read
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

// Runs one mtools command to its end. The file `sourceFd` (or none, -1) is the child's
// descriptor 3; `output` receives its standard output as it comes. Nothing goes through a shell.
Outcome Run(std::initializer_list<QByteArray> arguments, int sourceFd,
            const std::function<void(const char*, size_t)>& output,
            const std::function<void()>& keepAlive) {
    const QByteArray& program = MtoolsProgram();
    const int configuration = ConfigurationFd();
    if (program.isEmpty() || configuration < 0)
        throw RuntimeError(errors::kPathFileAccess);

    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        throw RuntimeError(errors::kPathFileAccess);
    Fd outRead(outPipe[0]), outWrite(outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0)
        throw RuntimeError(errors::kPathFileAccess);
    Fd errRead(errPipe[0]), errWrite(errPipe[1]);
    // Copies above the child's fixed numbers, so that no dup2 of the child overwrites another.
    auto high = [](int fd) { return fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 10); };
    Fd childOut(high(outWrite.get())), childErr(high(errWrite.get()));
    Fd childSource(high(sourceFd)), childConfig(high(configuration));
    if (childOut.get() < 0 || childErr.get() < 0 || childConfig.get() < 0 ||
        (sourceFd >= 0 && childSource.get() < 0)) {
        throw RuntimeError(errors::kPathFileAccess);
    }

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, childOut.get(), 1);
    ::posix_spawn_file_actions_adddup2(&actions, childErr.get(), 2);
    if (sourceFd >= 0)
        ::posix_spawn_file_actions_adddup2(&actions, childSource.get(), kChildSourceFd);
    ::posix_spawn_file_actions_adddup2(&actions, childConfig.get(), kChildConfigFd);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, kChildConfigFd + 1);

    std::vector<QByteArray> argv = {"mtools", "-c"};
    argv.insert(argv.end(), arguments);
    std::vector<char*> args;
    for (QByteArray& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    // A clean environment: no MTOOLS_* variable of the user's, no home folder with a
    // .mtoolsrc or .mcwd, messages in the C locale, names in UTF-8. Only the character set is
    // asked for: loading a whole locale costs a fifth of a run.
    std::vector<QByteArray> env = {"LC_CTYPE=C.UTF-8", "HOME=/dev/null",
                                   "MTOOLSRC=/dev/fd/" + QByteArray::number(kChildConfigFd)};
    if (const char* tz = ::getenv("TZ"))
        env.push_back(QByteArray("TZ=") + tz);  // FAT times are local times
    std::vector<char*> envp;
    for (QByteArray& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, program.constData(), &actions, nullptr, args.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw RuntimeError(errors::kPathFileAccess);
    outWrite.Reset();
    errWrite.Reset();
    childOut.Reset();
    childErr.Reset();
    childSource.Reset();
    childConfig.Reset();

    // Reaps the child on every way out, an exception from `output` or `keepAlive` included:
    // closing our ends first makes a child that still writes end at once.
    Outcome outcome;
    struct Reaper {
        pid_t pid;
        Fd& out;
        Fd& err;
        Outcome& outcome;
        ~Reaper() {
            out.Reset();
            err.Reset();
            int status = 0;
            int r;
            while ((r = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
            }
            outcome.exited = r == pid && WIFEXITED(status);
            outcome.status = outcome.exited ? WEXITSTATUS(status) : -1;
        }
    };
    {
        Reaper reaper{pid, outRead, errRead, outcome};
        using Clock = std::chrono::steady_clock;
        auto lastCall = Clock::now();
        char buffer[65536];
        // The child's end is watched too, not only its output: keepAlive goes on until it exits.
        const Fd exited(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
        pollfd fds[3] = {
            {outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}, {exited.get(), POLLIN, 0}};
        while (fds[0].fd >= 0 || fds[1].fd >= 0 || fds[2].fd >= 0) {
            const int ready = ::poll(fds, 3, 100);
            if (ready < 0 && errno != EINTR)
                break;
            if (ready > 0 && fds[2].fd >= 0 && fds[2].revents != 0)
                fds[2].fd = -1;
            for (pollfd& p : std::span(fds, 2)) {
                if (ready <= 0 || p.fd < 0 || p.revents == 0)
                    continue;
                const ssize_t n = ::read(p.fd, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    p.fd = -1;
                } else if (&p == &fds[0]) {
                    if (output)
                        output(buffer, static_cast<size_t>(n));
                } else if (outcome.errors.size() < 65536) {
                    outcome.errors.append(buffer, n);
                }
            }
            if (keepAlive && Clock::now() - lastCall >= std::chrono::milliseconds(100)) {
                keepAlive();
                lastCall = Clock::now();
            }
        }
    }
    // The paths and names we gave it are taken out of what it said: a folder called "Disk full"
    // must not read as a full disk.
    for (const QByteArray& a : arguments) {
        if (a.size() > 3 && a.contains('/'))
            outcome.errors.replace(a, "");
    }
    return outcome;
}

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

// The medium, known to be there: 71 when it is not, 75 when the path is something mtools
// would hang on or misread (a folder, a FIFO, a socket).
struct stat CheckPresent(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        throw RuntimeError(errno == ENOENT ? errors::kDiskNotReady : NumberForErrno(errno));
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
        throw RuntimeError(errors::kPathFileAccess);
    return st;
}

bool NobodyMayWrite(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// A read-only image is the write-protect tab of a virtual disk: it is honoured for everyone,
// root included, who could write it anyway.
void CheckWritable(const QByteArray& path) {
    if (NobodyMayWrite(CheckPresent(path)))
        throw RuntimeError(errors::kPermissionDenied);
}

}  // namespace

FatMedium::FatMedium(QString imageOrDevice, std::function<void()> keepAlive)
    : path_(std::move(imageOrDevice)), keepAlive_(std::move(keepAlive)) {}

bool FatMedium::Present() const {
    struct stat st {};
    return ::stat(QFile::encodeName(path_).constData(), &st) == 0 &&
           (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

void FatMedium::FormatStandard() {
    const QByteArray image = QFile::encodeName(path_);
    struct stat st {};
    const bool existed = ::lstat(image.constData(), &st) == 0;
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
    QByteArray temporary;
    Fd fd;
    for (int attempt = 0; fd.get() < 0; ++attempt) {
        temporary =
            QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                              QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(),
                                                            8, 16, QLatin1Char('0')));
        fd.Reset(::open(temporary.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.get() < 0 && (errno != EEXIST || attempt > 100))
            throw RuntimeError(NumberForErrno(errno));
    }
    struct Remover {
        const QByteArray& path;
        bool keep = false;
        ~Remover() {
            if (!keep)
                ::unlink(path.constData());
        }
    } remover{temporary};

    // Every block allocated now, so that no later write to the image finds the host disk full.
    int failure = ::posix_fallocate(fd.get(), 0, kStandardFloppyBytes);
    if (failure == EOPNOTSUPP || failure == EINVAL)
        failure = ::ftruncate(fd.get(), kStandardFloppyBytes) == 0 ? 0 : errno;
    if (failure != 0)
        throw RuntimeError(NumberForErrno(failure));
    const Outcome o = Run({"mformat", "-f", "1440", "-i", temporary, "::"}, -1, {}, keepAlive_);
    if (!o.ok())
        throw RuntimeError(NumberFor(o, errors::kPathFileAccess));
    if (::fdatasync(fd.get()) != 0)
        throw RuntimeError(NumberForErrno(errno));
    // Where there was nothing, never over what another program made meanwhile: that image is
    // the disk now, and this one is not needed.
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, image.constData(),
                    existed ? 0 : RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST)
            return;
        throw RuntimeError(NumberForErrno(errno));
    }
    remover.keep = true;
    const Fd folder(::open(QFile::encodeName(info.absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        ::fsync(folder.get());  // the new name is durable where the file system can sync it
}

std::vector<FatMedium::Entry> FatMedium::List() {
    CheckPresent(QFile::encodeName(path_));
    QByteArray text;
    const Outcome o = Run(
        {"mdir", "-a", "-b", "-i", QFile::encodeName(path_), "::/"}, -1,
        [&](const char* data, size_t n) { text.append(data, static_cast<qsizetype>(n)); },
        keepAlive_);
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

FatMedium::Written FatMedium::WriteEntry(int sourceFd, const QString& name) {
    Outcome o = Run({"mcopy", "-v", "-D", "s", "-m", "-i", QFile::encodeName(path_),
                     QByteArray("/dev/fd/") + kChildSourceName, Target(name)},
                    sourceFd, {}, keepAlive_);
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
    Remove(intoFolder ? Pattern(name) + "/" + copied : Pattern(name));
    throw RuntimeError(o.ok() ? errors::kPathFileAccess : NumberFor(o, errors::kPathFileAccess));
}

void FatMedium::Copy(int sourceFd, const QString& given, bool readBack) {
    const QString name = FatName(given);
    struct stat source {};
    if (::fstat(sourceFd, &source) != 0 || !S_ISREG(source.st_mode))
        throw RuntimeError(errors::kPathFileAccess);
    CheckWritable(QFile::encodeName(path_));

    // Usually the name is new on the disk: one copy straight under it. Only a name equal to the
    // source's own in the child would leave a copy into a folder unnoticed: that one is looked
    // up first.
    std::vector<Entry> entries;
    const bool lookFirst = name == QLatin1String(kChildSourceName);
    if (lookFirst)
        entries = List();
    if (!lookFirst || Find(entries, name) == nullptr) {
        if (WriteEntry(sourceFd, name) == Written::kYes) {
            MakeDurableAndCheck(sourceFd, name, readBack);
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
    if (WriteEntry(sourceFd, temporary) != Written::kYes)
        throw RuntimeError(errors::kPathFileAccess);
    MakeDurableAndCheck(sourceFd, temporary, readBack);
    const Outcome o = Run({"mren", "-D", "o", "-i", QFile::encodeName(path_), Pattern(temporary),
                           Target(existing->name)},
                          -1, {}, keepAlive_);
    if (!o.ok()) {
        Remove(Pattern(temporary));
        throw RuntimeError(NumberFor(o, errors::kPathFileAccess));
    }
    const Fd medium(::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC));
    if (medium.get() < 0 || ::fdatasync(medium.get()) != 0)
        throw RuntimeError(NumberForErrno(errno));
}

void FatMedium::MakeDurableAndCheck(int sourceFd, const QString& name, bool readBack) {
    int failure = 0;
    {
        // mtools leaves its writes in the page cache. They go to the medium now, and a device's
        // cached blocks are dropped, so that the read-back below reads the disk itself.
        const Fd medium(::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        if (medium.get() < 0 || ::fdatasync(medium.get()) != 0 || ::fstat(medium.get(), &st) != 0)
            failure = NumberForErrno(errno);
        else if (S_ISBLK(st.st_mode))
            ::posix_fadvise(medium.get(), 0, 0, POSIX_FADV_DONTNEED);
    }
    if (failure == 0 && readBack) {
        off_t offset = 0;
        bool same = true;
        std::vector<char> original(65536);
        const Outcome o = Run(
            {"mcopy", "-i", QFile::encodeName(path_), Pattern(name), "-"}, -1,
            [&](const char* data, size_t n) {
                if (!same)
                    return;
                if (n > original.size())
                    original.resize(n);
                same = ReadFull(DefaultSystemCalls(), sourceFd, original.data(), n, offset) ==
                           static_cast<ssize_t>(n) &&
                       std::memcmp(original.data(), data, n) == 0;
                offset += static_cast<off_t>(n);
            },
            keepAlive_);
        // Written but not found under its name: mtools changed the name on the way.
        char extra;
        if (!o.ok())
            failure = NumberFor(o, errors::kBadFileName);
        else if (!same || ReadFull(DefaultSystemCalls(), sourceFd, &extra, 1, offset) != 0)
            failure = errors::kDeviceIO;
    }
    if (failure != 0) {
        Remove(Pattern(name));
        throw RuntimeError(failure);
    }
}

void FatMedium::Remove(const QByteArray& pattern) {
    // Best effort: when the medium has gone, there is nothing more to do on it.
    Run({"mdel", "-i", QFile::encodeName(path_), pattern}, -1, {}, keepAlive_);
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
    const Outcome o = Run(
        {"mcopy", "-i", QFile::encodeName(path_), Pattern(stored->name), "-"}, -1,
        [&](const char* data, size_t n) {
            while (n > 0) {
                const ssize_t put = ::write(destinationFd, data, n);
                if (put < 0 && errno == EINTR)
                    continue;
                if (put < 0)
                    throw RuntimeError(NumberForErrno(errno));
                data += put;
                n -= static_cast<size_t>(put);
            }
        },
        keepAlive_);
    if (!o.ok())
        throw RuntimeError(NumberFor(o, errors::kFileNotFound));
}

}  // namespace platform
