#!/bin/bash
# CD images as the CD, with no display: the demo CD made into an ISO with Rock Ridge and Joliet,
# and into BIN/CUE (mode 1 and mode 2 form 1, from a Joliet image) writes the same set as the
# folder, as an ordinary user where the suite can; a plain ISO 9660 (upper-case 8.3 names, no
# extensions) and its BIN/CUE are read as any CD, and their ARCHIVOS.INI is said not to be the
# marker; each kind of bad image says why and ends with status 1.
# Usage: imagenes_de_cd.sh PATH/TO/QTL99 PATH/TO/comprobacion.schema.json PATH/TO/demo/cd
set -euo pipefail
programa="$1" esquema="$2" demo="$(cd "$3" && pwd)"
trabajo="$(mktemp -d)"
trap 'rm -rf "$trabajo"' EXIT
falla() { echo "FALLO (line ${BASH_LINENO[0]}): $*" >&2; exit 1; }
export MTOOLSRC=/dev/null PATH="$PATH:/usr/sbin:/sbin"
# Times on the disks come from the image's recorded ones, whatever the zone.
export TZ=America/Bogota
source "$(dirname "${BASH_SOURCE[0]}")/linea_comun.sh"
bin_cue="$(dirname "${BASH_SOURCE[0]}")/../support/bin_cue.py"

# As root the sets are written as nobody, who may read the images and write only its own folder.
chmod 755 "$trabajo"
como_usuario=()
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    como_usuario=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi
qtl99_usuario() {
    local esperado="$1" estado=0; shift
    env -u DISPLAY -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY HOME="$trabajo" "${como_usuario[@]}" \
        "$programa" "$@" >"$trabajo/salida" 2>"$trabajo/errores" </dev/null || estado=$?
    [ "$estado" -eq "$esperado" ] ||
        falla "QTL99 $* terminó con $estado, no $esperado: $(cat "$trabajo/errores")"
}
iso() {
    xorriso -as mkisofs -quiet -no-pad "$@" 2>"$trabajo/xorriso.err" ||
        falla "xorriso $*: $(cat "$trabajo/xorriso.err")"
}

