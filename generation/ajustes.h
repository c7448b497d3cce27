#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <optional>

#include "app/lib.h"

namespace generacion {

// The settings of a CD, as the lookup gives them from the Archivos.ini of the program folder:
// what the disk-set loop generates and what the check of the CD examines, one object that both
// read from. Each value is read once, the first time it is asked for (a disk's list when its
// turn comes), and kept for the run.
class AjustesDelCd {
  public:
    explicit AjustesDelCd(Lib::Modulo& lib) : lib_(lib) {}

    // CANTIDAD and DiskPath as written, "0" when missing.
    const QString& TextoCantidad();
    const QString& Prefijo();
    // The list of disk `n` (the key Disco<n> of DISCOS), at most the lookup's 254 characters;
    // nothing when the key is missing.
    const std::optional<QString>& Lista(int n);

  private:
    Lib::Modulo& lib_;
    std::optional<QString> textoCantidad_;
    std::optional<QString> prefijo_;
    std::map<int, std::optional<QString>> listas_;
};

// The names of a disk's list, as the loop copies them: each entry ends with its comma, so what
// follows the last comma (`resto`) is no name. Empty entries between two commas are names too.
QStringList EntradasDeLaLista(const QString& lista, QString* resto = nullptr);

}  // namespace generacion
