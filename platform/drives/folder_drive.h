#pragma once

#include <sys/types.h>

#include <functional>
#include <map>

#include "platform/drives/drive.h"
#include "platform/drives/drive_services.h"

namespace platform {

// A drive whose disk is a Linux folder: a mounted medium, or any folder the table names.
// Copies go in chunks; between chunks the services' keep-alive lets the program answer its
// desktop, so a slow medium never freezes the window. Its system calls go through the services.
class FolderDrive : public Drive {
  public:
    FolderDrive(DriveInfo info, const DriveServices& services);

    bool IsReady() const override;
    QString Root() const override;
    ResolvedPath Resolve(const DrivePath& path) const override;
    QString Dir(const DrivePath& path) override;
    SourceFile OpenSource(const DrivePath& path) override;
    void CopyIn(const DrivePath& path, const SourceFile& source) override;

  private:
    class Chunks;
    // True for the temporary name of a copy whose program no longer runs.
    bool IsLeftover(const QByteArray& name) const;
    // Writes all of `in` to `out` chunk by chunk; 0 or the errno of the failure.
    int Write(int in, int out, Chunks& chunks);
    // Reads the copy back from the medium and compares it with `source`; 0, or the errno of
    // the failure (EIO when they differ).
    int Verify(int source, int folder, const QByteArray& copyName, Chunks& chunks);
    const DriveServices& services_;
    SystemCalls& system_;
    // The chunk size the copies to each medium settled on, by device: a disk swapped in the
    // drive keeps the pace it showed.
    std::map<dev_t, size_t> paces_;
};

}  // namespace platform
