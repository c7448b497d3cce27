#pragma once

#include <sys/types.h>

#include <functional>
#include <map>

#include "platform/drive.h"
#include "platform/system_calls.h"

namespace platform {

// A drive whose disk is a Linux folder: a mounted medium, or any folder the table names.
// Copies go in chunks; between chunks `keepAlive` lets the program answer its desktop, so a
// slow medium never freezes the window.
class FolderDrive : public Drive {
  public:
    // `paces` (may be null) keeps, by device, the chunk size each medium's copies settled on.
    FolderDrive(DriveInfo info, SystemCalls& system, std::function<void()> keepAlive = {},
                std::map<dev_t, size_t>* paces = nullptr);

    bool IsReady() const override;
    QString Root() const override;
    ResolvedPath Resolve(const DrivePath& path) const override;
    QString Dir(const DrivePath& path) override;
    SourceFile OpenSource(const DrivePath& path) override;
    void CopyIn(const DrivePath& path, const SourceFile& source) override;

  private:
    class Chunks;
    // Writes all of `in` to `out` chunk by chunk; 0 or the errno of the failure.
    int Write(int in, int out, Chunks& chunks);
    // Reads the copy back from the medium and compares it with `source`; 0, or the errno of
    // the failure (EIO when they differ).
    int Verify(int source, int folder, const QByteArray& copyName, Chunks& chunks);

    SystemCalls& system_;
    std::function<void()> keepAlive_;
    std::map<dev_t, size_t>* paces_;
};

}  // namespace platform
