#include <fcntl.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/fat/fat_medium.h"
#include "platform/fat/mtools.h"
#include "platform/runtime_error.h"
#include "platform/temporary_names.h"

// Copying a disk's files in two mtools runs, not two a file.
namespace platform {

namespace {

using mtools::DeadlineFor;
using mtools::kChildFirstFileFd;
using mtools::kChildMedium;
using mtools::Run;

constexpr char kWorkStem[] = "qtl99.";

// Where the work folders go: in memory where the system keeps a folder there, since their
// files live a moment.
QByteArray WorkBase(SystemCalls& system) {
    struct stat st {};
    const char* runtime = ::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && system.Stat(runtime, &st) == 0 &&
        S_ISDIR(st.st_mode)) {
        return runtime;
    }
    if (system.Stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode))
        return "/dev/shm";
    return QFile::encodeName(QDir::tempPath());
}

// Removes the work folder `name` of the open folder `base`, with all it holds.
void RemoveWorkFolder(SystemCalls& system, const QByteArray& base, int baseFd,
                      const QByteArray& name) {
    for (const char* sub : {"in", "out"}) {
        if (DIR* folder = system.OpenFolder((base + '/' + name + '/' + sub).constData())) {
            while (const dirent* entry = system.ReadFolder(folder)) {
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                    system.Unlink(::dirfd(folder), entry->d_name);
            }
            system.CloseFolder(folder);
        }
        system.RemoveFolder(baseFd, (name + '/' + sub).constData());
    }
    system.RemoveFolder(baseFd, name.constData());
}

// A private folder of the program's, for one copy of many files: "in" holds a link under each
// file's name on the disk to the descriptor the child gets it as, since mtools names a copy
// after its source; "out" receives the copies read back. Goes with all it holds.
class WorkFolder {
  public:
    explicit WorkFolder(SystemCalls& system) : system_(system), base_(WorkBase(system)) {
        name_ = TemporaryName(kWorkStem, "");
        path_ = base_ + '/' + name_;
        baseFd_.Reset(system_.Open(base_.constData(), O_RDONLY | O_DIRECTORY));
        if (baseFd_.get() < 0)
            return;
        RemoveLeftovers(system_, base_, baseFd_.get(), false);
        if (system_.MakeFolder(path_.constData(), 0700) != 0)
            return;
        made_ = true;
        for (const char* sub : {"in", "out"}) {
            if (system_.MakeFolder((path_ + '/' + sub).constData(), 0700) != 0)
                return;
        }
        in_.Reset(system_.Open((path_ + "/in").constData(), O_RDONLY | O_DIRECTORY));
        out_.Reset(system_.Open((path_ + "/out").constData(), O_RDONLY | O_DIRECTORY));
    }
    ~WorkFolder() {
        in_.Reset();
        out_.Reset();
        if (made_)
            RemoveWorkFolder(system_, base_, baseFd_.get(), name_);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    bool ok() const { return in_.get() >= 0 && out_.get() >= 0; }
    const QByteArray& path() const { return path_; }
    int in() const { return in_.get(); }
    int out() const { return out_.get(); }

    // The work folders of gone processes of this user (and this one's, with `own`) that a
    // removal which failed left in `base`.
    static void RemoveLeftovers(SystemCalls& system, const QByteArray& base, int baseFd, bool own) {
        std::vector<QByteArray> gone;
        if (DIR* folder = system.OpenFolder(base.constData())) {
            while (const dirent* entry = system.ReadFolder(folder)) {
                const TemporaryNameParts parts = ReadTemporaryName(entry->d_name, "");
                struct stat st {};
                if (parts.owner > 0 && parts.stem == kWorkStem &&
                    (parts.owner == ::getpid() ? own : !system.ProcessExists(parts.owner)) &&
                    system.StatAt(baseFd, entry->d_name, &st) == 0 && S_ISDIR(st.st_mode) &&
                    st.st_uid == ::geteuid()) {
                    gone.emplace_back(entry->d_name);
                }
            }
            system.CloseFolder(folder);
        }
        for (const QByteArray& name : gone)
            RemoveWorkFolder(system, base, baseFd, name);
    }

  private:
    SystemCalls& system_;
    QByteArray base_, name_, path_;
    OpenFd baseFd_{system_}, in_{system_}, out_{system_};
    bool made_ = false;
};

// Whether the open file `copy` holds exactly the bytes of the open file `source`.
bool SameBytes(SystemCalls& system, int source, int copy) {
    std::vector<char> a(65536), b(65536);
    for (off_t offset = 0;;) {
        const ssize_t n = ReadFull(system, source, a.data(), a.size(), offset);
        const ssize_t m = ReadFull(system, copy, b.data(), b.size(), offset);
        if (n < 0 || n != m || std::memcmp(a.data(), b.data(), static_cast<size_t>(n)) != 0)
            return false;
        if (n == 0)
            return true;
        offset += n;
    }
}

}  // namespace

