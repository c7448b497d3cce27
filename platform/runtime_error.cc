#include "platform/runtime_error.h"

#include <cerrno>

namespace platform {

QString RuntimeError::text() const {
    return StandardText(number_);
}

QString StandardText(int number) {
    switch (number) {
        case err::kNinguno:
            return {};
        case err::kArgumentoNoValido:
            return QStringLiteral("Llamada a procedimiento o argumento no válidos");
        case err::kDesbordamiento:
            return QStringLiteral("Desbordamiento");
        case err::kNombreArchivoIncorrecto:
            return QStringLiteral("Nombre o número de archivo incorrecto");
        case err::kArchivoNoEncontrado:
            return QStringLiteral("No se encontró el archivo");
        case err::kErrorES:
            return QStringLiteral("Error de E/S de dispositivo");
        case err::kDiscoLleno:
            return QStringLiteral("Disco lleno");
        case err::kDispositivoNoDisponible:
            return QStringLiteral("Dispositivo no disponible");
        case err::kPermisoDenegado:
            return QStringLiteral("Permiso denegado");
        case err::kDiscoNoListo:
            return QStringLiteral("El disco no está listo");
        case err::kAccesoRutaArchivo:
            return QStringLiteral("Error de acceso a la ruta o el archivo");
        case err::kRutaNoEncontrada:
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
            return err::kDiscoLleno;
        case EACCES:
        case EPERM:
        case EROFS:
            return err::kPermisoDenegado;
        case EIO:
            return err::kErrorES;
        case ENOENT:
        case ENOTDIR:
            return err::kRutaNoEncontrada;
        default:
            return err::kAccesoRutaArchivo;
    }
}

}  // namespace platform
