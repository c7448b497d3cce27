#!/usr/bin/env bash
# A person's whole session, driven with xdotool on a real X server (Xvfb): Generar, Comenzar,
# the prompts answered from the keyboard onto a drive of floppy images, then Salir -> Sí. Each
# image is then checked with readers of its own: fsck.fat and mtools.
# Usage: generacion_completa.sh PATH/TO/QTL99
set -euo pipefail
# Under a session bus of its own, as a desktop session runs its programs: nothing then depends on
# whether the machine runs one, nor on libdbus starting one in the home folder.
[ -n "${QTL99_BUS_PROPIO:-}" ] || QTL99_BUS_PROPIO=1 exec dbus-run-session -- bash "$0" "$@"
programa="$(readlink -f "$1")"
trabajo="$(mktemp -d)"
# The CD: two disks, the program at its root.
cd_dir="$trabajo/cd"; imagenes="$trabajo/Disquetes"
mkdir -p "$cd_dir/Discos/Disco1" "$cd_dir/Discos/Disco2"
printf '[GENERAL]\r\nCANTIDAD=2\r\nDiskPath=\\Discos\\Disco\r\n[DISCOS]\r\nDisco1=UNO.TXT,DOS.BIN,\r\nDisco2=TRES.TXT,\r\n' > "$cd_dir/Archivos.ini"
echo "primer archivo" > "$cd_dir/Discos/Disco1/UNO.TXT"
head -c 200000 /dev/urandom > "$cd_dir/Discos/Disco1/DOS.BIN"
echo "tercer archivo" > "$cd_dir/Discos/Disco2/TRES.TXT"
cp "$programa" "$cd_dir/QTL99"

source "$(dirname "${BASH_SOURCE[0]}")/comun.sh"

( cd "$cd_dir" && QTL99_DRIVES="d:=$cd_dir,optical;a:=$imagenes,images" exec ./QTL99 ) &
qtl_pid=$!

opcion="$(ventana QTL99)"
sleep 0.5
pulsar "$opcion" 133 247                      # Generar
generar="$(ventana 'Generación de Discos de Instalación')"
sleep 0.5
pulsar "$generar" 360 210                     # Comenzar
responder Quintarel                           # "Inserte el diskette número 1": OK
responder Quintarel                           # "... número 2": OK, the next image
responder Quintarel                           # "Generación de discos Finalizada"
opcion="$(ventana QTL99)"                     # the option window is back
sleep 0.5
pulsar "$opcion" 310 247                      # Salir
responder Quintarel                           # "Está seguro...": Sí
esperar_fin
comprobar_imagen "$imagenes/Disco1.img" "$cd_dir/Discos/Disco1" UNO.TXT DOS.BIN
comprobar_imagen "$imagenes/Disco2.img" "$cd_dir/Discos/Disco2" TRES.TXT
[ "$(ls "$imagenes" | tr '\n' ' ')" = "Disco1.img Disco2.img " ] || falla "imágenes: $(ls -a "$imagenes")"
echo "Juego de dos imágenes de disquete generado y programa terminado con estado 0"
