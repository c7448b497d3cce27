#!/bin/bash
# The command line with no display at all: `--imagenes` writes the demo set and the sets of CDs
# with each trap of Archivos.ini, `--comprobar` names each trap (its JSON checked against the
# schema), and wrong usage ends with status 2.
# Usage: linea_de_ordenes.sh PATH/TO/QTL99 PATH/TO/comprobacion.schema.json PATH/TO/demo/cd
set -euo pipefail
programa="$1" esquema="$2" demo="$3"
trabajo="$(mktemp -d)"
trap 'rm -rf "$trabajo"' EXIT
falla() { echo "FALLO (line ${BASH_LINENO[0]}): $*" >&2; exit 1; }
export MTOOLSRC=/dev/null PATH="$PATH:/usr/sbin:/sbin"

source "$(dirname "${BASH_SOURCE[0]}")/linea_comun.sh"

# The demo CD, the program at its root run from elsewhere: three clean, exact images; the check
# finds the set whole.
mkdir -p "$trabajo/demo" && cp -r "$demo" "$trabajo/demo/cd" && cp "$programa" "$trabajo/demo/cd/QTL99"
programa="$trabajo/demo/cd/QTL99" qtl99 0 --imagenes "$trabajo/demo/imagenes"
dice "$trabajo/errores" "Disco 2 de 3: $trabajo/demo/imagenes/Disco2.img" "  DATOS1.DAT" \
    "Generación de discos Finalizada"
comprobar_imagen "$trabajo/demo/imagenes/Disco1.img" "$demo/Discos/Disco1" LEEME.TXT INSTALA.INF
comprobar_imagen "$trabajo/demo/imagenes/Disco2.img" "$demo/Discos/Disco2" DATOS1.DAT PROGRAMA.BIN
comprobar_imagen "$trabajo/demo/imagenes/Disco3.img" "$demo/Discos/Disco3" DATOS2.DAT FIN.TXT
[ "$(ls "$trabajo/demo/imagenes")" = "$(printf 'Disco1.img\nDisco2.img\nDisco3.img')" ] ||
    falla "sobran archivos: $(ls "$trabajo/demo/imagenes")"
# A second run never overwrites an image that holds files.
md5sum "$trabajo/demo/imagenes/"* >"$trabajo/antes"
qtl99 1 --imagenes "$trabajo/demo/imagenes" --cd "$demo"
dice "$trabajo/errores" "disco 1 ($trabajo/demo/imagenes/Disco1.img): La unidad de destino debe estar vacia"
md5sum -c --quiet "$trabajo/antes" || falla "una imagen cambió"
# A folder name that is no text in the system's encoding is refused, never taken for another.
qtl99 1 --imagenes "$trabajo/set"$'\xff' --cd "$demo"
dice "$trabajo/errores" "no es texto válido en la codificación del sistema"
[ -z "$(ls "$trabajo" | grep '^set')" ] || falla "se escribió en $(ls "$trabajo" | grep '^set')"
qtl99 1 --comprobar --cd "$demo"$'\xff'
dice "$trabajo/errores" "no es texto válido en la codificación del sistema"
qtl99 0 --comprobar --cd "$demo"
dice "$trabajo/salida" "«PROGRAMA.BIN»: se copia, 49152 bytes" "El juego se generaría completo."
qtl99 0 --comprobar --json --cd "$demo"
comprobar_json si