void FatMedium::RemoveOwnWorkFolders(SystemCalls& system) {
    const QByteArray base = WorkBase(system);
    const OpenFd baseFd(system, system.Open(base.constData(), O_RDONLY | O_DIRECTORY));
    if (baseFd.get() >= 0)
        WorkFolder::RemoveLeftovers(system, base, baseFd.get(), true);
}

void FatMedium::CopyInTogether(const std::vector<Incoming>& files,
                               const std::function<void(size_t)>& copied) {
    // One file is two runs either way.
    if (files.size() > 1 && CopiedTogether(files)) {
        for (size_t i = 0; i < files.size(); ++i)
            copied(i);
        return;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        CopyIn(files[i].fd, files[i].name);
        copied(i);
    }
}

bool FatMedium::CopiedTogether(const std::vector<Incoming>& files) {
    SystemCalls& system = services_.system;
    const WorkFolder work(system);
    if (!work.ok())
        return false;
    std::vector<QByteArray> copy = {"mcopy", "-D", "s", "-m", "-i", kChildMedium};
    std::vector<QByteArray> back = {"mcopy", "-i", kChildMedium};
    std::vector<QByteArray> names;
    std::vector<int> descriptors;
    off_t bytes = 0;
    for (const Incoming& file : files) {
        const QByteArray name = QFile::encodeName(file.name);
        const QByteArray child =
            "/dev/fd/" + QByteArray::number(kChildFirstFileFd + static_cast<int>(names.size()));
        struct stat st {};
        if (system.StatFd(file.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            system.SymLink(child.constData(), work.in(), name.constData()) != 0) {
            return false;
        }
        bytes += st.st_size;
        copy.push_back(work.path() + "/in/" + name);
        back.push_back(MtoolsPattern(file.name));
        names.push_back(name);
        descriptors.push_back(file.fd);
    }
    copy.push_back("::/");
    back.push_back(work.path() + "/out/");

    const OpenFd medium(system, Open(true));
    struct stat st {};
    bool same = Run(services_, copy, medium.get(), descriptors, {}, DeadlineFor(bytes)).ok() &&
                system.StatFd(medium.get(), &st) == 0 &&
                (!S_ISBLK(st.st_mode) || MakeDurable(medium.get()) == 0) &&
                Run(services_, back, medium.get(), {}, {}, DeadlineFor(bytes)).ok();
    for (size_t i = 0; same && i < files.size(); ++i) {
        const OpenFd read(system,
                          system.OpenAt(work.out(), names[i].constData(), O_RDONLY | O_NOFOLLOW));
        same = read.get() >= 0 && SameBytes(system, files[i].fd, read.get());
    }
    if (!same) {
        // Best effort, as after any failed copy: the one-by-one copies start from a disk
        // without them.
        std::vector<QByteArray> remove = {"mdel", "-i", kChildMedium};
        for (const Incoming& file : files)
            remove.push_back(MtoolsPattern(file.name));
        Run(services_, remove, medium.get(), {}, {}, mtools::kShortestDeadline);
    }
    return same;
}

}  // namespace platform
