#include "platform/cdimage/cd_image.h"

#include <cdio/cdio.h>
#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <vector>

#include "platform/cdimage/cd_source.h"
#include "platform/cdimage/cue_sheet.h"

namespace platform {

namespace {

// libcdio finds each folder from the root, reading every folder on its way again: what that
// costs is bounded, so that a crafted image whose folders crowd one large folder is refused.
constexpr qint64 kMostBytesLookedThrough = qint64{1} << 30;
// The smallest directory record: a folder's size where it is not known (the root's).
constexpr qint64 kSmallestRecord = 34;
constexpr uint32_t kSectorsARead = 256;
// What a file read through and kept nowhere is read by at a time.
constexpr size_t kReadThrough = size_t{kSectorsARead} * ISO_BLOCKSIZE;

// libcdio tells what goes wrong through its log, on standard error unless given a handler: the
// last warning or error of this thread is kept here instead, as the cause of a failure.
thread_local QString lastLogged;

void KeepLogged(cdio_log_level_t level, const char message[]) {
    if (level >= CDIO_LOG_WARN)
        lastLogged = QString::fromUtf8(message).trimmed();
}

void TakeLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler(KeepLogged); });
    lastLogged.clear();
}

QString WithLogged(const QString& cause) {
    return lastLogged.isEmpty() ? cause : QStringLiteral("%1 (%2)").arg(cause, lastLogged);
}

// `path` opened to be read; -1 with `cause` said when it cannot be.
int OpenToRead(const QString& path, QString* cause) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        *cause = errno == EACCES || errno == EPERM
                     ? QStringLiteral("%1 no se puede leer: no tiene permiso").arg(path)
                     : QStringLiteral("%1 no se puede abrir (%2)")
                           .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    }
    return fd;
}

}  // namespace

QString CdName(const char* recorded) {
    QString name = QString::fromUtf8(recorded);
    static const QRegularExpression version(QStringLiteral(";[0-9]*$"));
    if (const QRegularExpressionMatch m = version.match(name); m.hasMatch()) {
        name.chop(m.capturedLength());
        if (name.endsWith(u'.'))
            name.chop(1);
    }
    return name;
}

CdImage::CdImage(std::unique_ptr<Source> source) : source_(std::move(source)) {}

CdImage::~CdImage() = default;

const QString& CdImage::dataPath() const {
    return source_->dataPath;
}

const struct stat& CdImage::dataFile() const {
    return source_->dataFile;
}

