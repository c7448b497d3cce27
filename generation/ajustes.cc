#include "generation/ajustes.h"

namespace generacion {

namespace {
// A default no value of the file can be, to tell a missing key from an empty one.
const QString kSinClave = QStringLiteral("\u0001");
}  // namespace

const QString& AjustesDelCd::TextoCantidad() {
    if (!textoCantidad_) {
        textoCantidad_ = lib_.LeerIni(Lib::kArchivoIni, QStringLiteral("GENERAL"),
                                      QStringLiteral("CANTIDAD"), QStringLiteral("0"));
    }
    return *textoCantidad_;
}

const QString& AjustesDelCd::Prefijo() {
    if (!prefijo_) {
        prefijo_ = lib_.LeerIni(Lib::kArchivoIni, QStringLiteral("GENERAL"),
                                QStringLiteral("DiskPath"), QStringLiteral("0"));
    }
    return *prefijo_;
}

const std::optional<QString>& AjustesDelCd::Lista(int n) {
    const auto leida = listas_.find(n);
    if (leida != listas_.end())
        return leida->second;
    const QString lista = lib_.LeerIni(Lib::kArchivoIni, QStringLiteral("DISCOS"),
                                       QStringLiteral("Disco") + QString::number(n), kSinClave);
    return listas_[n] = lista == kSinClave ? std::nullopt : std::optional<QString>(lista);
}

QStringList EntradasDeLaLista(const QString& lista, QString* resto) {
    const qsizetype ultimaComa = lista.lastIndexOf(u',');
    if (resto != nullptr)
        *resto = lista.mid(ultimaComa + 1);
    if (ultimaComa < 0)
        return {};
    return lista.left(ultimaComa).split(u',');
}

}  // namespace generacion