# Each trap: the CD, what --comprobar says, and what --imagenes does (status, message, and the
# images left in place, checked as above). One row a case.
largo="$(for i in $(seq -w 1 20); do printf 'ARCHIVO%s.TXT,' "$i"; done)"  # 280 characters
cds="$trabajo/cds"
hacer_cd "$cds/sin_coma" 1 "Disco1=A.TXT,B.TXT"
archivo "$cds/sin_coma" 1 A.TXT 1000; archivo "$cds/sin_coma" 1 B.TXT 1000
hacer_cd "$cds/largo" 1 "Disco1=$largo"
for i in $(seq -w 1 20); do archivo "$cds/largo" 1 "ARCHIVO$i.TXT" 10; done
hacer_cd "$cds/falta" 2 "Disco1=A.TXT," "Disco2=B.TXT,FALTA.TXT,C.TXT,"
archivo "$cds/falta" 1 A.TXT 700; archivo "$cds/falta" 2 B.TXT 5000; archivo "$cds/falta" 2 C.TXT 1
hacer_cd "$cds/lleno" 1 "Disco1=UNO.CAB,DOS.CAB,"
archivo "$cds/lleno" 1 UNO.CAB 800000; archivo "$cds/lleno" 1 DOS.CAB 800000
hacer_cd "$cds/nombres" 1 "Disco1=BIEN.TXT,P%1.TXT,a*b.txt,AUX.TXT,Ω.txt,,SUB\\X.TXT,"
mkdir -p "$cds/nombres/Discos/Disco1/SUB"
for n in BIEN.TXT P%1.TXT 'a*b.txt' AUX.TXT Ω.txt SUB/X.TXT; do archivo "$cds/nombres" 1 "$n" 3; done
hacer_cd "$cds/alias" 1 "Disco1=abcdefghij1.txt,abcdefghij2.txt,ABCDEF~1.TXT,"
for n in abcdefghij1.txt abcdefghij2.txt 'ABCDEF~1.TXT'; do archivo "$cds/alias" 1 "$n" 5; done
hacer_cd "$cds/cantidad" 2 "Disco1=A.TXT," "Disco3=C.TXT," "disco01=A.TXT,"
archivo "$cds/cantidad" 1 A.TXT 3
mkdir -p "$cds/sin_ini"
hacer_cd "$cds/cero" 0 "Disco1=A.TXT,"
archivo "$cds/cero" 1 A.TXT 3
# Every trap on one CD: each is named all the same.
hacer_cd "$cds/todas" 6 "Disco1=A.TXT,B.TXT" "Disco2=$largo" "Disco3=FALTA.TXT," \
    "Disco4=UNO.CAB,DOS.CAB," "Disco5=a*b.txt," "Disco7=A.TXT,"
archivo "$cds/todas" 1 A.TXT 1; archivo "$cds/todas" 1 B.TXT 1; archivo "$cds/todas" 3 OTRO.TXT 1
for i in $(seq -w 1 20); do archivo "$cds/todas" 2 "ARCHIVO$i.TXT" 1; done
archivo "$cds/todas" 4 UNO.CAB 800000; archivo "$cds/todas" 4 DOS.CAB 800000
archivo "$cds/todas" 5 'a*b.txt' 1

while IFS='|' read -r caso comprobar imagenes estado mensaje discos; do
    [ -n "$caso" ] || continue
    qtl99 1 --comprobar --cd "$cds/$caso"
    IFS=';' read -ra lineas <<<"$comprobar"
    dice "$trabajo/salida" "${lineas[@]}" "EL JUEGO NO SE GENERARÍA COMPLETO."
    qtl99 1 --comprobar --json --cd "$cds/$caso"
    comprobar_json no
    [ "$imagenes" = si ] || continue
    qtl99 "$estado" --imagenes "$trabajo/$caso" --cd "$cds/$caso"
    [ -z "$mensaje" ] || dice "$trabajo/errores" "QTL99: ${mensaje//@/$trabajo/$caso}"
    # DISCO:NOMBRE... for each image that must be there; no other image.
    hechas=""
    for disco in $discos; do
        IFS=':' read -ra nombres <<<"$disco"
        comprobar_imagen "$trabajo/$caso/Disco${nombres[0]}.img" "$cds/$caso/Discos/Disco${nombres[0]}" "${nombres[@]:1}"
        hechas+="Disco${nombres[0]}.img "
    done
    [ "$(ls "$trabajo/$caso" | tr '\n' ' ')" = "$hechas" ] || falla "$caso dejó $(ls "$trabajo/$caso")"