std::unique_ptr<CdImage> CdImage::Open(const QString& path, QString* cause) {
    TakeLibraryLog();
    const QByteArray bytes = QFile::encodeName(path);
    const QFileInfo file(path);
    if (!file.isFile()) {
        *cause = QStringLiteral("%1 no es un archivo").arg(path);
        return nullptr;
    }
    auto source = std::make_unique<Source>();
    source->path = path;
    // The file of its sectors, held open here first: a refusal says why, and a change is seen.
    const auto hold = [&](const QString& data) {
        source->dataPath = data;
        source->held = OpenToRead(data, cause);
        if (source->held < 0 || ::fstat(source->held, &source->dataFile) != 0)
            return false;
        return true;
    };
    if (file.suffix().compare(QStringLiteral("cue"), Qt::CaseInsensitive) == 0) {
        const int sheetFd = OpenToRead(path, cause);
        if (sheetFd < 0)
            return nullptr;
        ::close(sheetFd);
        const CueFiles files = ReadCue(path, QStringLiteral("cd.bin"));
        if (!files.missing.isEmpty()) {
            *cause = QStringLiteral("la hoja %1 nombra %2, que no está a su lado")
                         .arg(path, files.missing);
            return nullptr;
        }
        if (files.first.isEmpty()) {
            *cause = QStringLiteral("la hoja %1 no nombra ningún archivo .bin").arg(path);
            return nullptr;
        }
        if (!hold(files.first))
            return nullptr;
        // libcdio reads the .bin named as the sheet is, whatever its FILE says: the sheet is
        // read from a folder of its own where that name is the very file held here.
        source->beside = std::make_unique<QTemporaryDir>();
        QFile copy(source->beside->filePath(QStringLiteral("cd.cue")));
        if (!source->beside->isValid() ||
            !QFile::link(QStringLiteral("/proc/self/fd/%1").arg(source->held),
                         source->beside->filePath(QStringLiteral("cd.bin"))) ||
            !copy.open(QIODevice::WriteOnly) || copy.write(files.text) != files.text.size() ||
            !copy.flush()) {
            *cause = QStringLiteral(
                         "la hoja %1 no se puede leer: no hay carpeta temporal donde "
                         "prepararla")
                         .arg(path);
            return nullptr;
        }
        copy.close();
        const QByteArray sheet = QFile::encodeName(copy.fileName());
        if (!TracksInOrder(sheet)) {
            *cause =
                QStringLiteral("la hoja %1 no numera sus pistas 1, 2, 3... por orden").arg(path);
            return nullptr;
        }
        source->disc = cdio_open_cue(sheet.constData());
        if (source->disc == nullptr) {
            *cause =
                WithLogged(QStringLiteral("%1 no es una hoja .cue que se pueda leer").arg(path));
            return nullptr;
        }
        const track_t first = cdio_get_first_track_num(source->disc);
        if (first == CDIO_INVALID_TRACK ||
            cdio_get_track_format(source->disc, first) == TRACK_FORMAT_AUDIO) {
            *cause =
                QStringLiteral("la primera pista de %1 es de audio: no tiene archivos").arg(path);
            return nullptr;
        }
        source->end = cdio_get_disc_last_lsn(source->disc);
        if (!iso9660_fs_read_superblock(source->disc, ISO_EXTENSION_ALL)) {
            *cause = WithLogged(
                QStringLiteral("la primera pista de %1 no tiene un sistema de archivos ISO 9660")
                    .arg(path));
            return nullptr;
        }
    } else {
        if (!hold(path))
            return nullptr;
        source->iso = iso9660_open_ext(bytes.constData(), ISO_EXTENSION_ALL);
        if (source->iso == nullptr) {
            *cause = WithLogged(
                QStringLiteral("%1 no es una imagen de CD ISO 9660 (si es un .bin, abra su .cue)")
                    .arg(path));
            return nullptr;
        }
    }
    std::unique_ptr<CdImage> image(new CdImage(std::move(source)));
    image->label_ = image->source_->Label();
    if (!image->ReadFolders(cause))
        return nullptr;
    // libcdio holds the .bin open from its first read on: the sheet's folder is not left behind
    // by a run that is killed.
    image->source_->beside.reset();
    return image;
}

