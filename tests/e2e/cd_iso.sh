#!/usr/bin/env bash
# The demo CD image as a user gets it: extracted read-only under a name with a blank and an
# accent, QTL99 started on Xvfb by the CD's autorun file from another folder, its Qt and mtools
# taken from the CD, two floppy images generated, then Salir -> Sí. The CD must not change. Then,
# as root, the CD mounted under /media as a desktop mounts it and QTL99 run with no drive table:
# a: is a drive of images in the documents folder, and a set is written there.
# Usage: cd_iso.sh PATH/TO/QTL99-demo.iso
set -euo pipefail
# Under a session bus of its own, as a desktop session runs its programs: nothing then depends on
# whether the machine runs one, nor on libdbus starting one in the home folder.
[ -n "${QTL99_BUS_PROPIO:-}" ] || QTL99_BUS_PROPIO=1 exec dbus-run-session -- bash "$0" "$@"
iso="$(readlink -f "$1")"
trabajo="$(mktemp -d)"
cd_dir="$trabajo/CD de instalación"; imagenes="$trabajo/Disquetes"
xorriso -osirrox on -indev "$iso" -extract / "$cd_dir" >/dev/null 2>&1
chmod -R a-w "$cd_dir"
# The desktop runs autorun as whoever inserted the CD: executable by all in the image itself.
modo="$(xorriso -indev "$iso" -lsdl /autorun 2>/dev/null)"
[[ "$modo" =~ ^-..x..x..x ]] || { echo "FALLO: autorun no es ejecutable en la imagen: $modo" >&2; exit 1; }
huella() { (cd "$cd_dir" && find . -type f -exec sha1sum {} + | sort; find . | sort) | sha1sum; }
antes="$(huella)"

source "$(dirname "${BASH_SOURCE[0]}")/comun.sh"

# In the open generation window: Comenzar, disks 1 and 2 written, Cancel at disk 3, Cerrar,
# then Salir -> Sí; the program must end with status 0.
dos_discos_y_salir() {
    sleep 0.5
    pulsar "$generar" 360 210                 # Comenzar
    responder Quintarel                       # disk 1: OK
    responder Quintarel                       # disk 2: OK
    responder Quintarel Escape                # disk 3: Cancel; the window stays open
    sleep 0.5
    pulsar "$generar" 452 210                 # Cerrar
    opcion="$(ventana QTL99)"
    sleep 0.5
    pulsar "$opcion" 310 247                  # Salir
    responder Quintarel                       # Sí
    esperar_fin
}
# The two images of the demo set in a folder, each holding exactly its disk's files.
comprobar_juego() {
    comprobar_imagen "$1/Disco1.img" "$cd_dir/Discos/Disco1" LEEME.TXT INSTALA.INF
    comprobar_imagen "$1/Disco2.img" "$cd_dir/Discos/Disco2" DATOS1.DAT PROGRAMA.BIN
}
unset LD_LIBRARY_PATH QT_PLUGIN_PATH
# A home of its own, to see that the program leaves nothing there either.
mkdir -p "$trabajo/casa"
# Started through a link to it, as from a desktop's shortcut: it still finds its CD.
ln -s "$cd_dir/autorun" "$trabajo/enlace al autorun"
( cd "$trabajo/casa" && HOME="$trabajo/casa" QTL99_DRIVES="d:=$cd_dir,optical;a:=$imagenes,images" \
      exec "../enlace al autorun" ) &
qtl_pid=$!

