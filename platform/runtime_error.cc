#include "platform/runtime_error.h"

#include <cerrno>

namespace platform {

QString RuntimeError::text() const {
    return StandardText(number_);
}

QString StandardText(int number) {
    switch (number) {
        case errors::kNone:
            return {};
        case errors::kInvalidArgument:
            return QStringLiteral("Llamada a procedimiento o argumento no válidos");
        case errors::kOverflow:
            return QStringLiteral("Desbordamiento");
        case errors::kBadFileName:
            return QStringLiteral("Nombre o número de archivo incorrecto");
        case errors::kFileNotFound:
            return QStringLiteral("No se encontró el archivo");
        case errors::kDeviceIO:
            return QStringLiteral("Error de E/S de dispositivo");
        case errors::kDiskFull:
            return QStringLiteral("Disco lleno");
        case errors::kDeviceUnavailable:
            return QStringLiteral("Dispositivo no disponible");
        case errors::kPermissionDenied:
            return QStringLiteral("Permiso denegado");
        case errors::kDiskNotReady:
            return QStringLiteral("El disco no está listo");
        case errors::kPathFileAccess:
            return QStringLiteral("Error de acceso a la ruta o el archivo");
        case errors::kPathNotFound:
            return QStringLiteral("No se encontró la ruta de acceso");
        default:
            return QStringLiteral("Error definido por la aplicación o por el objeto");
    }
}

int NumberForErrno(int errnum) {
    switch (errnum) {
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return errors::kDiskFull;
        case EACCES:
        case EPERM:
        case EROFS:
            return errors::kPermissionDenied;
        case EIO:
            return errors::kDeviceIO;
        case ENOENT:
        case ENOTDIR:
            return errors::kPathNotFound;
        default:
            return errors::kPathFileAccess;
    }
}

}  // namespace platform
