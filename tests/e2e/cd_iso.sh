#!/usr/bin/env bash
# The demo CD image as a user gets it: extracted read-only, QTL99 started from it on Xvfb, its
# Qt taken from the CD, one disk generated, then Salir -> Sí. The CD must not change.
# Usage: cd_iso.sh PATH/TO/QTL99-demo.iso
set -euo pipefail
iso="$(readlink -f "$1")"
trabajo="$(mktemp -d)"
cd_dir="$trabajo/cd"; floppy="$trabajo/floppy"
mkdir -p "$floppy"
xorriso -osirrox on -indev "$iso" -extract / "$cd_dir" >/dev/null 2>&1
chmod -R a-w "$cd_dir"
huella() { (cd "$cd_dir" && find . -type f -exec sha1sum {} + | sort; find . | sort) | sha1sum; }
antes="$(huella)"

source "$(dirname "${BASH_SOURCE[0]}")/comun.sh"
unset LD_LIBRARY_PATH QT_PLUGIN_PATH
# A home of its own, to see that the program leaves nothing there either.
mkdir -p "$trabajo/casa"
( cd "$trabajo" && HOME="$trabajo/casa" QTL99_DRIVES="d:=$cd_dir,optical;a:=$floppy" exec "$cd_dir/QTL99" ) &
qtl_pid=$!

opcion="$(ventana QTL99)"
# Every Qt library and the platform plugin come from the CD.
qt_cargadas="$(awk '{print $6}' "/proc/$qtl_pid/maps" | grep -E 'libQt6|libqxcb' | sort -u)"
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
[ "$(huella)" = "$antes" ] || falla "el CD cambió"
escrito="$(cd "$trabajo/casa" && find . -mindepth 1 | grep -v '^./.cache/fontconfig' || true)"
[ -z "$escrito" ] || falla "escribió en la carpeta personal: $escrito"
echo "QTL99 corrió desde la imagen del CD con su propio Qt y generó el disco 1"
