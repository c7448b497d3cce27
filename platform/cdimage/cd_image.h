#pragma once

#include <sys/stat.h>
#include <time.h>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A CD image read in-process, read-only, through GNU libcdio: no mount, no loop device.
namespace platform {

// One entry of a CD image's folders.
struct CdEntry {
    // As the program shows it: the Rock Ridge or Joliet name where the image has one, else the
    // ISO 9660 name without its version (";1") and without the dot of an empty extension.
    QString name;
    bool folder = false;
    uint32_t sector = 0;  // the first of its logical sectors
    uint32_t size = 0;    // in bytes
    timespec time{};      // when it was recorded
    // Its folder holds another entry by the very same name: which one a name means is unknown.
    bool twice = false;
    std::vector<CdEntry> entries;  // a folder's, in the image's order
};

// An ISO 9660 image (2048-byte sectors, with or without Joliet and Rock Ridge), or a .cue sheet
// with the .bin it names (raw 2352-byte sectors, mode 1 or mode 2 form 1). Its folders are read
// whole when it is opened; the data of a file when it is asked for.
class CdImage {
  public:
    // The bounds of what is read of a crafted image: folders deeper than ISO 9660's eight (Rock
    // Ridge), but no deeper than a Linux path goes; entries in all.
    static constexpr int kDeepestFolder = 1024;
    static constexpr size_t kMostEntries = size_t{1} << 18;
    // Opens `path`, a .cue by its name's ending, an ISO 9660 image otherwise. Nothing, with
    // `cause` in words, when it is not a CD image this program can read.
    static std::unique_ptr<CdImage> Open(const QString& path, QString* cause);
    ~CdImage();
    CdImage(const CdImage&) = delete;
    CdImage& operator=(const CdImage&) = delete;

    const CdEntry& root() const { return root_; }
    // The volume's name, as its primary descriptor has it (may be empty).
    const QString& label() const { return label_; }
    // The file that holds its sectors: the image itself, or the .bin a sheet names; and that
    // file as it was when the image was opened.
    const QString& dataPath() const;
    const struct stat& dataFile() const;
    // The whole of `entry`'s data into `bytes`. False, with `cause`, when a sector of it cannot
    // be read (the image cut short, the drive's read failing).
    bool Read(const CdEntry& entry, std::string* bytes, QString* cause) const;
    // The same, written to the end of the open file `out`, or kept nowhere when `out` is -1:
    // 0; -1 with `cause` when a sector cannot be read; the errno of a write to `out` that failed.
    int ReadInto(const CdEntry& entry, int out, QString* cause) const;

  private:
    struct Source;
    explicit CdImage(std::unique_ptr<Source> source);
    bool ReadFolders(QString* cause);

    std::unique_ptr<Source> source_;
    CdEntry root_;
    QString label_;
};

// The name an ISO 9660 directory record gives, as the program shows it: its version (";1")
// dropped, and the dot that ends a name with no extension ("LEEME.;1").
QString CdName(const char* recorded);

}  // namespace platform