# The images of the demo CD.
iso -R -J -V DEMO -o "$trabajo/rrj.iso" "$demo"
iso -J --norock -o "$trabajo/joliet.iso" "$demo"
python3 "$bin_cue" "$trabajo/joliet.iso" "$trabajo/modo1.cue" --modo 1
# A sheet whose .bin has another name, as archives often keep them.
python3 "$bin_cue" "$trabajo/joliet.iso" "$trabajo/modo2.cue" --modo 2 --bin "pista uno.bin"
iso -iso-level 1 --norock -o "$trabajo/llano.iso" "$demo"
python3 "$bin_cue" "$trabajo/llano.iso" "$trabajo/llano.cue" --modo 1
chmod a+r "$trabajo"/*

# The set from the folder, to compare with: its times as the images must keep them.
qtl99 0 --imagenes "$trabajo/de-la-carpeta" --cd "$demo"
horas() { mdir -i "$1" :: | grep -E '^[A-Z]' | awk '{print $1, $2, $3, $4, $5}'; }

for imagen in rrj.iso modo1.cue modo2.cue; do
    salida="$trabajo/de-$imagen"
    mkdir -m 777 "$salida"
    qtl99_usuario 0 --imagenes "$salida" --cd "$trabajo/$imagen"
    dice "$trabajo/errores" "Disco 3 de 3: $salida/Disco3.img" "Generación de discos Finalizada"
    comprobar_imagen "$salida/Disco1.img" "$demo/Discos/Disco1" LEEME.TXT INSTALA.INF
    comprobar_imagen "$salida/Disco2.img" "$demo/Discos/Disco2" DATOS1.DAT PROGRAMA.BIN
    comprobar_imagen "$salida/Disco3.img" "$demo/Discos/Disco3" DATOS2.DAT FIN.TXT
    for n in 1 2 3; do
        [ "$(horas "$salida/Disco$n.img")" = "$(horas "$trabajo/de-la-carpeta/Disco$n.img")" ] ||
            falla "$imagen: las horas del disco $n no son las del CD: $(horas "$salida/Disco$n.img")"
    done
    qtl99 0 --comprobar --json --cd "$trabajo/$imagen"
    comprobar_json si
done

# A plain ISO 9660 CD, and its BIN/CUE: every name found without regard to case and without its
# version; its ARCHIVOS.INI is not the marker the source must have, so nothing is written.
for imagen in llano.iso llano.cue; do
    qtl99 1 --comprobar --cd "$trabajo/$imagen"
    dice "$trabajo/salida" "Archivos.ini está en la raíz del CD como «ARCHIVOS.INI»" \
        "«LEEME.TXT»: se copia, 171 bytes" "«PROGRAMA.BIN»: se copia, 49152 bytes"
    qtl99 1 --comprobar --json --cd "$trabajo/$imagen"
    comprobar_json no
    grep -qF '"archivos_ini_como": "ARCHIVOS.INI"' "$trabajo/salida" || falla "$(cat "$trabajo/salida")"
    qtl99 1 --imagenes "$trabajo/de-$imagen" --cd "$trabajo/$imagen"
    dice "$trabajo/errores" "El dispositivo origen, seleccionado no posee los archivos necesarios"
    [ ! -e "$trabajo/de-$imagen/Disco1.img" ] || falla "$imagen: se escribió un disco"
done

# Bad images: the image and the cause said, status 1.
head -c 100000 /dev/urandom >"$trabajo/basura.iso"
qtl99 1 --comprobar --cd "$trabajo/basura.iso"
dice "$trabajo/errores" "QTL99: $trabajo/basura.iso no es una imagen de CD ISO 9660"
printf 'FILE "nada.bin" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n' >"$trabajo/sin-bin.cue"
qtl99 1 --imagenes "$trabajo/sin-bin" --cd "$trabajo/sin-bin.cue"
dice "$trabajo/errores" "la hoja $trabajo/sin-bin.cue nombra nada.bin, que no está a su lado"
printf 'FILE "modo1.bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' >"$trabajo/audio.cue"
qtl99 1 --imagenes "$trabajo/audio" --cd "$trabajo/audio.cue"
dice "$trabajo/errores" "la primera pista de $trabajo/audio.cue es de audio"

# lba_de IMAGE PATH: the first sector of PATH's data in IMAGE. awk reads all of xorriso's
# report: leaving early would kill xorriso with SIGPIPE and fail the pipeline at random.
lba_de() {
    xorriso -indev "$1" -find "$2" -exec report_lba -- 2>"$trabajo/xorriso.err" |
        awk '/File data lba/ && !n++ {gsub(",", "", $6); print $6}' ||
        falla "xorriso no dijo dónde está $2: $(cat "$trabajo/xorriso.err")"
}
# Cut short inside PROGRAMA.BIN: disk 1 is written; nothing of a file that cannot be read whole.
lba="$(lba_de "$trabajo/rrj.iso" /Discos/Disco2/PROGRAMA.BIN)"
[ -n "$lba" ] || falla "xorriso no dijo dónde está PROGRAMA.BIN"
head -c $(( (lba + 3) * 2048 )) "$trabajo/rrj.iso" >"$trabajo/cortada.iso"
qtl99 1 --imagenes "$trabajo/cortada" --cd "$trabajo/cortada.iso"
dice "$trabajo/errores" "error 57:" "de la imagen $trabajo/cortada.iso: está cortada o dañada"
comprobar_imagen "$trabajo/cortada/Disco1.img" "$demo/Discos/Disco1" LEEME.TXT INSTALA.INF
mdir -i "$trabajo/cortada/Disco2.img" -b :: 2>/dev/null | grep -q PROGRAMA && falla "PROGRAMA.BIN a medias"
qtl99 1 --comprobar --cd "$trabajo/cortada.iso"
dice "$trabajo/salida" "«PROGRAMA.BIN»: NO SE PUEDE COPIAR DEL CD (error 57: Error de E/S de dispositivo: no se puede leer el sector"
# Cut short before its settings: read as none, and said why, once.
lba="$(lba_de "$trabajo/rrj.iso" /Archivos.ini)"
head -c $(( lba * 2048 )) "$trabajo/rrj.iso" >"$trabajo/sin-ajustes.iso"
qtl99 1 --imagenes "$trabajo/sin-ajustes" --cd "$trabajo/sin-ajustes.iso"
dice "$trabajo/errores" "QTL99: d:\\Archivos.ini no se puede leer (no se puede leer el sector $lba de la imagen"
[ "$(grep -c 'Archivos.ini no se puede leer' "$trabajo/errores")" -eq 1 ] || falla "$(cat "$trabajo/errores")"
# The same in a .bin (libcdio would give zeros for what its end lacks).
head -c $(( (lba + 3) * 2352 )) "$trabajo/modo1.bin" >"$trabajo/cortada.bin"
sed 's/modo1.bin/cortada.bin/' "$trabajo/modo1.cue" >"$trabajo/cortada.cue"
qtl99 1 --imagenes "$trabajo/cortada-bin" --cd "$trabajo/cortada.cue"
dice "$trabajo/errores" "error 57:" "de la imagen $trabajo/cortada.cue: está cortada o dañada"
mdir -i "$trabajo/cortada-bin/Disco2.img" -b :: 2>/dev/null | grep -q PROGRAMA && falla "PROGRAMA.BIN con ceros"
# An image its user may not read says so.
cp "$trabajo/rrj.iso" "$trabajo/vedada.iso" && chmod 000 "$trabajo/vedada.iso"
if ! "${como_usuario[@]}" test -r "$trabajo/vedada.iso"; then
    qtl99_usuario 1 --comprobar --cd "$trabajo/vedada.iso"
    dice "$trabajo/errores" "$trabajo/vedada.iso no se puede leer: no tiene permiso"
fi
# A folder whose record leads back to the folder that holds it: refused, said why.
python3 - "$trabajo/llano.iso" "$trabajo/lazo.iso" <<'EOF'
import struct, sys
datos = bytearray(open(sys.argv[1], "rb").read())
def registros(lba, tamano):
    at = lba * 2048
    while at < lba * 2048 + tamano:
        if datos[at] == 0:
            at = (at // 2048 + 1) * 2048
            continue
        yield at, bytes(datos[at + 33:at + 33 + datos[at + 32]])
        at += datos[at]
def carpeta(at):
    return struct.unpack_from("<I", datos, at + 2)[0], struct.unpack_from("<I", datos, at + 10)[0]
discos = next(at for at, n in registros(*carpeta(16 * 2048 + 156)) if n == b"DISCOS")
disco1 = next(at for at, n in registros(*carpeta(discos)) if n == b"DISCO1")
struct.pack_into("<I", datos, disco1 + 2, carpeta(discos)[0])
struct.pack_into(">I", datos, disco1 + 6, carpeta(discos)[0])
open(sys.argv[2], "wb").write(datos)
EOF
qtl99 1 --comprobar --cd "$trabajo/lazo.iso"
dice "$trabajo/errores" "la carpeta /DISCOS/DISCO1 de la imagen $trabajo/lazo.iso es otra de sus carpetas"
# Folders far deeper than ISO 9660's eight, beside the set, are no reason to refuse it.
cp -a "$demo" "$trabajo/honda" && mkdir -p "$trabajo/honda/Extra/$(printf 'd/%.0s' $(seq 40))"
iso -R -J -o "$trabajo/honda.iso" "$trabajo/honda"
qtl99 0 --imagenes "$trabajo/de-honda" --cd "$trabajo/honda.iso"

# A name the image holds twice in a folder (Joliet's UCS-2 name of one file made the other's).
hacer_cd "$trabajo/doble" 1 "Disco1=AAAA.TXT,"
archivo "$trabajo/doble" 1 AAAA.TXT 3000
archivo "$trabajo/doble" 1 AAAB.TXT 3000
iso -J --norock -o "$trabajo/doble.iso" "$trabajo/doble"
python3 - "$trabajo/doble.iso" <<'EOF'
import sys
datos = open(sys.argv[1], "rb").read()
nuevo = datos.replace("AAAB.TXT".encode("utf-16-be"), "AAAA.TXT".encode("utf-16-be"))
assert nuevo != datos
open(sys.argv[1], "wb").write(nuevo)
EOF
qtl99 1 --imagenes "$trabajo/doble-imagenes" --cd "$trabajo/doble.iso"
dice "$trabajo/errores" "error 57:" "tiene dos entradas «AAAA.TXT» en la misma carpeta"
[ -z "$(mdir -i "$trabajo/doble-imagenes/Disco1.img" -b :: 2>/dev/null)" ] || falla "se copió AAAA.TXT"

echo "imágenes de CD: cuatro juegos completos, el ISO llano leído y rechazado, nueve imágenes malas"
