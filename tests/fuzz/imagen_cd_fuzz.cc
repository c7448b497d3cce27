// The CD image reader on any bytes: the input is an ISO 9660 image, or, when its first byte is
// '#', the text of a cue sheet that sits beside a small fixed .bin. Whatever opens, every file of
// every folder is read: nothing may crash, and what the reader hands back must hold together.
#include <sys/mman.h>
#include <unistd.h>

#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/cdimage/cd_image.h"

namespace {

constexpr size_t kSector = 2048;
using platform::CdImage;

// The image is written to a file in memory, so nothing is left on disk between runs.
int isoFd = -1;
QString isoPath;
int outFd = -1;  // where ReadInto writes
// A cue sheet names a .bin beside it: a real folder, made once and removed at exit.
std::unique_ptr<QTemporaryDir> folder;
QString cuePath;

void Both16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v), s[at + 1] = static_cast<char>(v >> 8);
    s[at + 2] = static_cast<char>(v >> 8), s[at + 3] = static_cast<char>(v);
}

void Both32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        s[at + i] = static_cast<char>(v >> (8 * i));
        s[at + 7 - i] = static_cast<char>(v >> (8 * i));
    }
}

std::string Record(uint32_t sector, uint32_t size, bool isFolder, const std::string& name) {
    std::string r(33 + name.size() + (name.size() % 2 == 0), '\0');
    r[0] = static_cast<char>(r.size());
    Both32(r, 2, sector);
    Both32(r, 10, size);
    r[18] = 100, r[19] = 1, r[20] = 1;  // recorded on 2000-01-01
    r[25] = isFolder ? 2 : 0;
    Both16(r, 28, 1);
    r[32] = static_cast<char>(name.size());
    r.replace(33, name.size(), name);
    return r;
}

// The smallest ISO 9660 image worth reading: its two descriptors, a root folder, one file.
std::string TinyIso() {
    constexpr uint32_t kRoot = 18, kFile = 19, kSectors = 20;
    const std::string text = "hola\r\n";
    std::string iso(kSectors * kSector, '\0');
    std::string pvd(kSector, '\0');
    pvd.replace(0, 7, "\1CD001\1");
    pvd.replace(40, 32, "FIJO" + std::string(28, ' '));
    Both32(pvd, 80, kSectors);
    Both16(pvd, 120, 1);
    Both16(pvd, 124, 1);
    Both16(pvd, 128, kSector);
    pvd.replace(156, 34, Record(kRoot, kSector, true, std::string(1, '\0')));
    pvd[881] = 1;
    iso.replace(16 * kSector, kSector, pvd);
    iso.replace(17 * kSector, 7, "\377CD001\1");  // the set's end
    const std::string root = Record(kRoot, kSector, true, std::string(1, '\0')) +
                             Record(kRoot, kSector, true, std::string(1, '\1')) +
                             Record(kFile, text.size(), false, "LEEME.TXT;1");
    iso.replace(kRoot * kSector, root.size(), root);
    iso.replace(kFile * kSector, text.size(), text);
    return iso;
}

// Its sectors as a drive reads them raw, mode 1: sync, header, data. The EDC and ECC are left
// zero: an image's reader does not check them.
std::string RawSectors(const std::string& iso) {
    std::string bin;
    for (size_t lsn = 0; lsn * kSector < iso.size(); ++lsn) {
        std::string raw(2352, '\0');
        raw.replace(1, 10, std::string(10, '\xff'));
        const size_t f = lsn + 150;  // the two seconds before the first sector
        const size_t msf[3] = {f / (75 * 60), f / 75 % 60, f % 75};
        for (int i = 0; i < 3; ++i)
            raw[12 + i] = static_cast<char>((msf[i] / 10) << 4 | (msf[i] % 10));
        raw[15] = 1;
        raw.replace(16, kSector, iso, lsn * kSector, kSector);
        bin += raw;
    }
    return bin;
}

bool WriteFile(const QString& path, const char* data, size_t size) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           f.write(data, static_cast<qint64>(size)) == static_cast<qint64>(size);
}

// Whether the file `fd` holds `bytes` and nothing more.
bool Holds(int fd, const std::string& bytes) {
    std::string held(bytes.size() + 1, '\0');
    return pread(fd, held.data(), held.size(), 0) == static_cast<ssize_t>(bytes.size()) &&
           held.compare(0, bytes.size(), bytes) == 0;
}

// Reads every file below `folder`, checking what the reader promises of its folders and reads.
void ReadAll(const platform::CdImage& image, const platform::CdEntry& folder, int depth,
             size_t* count, std::string* bytes) {
    if (depth > CdImage::kDeepestFolder)
        std::abort();
    QHash<QString, int> times;
    for (const platform::CdEntry& entry : folder.entries)
        ++times[entry.name];
    for (const platform::CdEntry& entry : folder.entries) {
        if (++*count > CdImage::kMostEntries || entry.name.isEmpty() || entry.name == u"." ||
            entry.name == u".." || entry.twice != (times.value(entry.name) > 1))
            std::abort();
        if (entry.folder) {
            ReadAll(image, entry, depth + 1, count, bytes);
            continue;
        }
        QString cause;
        const bool read = image.Read(entry, bytes, &cause);
        if (read ? bytes->size() != entry.size : !bytes->empty() || cause.isEmpty())
            std::abort();
        // The same file written to a file: all of it, the very bytes, wherever Read had them.
        if (ftruncate(outFd, 0) != 0 || lseek(outFd, 0, SEEK_SET) != 0)
            std::abort();
        QString into;
        const int written = image.ReadInto(entry, outFd, &into);
        if (written == -1 ? into.isEmpty() : written != 0)
            std::abort();
        if (read && (written != 0 || !Holds(outFd, *bytes)))
            std::abort();
        // And read through, kept nowhere: it fails exactly where the others do.
        QString through;
        if ((image.ReadInto(entry, -1, &through) == -1) != (written == -1))
            std::abort();
    }
}

}  // namespace

// libcdio loses a little memory on some cue sheets it rejects (the name of a FILE whose TRACK is
// wrong), and its reading of a disc's folder loses its buffer when the folder's sectors cannot
// be read. Its leaks, not the reader's: they would end every run within a second.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libcdio.so\nleak:iso9660_fs_readdir\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    isoFd = memfd_create("imagen_cd", MFD_CLOEXEC);
    if (isoFd < 0)
        std::abort();
    isoPath = QStringLiteral("/proc/self/fd/%1").arg(isoFd);
    outFd = memfd_create("imagen_cd_salida", MFD_CLOEXEC);
    if (outFd < 0)
        std::abort();
    folder = std::make_unique<QTemporaryDir>();
    const std::string bin = RawSectors(TinyIso());
    if (!folder->isValid() ||
        !WriteFile(folder->filePath(QStringLiteral("x.bin")), bin.data(), bin.size()))
        std::abort();
    cuePath = folder->filePath(QStringLiteral("x.cue"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    QString path = isoPath;
    if (size > 0 && data[0] == '#') {
        if (!WriteFile(cuePath, bytes + 1, size - 1))
            std::abort();
        path = cuePath;
    } else if (ftruncate(isoFd, 0) != 0 ||
               pwrite(isoFd, bytes, size, 0) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    QString cause;
    const std::unique_ptr<platform::CdImage> image = platform::CdImage::Open(path, &cause);
    if (!image) {
        if (cause.isEmpty())
            std::abort();
        return 0;
    }
    size_t count = 0;
    std::string read;
    ReadAll(*image, image->root(), 0, &count, &read);
    return 0;
}