done <<'TABLA'
sin_coma|«B.TXT»: NO SE COPIA: le falta la coma final|si|1|el juego no está completo|1:A.TXT
largo|«ARCHIVO18.TXT»: se copia;«ARCHIVO19.TXT»: NO SE COPIA: queda fuera del límite de 254;«ARCHIVO20.TXT»: NO SE COPIA: queda fuera|no
falta|«FALTA.TXT»: FALTA EN EL CD (error 53: No se encontró el archivo)|si|1|disco 2 (@/Disco2.img), archivo «FALTA.TXT»: error 53: No se encontró el archivo|1:A.TXT
lleno|ocupa 3126 de 2847 grupos de 512 bytes y 2 de 224 entradas de la raíz: NO CABE|si|1|disco 1 (@/Disco1.img), archivo «DOS.CAB»: error 61: Disco lleno|
nombres|«P%1.TXT»: se copia, 3 bytes;«a*b.txt»: NOMBRE QUE UN DISQUETE FAT NO ADMITE: lleva «*»;«AUX.TXT»: NOMBRE QUE UN DISQUETE FAT NO ADMITE: es el nombre de un dispositivo de DOS (AUX);«Ω.txt»: NOMBRE QUE UN DISQUETE FAT NO ADMITE: lleva «Ω», que no está en la página de códigos;«»: NO SE PUEDE COPIAR DEL CD (error 75;«SUB\X.TXT»: NO SE COPIA: va a una carpeta del disquete|si|1|El nombre del archivo a*b.txt del disco 1 no puede grabarse en un diskette: lleva «*», que FAT no admite|
alias|«abcdefghij2.txt»: se copia, 5 bytes;«ABCDEF~1.TXT»: NOMBRE QUE UN DISQUETE FAT NO ADMITE: puede ser el nombre corto que el diskette da a «abcdefghij1.txt»|si|1|El nombre del archivo ABCDEF~1.TXT del disco 1 no puede grabarse en un diskette: puede ser el nombre corto|
cantidad|DISCOS no tiene la clave Disco2;NO COPIA NINGÚN ARCHIVO;DISCOS tiene «Disco3», que no se lee: CANTIDAD da 2 discos;DISCOS tiene «disco01», que no se lee|si|1|disco 2 (@/Disco2.img): no se copió ningún archivo; la imagen queda vacía|1:A.TXT 2
cero|CANTIDAD no da ningún disco|si|1|CANTIDAD=«0» no da ningún disco: no se generó ninguna imagen|
todas|«B.TXT»: NO SE COPIA: le falta la coma final;«ARCHIVO19.TXT»: NO SE COPIA: queda fuera del límite de 254;«FALTA.TXT»: FALTA EN EL CD (error 53;NO CABE EN UN DISQUETE;«a*b.txt»: NOMBRE QUE UN DISQUETE FAT NO ADMITE;DISCOS no tiene la clave Disco6;DISCOS tiene «Disco7», que no se lee|no
sin_ini|NO HAY Archivos.ini en la raíz del CD;CANTIDAD no da ningún disco|si|1|El dispositivo origen, seleccionado no posee los archivos necesarios para la generacion de discos. Seleccione otro dispositivo y reintente|
TABLA

# Any folder name the file system allows is a drive: a ";" in it, a blank at its end.
cp -r "$demo" "$trabajo/cd;raro "
qtl99 0 --imagenes "$trabajo/imágenes;raras " --cd "$trabajo/cd;raro "
comprobar_imagen "$trabajo/imágenes;raras /Disco3.img" "$demo/Discos/Disco3" DATOS2.DAT FIN.TXT

# What the box cannot say rides in the failure's own line: which image, and why.
mkdir -p "$trabajo/ocupada/Disco1.img"
qtl99 1 --imagenes "$trabajo/ocupada" --cd "$demo"
dice "$trabajo/errores" "QTL99: error 75: Error de acceso a la ruta o el archivo ($trabajo/ocupada/Disco1.img no es una imagen de disquete sino una carpeta"

# A set that cannot be written whole is refused before its first image: a count whose disk
# number overflows after its last disk, or more images than the folder's disk has room for (a
# small disk of its own where root may mount one, in a namespace that ends with the check).
hacer_cd "$cds/enorme" 32767 "Disco1=A.TXT," "Disco2=A.TXT," "Disco3=A.TXT,"
archivo "$cds/enorme" 1 A.TXT 3
qtl99 1 --imagenes "$trabajo/enorme" --cd "$cds/enorme"
dice "$trabajo/errores" "QTL99: CANTIDAD=«32767»: tras el disco 32767 el número de disco se desborda"
[ -z "$(ls -A "$trabajo/enorme")" ] || falla "CANTIDAD=32767 escribió $(ls "$trabajo/enorme")"
if [ "$(id -u)" -eq 0 ] && unshare --mount true 2>/dev/null; then
    mkdir -p "$trabajo/pequeno"
    estado=0
    unshare --mount --propagation private sh -c '
        mount -t tmpfs -o size=3m tmpfs "$1" || exit 8
        env -u DISPLAY "$2" --imagenes "$1" --cd "$3" >/dev/null; s=$?
        [ -z "$(ls -A "$1")" ] || exit 9
        exit "$s"' sh "$trabajo/pequeno" "$programa" "$demo" 2>"$trabajo/errores" || estado=$?
    [ "$estado" -eq 1 ] || falla "un disco sin sitio terminó con $estado: $(cat "$trabajo/errores")"
    dice "$trabajo/errores" "QTL99: no caben 3 imágenes de disquete (" "en $trabajo/pequeno: su disco tiene 3 MB libres"
fi

# A library that finds drives and cannot be loaded is said once, in words, and the set is
# written all the same.
mkdir -p "$trabajo/rotas" && : >"$trabajo/rotas/libmount.so.1" && : >"$trabajo/rotas/libudev.so.1"
LD_LIBRARY_PATH="$trabajo/rotas" qtl99 0 --imagenes "$trabajo/sin-biblioteca" --cd "$demo"
[ "$(grep -c 'libmount' "$trabajo/errores")" -eq 1 ] ||
    falla "libmount rota, dicho así: $(cat "$trabajo/errores")"
dice "$trabajo/errores" "QTL99: no se puede usar libmount ("
comprobar_imagen "$trabajo/sin-biblioteca/Disco3.img" "$demo/Discos/Disco3" DATOS2.DAT FIN.TXT

# Wrong usage: a usage line and status 2; --help and --version on standard output.
while IFS='|' read -r argumentos mensaje; do
    read -ra args <<<"$argumentos"
    qtl99 2 "${args[@]}"
    dice "$trabajo/errores" "QTL99: $mensaje" "Uso: QTL99 [--imagenes CARPETA | --comprobar [--json]] [--cd CD]"
done <<'TABLA'
--nada|opción no válida «--nada»
--imagenes|la opción «--imagenes» necesita un argumento
--comprobar --imagenes x|--imagenes y --comprobar no van juntas
--json --imagenes x|--json va solo con --comprobar
--comprobar --json=si|la opción «--json» no lleva argumento
--comprobar sobra|sobra «sobra»
--comprobar -xy|opción no válida «-x»
--help=x|la opción «--help» no lleva argumento
--imagenes a --imagenes b|--imagenes va una sola vez
--c x|la opción «--c» es ambigua
TABLA
qtl99 0 --help
dice "$trabajo/salida" "--imagenes CARPETA" "--comprobar"
# The windows asked for on a CD that is not there, or is neither a folder nor a file: why, and
# status 1, with no window.
mkfifo "$trabajo/tubo.iso" && ln -s "$trabajo/nada.iso" "$trabajo/roto.iso"
while IFS='|' read -r argumentos mensaje; do
    read -ra args <<<"$argumentos"
    qtl99 1 "${args[@]}"
    dice "$trabajo/errores" "QTL99: $mensaje"
done <<TABLA
--cd $trabajo/nada.iso|«$trabajo/nada.iso» no existe
$trabajo/roto.iso|«$trabajo/roto.iso» no existe
--cd=$trabajo/tubo.iso|«$trabajo/tubo.iso» no es una carpeta ni una imagen de CD
TABLA

# A report that cannot be written is no success: a full device, an output left closed.
for salida in /dev/full cerrada; do
    estado=0
    if [ "$salida" = cerrada ]; then
        env -u DISPLAY "$programa" --comprobar --cd "$demo" >&- 2>"$trabajo/errores" || estado=$?
    else
        env -u DISPLAY "$programa" --comprobar --cd "$demo" >"$salida" 2>"$trabajo/errores" ||
            estado=$?
    fi
    [ "$estado" -eq 1 ] || falla "--comprobar hacia $salida terminó con $estado"
    dice "$trabajo/errores" "QTL99: no se pudo escribir el informe"
done
# With its standard error left closed, the first file opened never takes its place: the set is
# written whole, with nothing said into an image.
env -u DISPLAY "$programa" --imagenes "$trabajo/sin-errores" --cd "$demo" </dev/null >/dev/null 2>&- ||
    falla "con la salida de errores cerrada, QTL99 falló"
comprobar_imagen "$trabajo/sin-errores/Disco1.img" "$demo/Discos/Disco1" LEEME.TXT INSTALA.INF
comprobar_imagen "$trabajo/sin-errores/Disco3.img" "$demo/Discos/Disco3" DATOS2.DAT FIN.TXT
# A pipe whose reader is gone stops the set cleanly at a disk's end: no signal ends it half way,
# and what it leaves is whole images only.
python3 - "$programa" "$trabajo/tubo" "$demo" <<'FIN' || falla "la tubería rota no paró bien"
import os, subprocess, sys
lectura, escritura = os.pipe()
os.close(lectura)
r = subprocess.run([sys.argv[1], "--imagenes", sys.argv[2], "--cd", sys.argv[3]],
                   stdin=subprocess.DEVNULL, stdout=escritura, stderr=escritura)
sys.exit(f"QTL99 terminó con {r.returncode}, no 1" if r.returncode != 1 else 0)
FIN
for resto in $(ls -A "$trabajo/tubo"); do
    [[ "$resto" =~ ^Disco[0-9]\.img$ ]] || falla "la tubería rota dejó $resto"
    fsck.fat -n "$trabajo/tubo/$resto" >/dev/null || falla "la tubería rota dejó $resto a medias"
done
# A file name of the CD that carries an escape sequence is shown escaped, never sent raw.
hacer_cd "$trabajo/escape" 1 "Disco1=$(printf 'A\033[2JB.TXT'),"
archivo "$trabajo/escape" 1 "$(printf 'A\033[2JB.TXT')" 3
qtl99 1 --comprobar --cd "$trabajo/escape"
dice "$trabajo/salida" '«A\x1b[2JB.TXT»'
qtl99 1 --imagenes "$trabajo/escape-imagenes" --cd "$trabajo/escape"
dice "$trabajo/errores" 'El nombre del archivo A\x1b[2JB.TXT del disco 1'
! grep -q $'\033' "$trabajo/salida" "$trabajo/errores" || falla "una secuencia de escape salió tal cual"
qtl99 0 --version
dice "$trabajo/salida" "QTL99 "
echo "La línea de órdenes escribió y comprobó los juegos sin pantalla"