opcion="$(ventana QTL99)"
[ "$(readlink "/proc/$qtl_pid/exe")" = "$cd_dir/QTL99" ] || falla "autorun no dio paso al QTL99 del CD"
[ "$(readlink "/proc/$qtl_pid/cwd")" = "$cd_dir" ] || falla "QTL99 no corre en la raíz del CD"
# Every Qt library and the platform plugin come from the CD.
qt_cargadas="$(sed -E 's/^([^ ]+ +){5}//' "/proc/$qtl_pid/maps" | grep -E 'libQt6|libqxcb' | sort -u)"
[ -n "$qt_cargadas" ] || falla "no se ve ninguna biblioteca Qt cargada"
fuera="$(echo "$qt_cargadas" | grep -v "^$cd_dir/" || true)"
[ -z "$fuera" ] || falla "bibliotecas Qt de fuera del CD: $fuera"
echo "$qt_cargadas" | grep -q "^$cd_dir/plugins/platforms/libqxcb.so" || falla "libqxcb no vino del CD"

sleep 0.5
pulsar "$opcion" 133 247                      # Generar
generar="$(ventana 'Generación de Discos de Instalación')"
dos_discos_y_salir

comprobar_juego "$imagenes"
[ "$(ls "$imagenes" | tr '\n' ' ')" = "Disco1.img Disco2.img " ] || falla "imágenes: $(ls "$imagenes")"
# The CD's own mtools writes a floppy image that fsck.fat accepts, and reads it back.
"$cd_dir/mformat" -i "$trabajo/disco.img" -f 1440 -C :: || falla "mformat del CD"
"$cd_dir/mcopy" -i "$trabajo/disco.img" "$cd_dir/Discos/Disco1/LEEME.TXT" ::LEEME.TXT || falla "mcopy del CD"
PATH="$PATH:/usr/sbin:/sbin" fsck.fat -n "$trabajo/disco.img" >/dev/null || falla "fsck.fat rechaza el disco escrito con el mtools del CD"
"$cd_dir/mtype" -i "$trabajo/disco.img" ::LEEME.TXT | cmp - "$cd_dir/Discos/Disco1/LEEME.TXT" ||
    falla "mtype del CD no devuelve lo copiado"
[ "$(huella)" = "$antes" ] || falla "el CD cambió"
escrito="$(cd "$trabajo/casa" && find . -mindepth 1 | grep -v '^./.cache/fontconfig' || true)"
[ -z "$escrito" ] || falla "escribió en la carpeta personal: $escrito"
echo "El autorun del CD abrió su QTL99, que corrió con su propio Qt y generó dos imágenes de disquete"

# No drive table, the CD itself mounted read-only where a desktop mounts it, through a FUSE ISO
# reader under an optical device's name: a medium of its own whatever the machine's disks are.
# Only root can mount it here.
if [ "$(id -u)" -ne 0 ]; then
    echo "Sin tabla de unidades: se omite (montar el CD necesita root)"
    exit 77  # skipped: what needs root never ran
fi
[ -d /media ] || media_creada=1  # made here, removed with the CD
montado="/media/QTL99 prueba $$"
mkdir -p "$montado"
fuseiso -n "$iso" "$montado" -o "ro,fsname=/dev/sr-qtl99-$$" || falla "no se pudo montar el CD"
grep -qF " - fuse /dev/sr-qtl99-$$ " /proc/self/mountinfo || falla "el CD no quedó montado"
mkdir -p "$trabajo/casa2"
( cd "$montado" && HOME="$trabajo/casa2" XDG_CONFIG_HOME="$trabajo/casa2/.config" \
      env -u QTL99_DRIVES ./QTL99 ) &
qtl_pid=$!
opcion="$(ventana QTL99)"
sleep 0.5
pulsar "$opcion" 133 247                      # Generar
generar="$(ventana 'Generación de Discos de Instalación')"
[ -z "$(xdotool search --onlyvisible --name '^Quintarel$' 2>/dev/null || true)" ] ||
    falla "Generar pidió un disco: a: no es la unidad de imágenes"
dos_discos_y_salir
documentos="$trabajo/casa2/Documents/Disquetes QTL99"
comprobar_juego "$documentos"
echo "Sin tabla de unidades, a: es la unidad de imágenes: dos imágenes en $documentos"
