#pragma once

#include <QString>

// What makes a floppy a floppy, known once for every way a drive or disk is found.
namespace platform {

// The standard 1.44 MB floppy: 80 tracks, 2 heads, 18 sectors of 512 bytes.
inline constexpr long long kStandardFloppyBytes = 1474560;
// The standard floppy as `mformat -f 1440` lays it out: data clusters of one 512-byte sector,
// and a root folder of 224 entries.
inline constexpr int kStandardFloppyClusters = 2847;
inline constexpr int kStandardFloppyClusterBytes = 512;
inline constexpr int kStandardFloppyRootEntries = 224;
// The data clusters a file of `bytes` takes on the standard floppy.
inline constexpr long long StandardFloppyClustersFor(long long bytes) {
    return (bytes + kStandardFloppyClusterBytes - 1) / kStandardFloppyClusterBytes;
}
// The largest floppy there is: a 2.88 MB disk. A removable disk above it is no floppy.
inline constexpr long long kLargestFloppyBytes = 2949120;

// True for the sizes of the standard floppies, 160 KB to 2.88 MB: an image file of any other
// size is a cut or foreign file, not a disk (mtools would read a cut image and write past its
// end).
bool StandardFloppySize(long long bytes);

// A device of the floppy controller: /dev/fd0, /dev/fd1... (not /dev/fd/3, a descriptor).
bool IsFloppyControllerDevice(const QString& device);

// A file system of the FAT family, as a mount table or udev's probe names it.
bool IsFatType(const QString& fsType);

}  // namespace platform
