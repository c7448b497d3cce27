#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "app/lib.h"
#include "generation/ajustes.h"
#include "platform/host.h"
#include "platform/media/floppy.h"

// The check of a CD before it is burnt: what the disk-set loop will do with its Archivos.ini,
// read through the same lookup, without writing anything.
namespace generacion {

// A standard 1.44 MB floppy: its data clusters, and the fixed slots of the root folder, where
// every file of a disk goes.
inline constexpr int kGruposDelDisquete = platform::kStandardFloppyClusters;
inline constexpr int kBytesPorGrupo = platform::kStandardFloppyClusterBytes;
inline constexpr int kEntradasDeLaRaiz = platform::kStandardFloppyRootEntries;

// One name of a disk's list that the loop will copy (it ends with its comma).
struct EntradaComprobada {
    QString nombre;          // as the list gives it
    qint64 bytes = -1;       // size of its source on the CD; -1 when there is none to copy
    int error = 0;           // the number copying it would raise for its source (53, 76...); 0 none
    QString causa;           // why, where the CD's drive knows it (a sector of an image unread)
    bool enCarpeta = false;  // it goes into a folder of the floppy, which has none: 76
    QString motivoFat;       // why a FAT floppy cannot hold the name it lands as; empty when it can
    bool repetido = false;   // the disk's list names the same file before: copied over it
    int entradas = 0;        // root folder slots it takes (a long name takes more than one)
    int grupos = 0;          // data clusters it takes
};

struct DiscoComprobado {
    int numero = 0;
    QString carpeta;  // its folder on the CD, in drive form ("d:\Discos\Disco1\")
    QList<EntradaComprobada> entradas;
    QString sinComa;       // the text after the last comma: a last name that is not copied
    QStringList cortados;  // names beyond the lookup's 254 characters: not copied either
    int grupos = 0;        // of the entries that will be written
    int entradasRaiz = 0;

    bool Cabe() const { return grupos <= kGruposDelDisquete && entradasRaiz <= kEntradasDeLaRaiz; }
    // True when every listed name is copied and fits, and the disk gets at least one file.
    bool Completo() const;
};

struct ComprobacionCd {
    bool hayArchivoIni = false;  // "Archivos.ini" in the source's root (the drive check)
    // The name it is stored under there when that is not exactly "Archivos.ini" (a CD of plain
    // ISO 9660 has "ARCHIVOS.INI"); empty when there is none.
    QString archivoIniGuardado;
    QString textoCantidad;
    int cantidad = 0;
    int errorCantidad = 0;  // 6 when the count (or the disk number after it) overflows
    QString prefijo;        // DiskPath
    QList<DiscoComprobado> discos;
    QList<int> discosSinLista;   // disks of the count whose key is missing from DISCOS
    QStringList clavesNoLeidas;  // keys of DISCOS the loop never reads (beyond the count, Disco01)

    // True when the loop would generate the whole set, every listed name on its disk.
    bool Completo() const;
};

// Checks the set that the settings file of the program folder describes, with its disk
// folders on drive `origen` ("d:"), as GenerarDiscos would read and copy it, through the
// module's host. Never raises: what the loop would stumble on is in the result.
ComprobacionCd ComprobarCd(Lib::Modulo& lib, const QString& origen);
// The same, from settings the loop may read too.
ComprobacionCd ComprobarCd(Lib::Modulo& lib, const QString& origen, AjustesDelCd& ajustes);

// Why a FAT floppy cannot hold the file name `nombre` as the list gives it (a Spanish phrase),
// or the empty text when it can: an empty name, a character FAT refuses or that is not in the
// floppy's code page (850), a DOS device name (CON, AUX, COM1...).
QString MotivoNombreFat(const QString& nombre);

// The root folder slots a file of that name takes: one for a short name (8.3, each part in
// one letter case), otherwise one more for each 13 characters of its long name.
int EntradasDeDirectorio(const QString& nombre);

}  // namespace generacion
