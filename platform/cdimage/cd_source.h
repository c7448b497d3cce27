#pragma once

// What only the CD image reader sees: the image as libcdio reads it.
#include <cdio/cdio.h>
#include <cdio/iso9660.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/cdimage/cd_image.h"

namespace platform {

struct FreeList {
    void operator()(CdioList_t* list) const { iso9660_filelist_free(list); }
};

// The image as libcdio reads it: an ISO 9660 file, or a disc of a cue sheet's tracks.
struct CdImage::Source {
    QString path;
    std::unique_ptr<QTemporaryDir> beside;  // a cue sheet's, as libcdio reads it
    iso9660_t* iso = nullptr;
    CdIo_t* disc = nullptr;

    QString dataPath;         // the file that holds its sectors: the ISO image, or the sheet's .bin
    int held = -1;            // that file, held open to see it change while it is read
    struct stat dataFile {};  // that file when it was opened
    lsn_t end = 0;            // a disc's first sector past its last track, as its .bin holds it
    ~Source() {
        if (held >= 0)
            ::close(held);
        if (iso != nullptr)
            iso9660_close(iso);
        if (disc != nullptr)
            cdio_destroy(disc);
    }
    std::unique_ptr<CdioList_t, FreeList> Folder(const QByteArray& folder) const {
        return std::unique_ptr<CdioList_t, FreeList>(
            iso != nullptr ? iso9660_ifs_readdir(iso, folder.constData())
                           : iso9660_fs_readdir(disc, folder.constData()));
    }
    bool ReadSectors(char* buffer, uint32_t sector, uint32_t count) const {
        const auto first = static_cast<lsn_t>(sector);
        if (iso != nullptr) {
            // An ISO image's sectors are its file's, one after another: read as they lie.
            const size_t want = size_t{count} * ISO_BLOCKSIZE;
            for (size_t got = 0; got < want;) {
                const ssize_t n = ::pread(held, buffer + got, want - got,
                                          off_t{sector} * ISO_BLOCKSIZE + static_cast<off_t>(got));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return false;
                got += static_cast<size_t>(n);
            }
            return true;
        }
        // libcdio pads with zeros what lies past the end of a .bin cut short: the sectors are
        // asked for only where the .bin has them whole, and it must not shrink meanwhile.
        if (first < 0 || int64_t{first} + count > end)
            return false;
        return cdio_read_data_sectors(disc, buffer, first, ISO_BLOCKSIZE, count) ==
                   DRIVER_OP_SUCCESS &&
               Unchanged();
    }
    bool Unchanged() const {
        struct stat st {};
        return held >= 0 && ::fstat(held, &st) == 0 && st.st_size == dataFile.st_size;
    }
    QString Label() const {
        char* id = nullptr;
        if (iso != nullptr) {
            iso9660_ifs_get_volume_id(iso, &id);
        } else {
            iso9660_pvd_t pvd;
            if (iso9660_fs_read_pvd(disc, &pvd))
                id = iso9660_get_volume_id(&pvd);
        }
        QString label = QString::fromUtf8(id != nullptr ? id : "").trimmed();
        std::free(id);
        return label;
    }
};

}  // namespace platform
