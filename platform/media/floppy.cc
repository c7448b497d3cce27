#include "platform/media/floppy.h"

#include <QRegularExpression>

namespace platform {

bool StandardFloppySize(long long bytes) {
    for (const long long size : {163840LL, 184320LL, 327680LL, 368640LL, 737280LL, 1228800LL,
                                 kStandardFloppyBytes, kLargestFloppyBytes}) {
        if (bytes == size)
            return true;
    }
    return false;
}

bool IsFloppyControllerDevice(const QString& device) {
    static const QRegularExpression kFd(QStringLiteral("^/dev/fd[0-9]+$"));
    return kFd.match(device).hasMatch();
}

bool IsFatType(const QString& fsType) {
    return fsType == u"vfat" || fsType == u"msdos" || fsType == u"fat" || fsType == u"umsdos";
}

}  // namespace platform