bool CdImage::ReadFolders(QString* cause) {
    root_ = CdEntry{};
    root_.folder = true;
    size_t entries = 0;
    // libcdio makes room for a folder's recorded size before reading it: the folders of a real
    // image lie apart in it, so together they are no larger than the image.
    const qint64 imageBytes = source_->dataFile.st_size;
    qint64 folderBytes = 0;
    // Every folder read so far, by its first sector: a crafted image whose folders lead to the
    // same ones again (in a loop, or from many places) is refused when one comes back.
    std::set<uint32_t> seen;
    qint64 lookedThrough = 0;
    // `along`: the bytes of the folders on the way to `folder`, which finding one in it reads.
    std::function<bool(CdEntry&, const QByteArray&, int, qint64)> read =
        [&](CdEntry& folder, const QByteArray& path, int depth, qint64 along) {
            const auto list = source_->Folder(path);
            QHash<QString, size_t> named;  // where each name is in the folder
            if (!list) {
                *cause = WithLogged(QStringLiteral("no se puede leer la carpeta %1 de la imagen %2")
                                        .arg(QString::fromUtf8(path), source_->path));
                return false;
            }
            if (depth == 0)
                along = qint64{_cdio_list_length(list.get())} * kSmallestRecord;
            for (CdioListNode_t* node = _cdio_list_begin(list.get()); node != nullptr;
                 node = _cdio_list_node_next(node)) {
                const auto* stat = static_cast<const iso9660_stat_t*>(_cdio_list_node_data(node));
                const QByteArray recorded(stat->filename);
                if (recorded.isEmpty() || recorded == "." || recorded == "..")
                    continue;
                if (++entries > kMostEntries) {
                    *cause =
                        QStringLiteral("la imagen %1 tiene demasiadas entradas").arg(source_->path);
                    return false;
                }
                CdEntry entry;
                entry.name = CdName(stat->filename);
                entry.folder = stat->type == iso9660_stat_s::_STAT_DIR;
                entry.sector = stat->lsn;
                entry.size = stat->size;
                struct tm recordedAt = stat->tm;  // local time, as libcdio gives it
                entry.time.tv_sec = mktime(&recordedAt);
                if (const auto other = named.constFind(entry.name); other != named.cend()) {
                    folder.entries[*other].twice = true;
                    entry.twice = true;
                } else {
                    named.insert(entry.name, folder.entries.size());
                }
                if (entry.folder) {
                    folderBytes += entry.size;
                    if (folderBytes > imageBytes) {
                        *cause = QStringLiteral(
                                     "las carpetas de la imagen %1 dicen ocupar más "
                                     "que ella misma: está dañada")
                                     .arg(source_->path);
                        return false;
                    }
                    lookedThrough += along + entry.size;
                    if (lookedThrough > kMostBytesLookedThrough) {
                        *cause = QStringLiteral(
                                     "la imagen %1 tiene demasiadas carpetas para "
                                     "leerlas a tiempo")
                                     .arg(source_->path);
                        return false;
                    }
                    if (depth >= kDeepestFolder || !seen.insert(entry.sector).second) {
                        *cause = QStringLiteral(
                                     "la carpeta %1%2 de la imagen %3 es otra de sus "
                                     "carpetas, o es demasiado honda: está dañada")
                                     .arg(QString::fromUtf8(path), entry.name, source_->path);
                        return false;
                    }
                    if (!read(entry, path + recorded + '/', depth + 1, along + entry.size))
                        return false;
                }
                folder.entries.push_back(std::move(entry));
            }
            return true;
        };
    return read(root_, "/", 0, 0);
}

bool CdImage::Read(const CdEntry& entry, std::string* bytes, QString* cause) const {
    TakeLibraryLog();
    bytes->clear();
    const uint32_t sectors = entry.size / ISO_BLOCKSIZE + (entry.size % ISO_BLOCKSIZE != 0);
    // The size is only what the image's record says: room is made as its sectors are really
    // there, so a record of 4 GiB in a small image costs nothing.
    for (uint32_t done = 0; done < sectors;) {
        const uint32_t count = std::min(kSectorsARead, sectors - done);
        const size_t at = bytes->size();
        bytes->resize(at + size_t{count} * ISO_BLOCKSIZE);
        if (!source_->ReadSectors(bytes->data() + at, entry.sector + done, count)) {
            *cause =
                WithLogged(QStringLiteral("no se pueden leer los sectores %1 a %2 de la imagen "
                                          "%3: está cortada o dañada")
                               .arg(entry.sector + done)
                               .arg(entry.sector + done + count - 1)
                               .arg(source_->path));
            bytes->clear();
            return false;
        }
        done += count;
    }
    bytes->resize(entry.size);
    return true;
}

int CdImage::ReadInto(const CdEntry& entry, int out, QString* cause) const {
    if (source_->iso != nullptr) {
        // An ISO image's file goes to `out` in the kernel, as it lies; read through a buffer
        // of its own when it is kept nowhere.
        std::vector<char> through(out < 0 ? std::min<size_t>(entry.size, kReadThrough) : 0);
        off_t from = off_t{entry.sector} * ISO_BLOCKSIZE;
        for (size_t left = entry.size; left > 0;) {
            ssize_t n = 0;
            if (out >= 0) {
                n = ::sendfile(out, source_->held, &from, left);
            } else {
                n = ::pread(source_->held, through.data(), std::min(left, through.size()), from);
                from += std::max<ssize_t>(n, 0);
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EIO && errno != EINVAL)
                return errno;
            if (n <= 0) {
                *cause = QStringLiteral(
                             "no se puede leer el sector %1 de la imagen %2: está "
                             "cortada o dañada")
                             .arg(from / ISO_BLOCKSIZE)
                             .arg(source_->path);
                return -1;
            }
            left -= static_cast<size_t>(n);
        }
        return 0;
    }
    std::string bytes;
    if (!Read(entry, &bytes, cause))
        return -1;
    if (out < 0)
        return 0;
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(out, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

}  // namespace platform
