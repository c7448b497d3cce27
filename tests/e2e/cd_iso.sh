#!/usr/bin/env bash
# The demo CD image as a user gets it: extracted read-only under a name with a blank and an
# accent, QTL99 started on Xvfb by the CD's autorun file from another folder, its Qt taken from
# the CD, one disk generated, then Salir -> Sí. The CD must not change.
# Usage: cd_iso.sh PATH/TO/QTL99-demo.iso
set -euo pipefail
iso="$(readlink -f "$1")"
trabajo="$(mktemp -d)"
cd_dir="$trabajo/CD de instalación"; floppy="$trabajo/floppy"
mkdir -p "$floppy"
xorriso -osirrox on -indev "$iso" -extract / "$cd_dir" >/dev/null 2>&1
chmod -R a-w "$cd_dir"
# The desktop runs autorun as whoever inserted the CD: executable by all in the image itself.
modo="$(xorriso -indev "$iso" -lsdl /autorun 2>/dev/null)"
[[ "$modo" =~ ^-..x..x..x ]] || { echo "FALLO: autorun no es ejecutable en la imagen: $modo" >&2; exit 1; }
huella() { (cd "$cd_dir" && find . -type f -exec sha1sum {} + | sort; find . | sort) | sha1sum; }
antes="$(huella)"

source "$(dirname "${BASH_SOURCE[0]}")/comun.sh"
unset LD_LIBRARY_PATH QT_PLUGIN_PATH
# A home of its own, to see that the program leaves nothing there either.
mkdir -p "$trabajo/casa"
( cd "$trabajo/casa" && HOME="$trabajo/casa" QTL99_DRIVES="d:=$cd_dir,optical;a:=$floppy" \
      exec "../CD de instalación/autorun" ) &
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
sleep 0.5
pulsar "$generar" 360 210                     # Comenzar
responder Quintarel                           # disk 1: OK
responder Quintarel Escape                    # disk 2: Cancel; the window stays open
sleep 0.5
pulsar "$generar" 452 210                     # Cerrar
opcion="$(ventana QTL99)"
sleep 0.5
pulsar "$opcion" 310 247                      # Salir
responder Quintarel                           # Sí
esperar_fin

for f in LEEME.TXT INSTALA.INF; do
    cmp "$cd_dir/Discos/Disco1/$f" "$floppy/$f" || falla "$f distinto"
done
[ "$(ls "$floppy" | wc -l)" -eq 2 ] || falla "disco 1: $(ls "$floppy")"
# The CD's own mtools writes a floppy image that fsck.fat accepts, and reads it back.
"$cd_dir/mformat" -i "$trabajo/disco.img" -f 1440 -C :: || falla "mformat del CD"
"$cd_dir/mcopy" -i "$trabajo/disco.img" "$cd_dir/Discos/Disco1/LEEME.TXT" ::LEEME.TXT || falla "mcopy del CD"
PATH="$PATH:/usr/sbin:/sbin" fsck.fat -n "$trabajo/disco.img" >/dev/null || falla "fsck.fat rechaza el disco escrito con el mtools del CD"
"$cd_dir/mtype" -i "$trabajo/disco.img" ::LEEME.TXT | cmp - "$cd_dir/Discos/Disco1/LEEME.TXT" ||
    falla "mtype del CD no devuelve lo copiado"
[ "$(huella)" = "$antes" ] || falla "el CD cambió"
escrito="$(cd "$trabajo/casa" && find . -mindepth 1 | grep -v '^./.cache/fontconfig' || true)"
[ -z "$escrito" ] || falla "escribió en la carpeta personal: $escrito"
echo "El autorun del CD abrió su QTL99, que corrió con su propio Qt y generó el disco 1; el mtools del CD escribe FAT"
