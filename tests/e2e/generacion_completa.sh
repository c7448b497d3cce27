#!/usr/bin/env bash
# A person's whole session, driven with xdotool on a real X server (Xvfb): Generar, Comenzar,
# the prompts answered from the keyboard, the "floppy" emptied between disks, then Salir -> Sí.
# Usage: generacion_completa.sh PATH/TO/QTL99
set -euo pipefail
programa="$(readlink -f "$1")"
trabajo="$(mktemp -d)"
# The CD: two disks, the program at its root.
cd_dir="$trabajo/cd"; floppy="$trabajo/floppy"; sacado="$trabajo/disco1"
mkdir -p "$cd_dir/Discos/Disco1" "$cd_dir/Discos/Disco2" "$floppy" "$sacado"
printf '[GENERAL]\r\nCANTIDAD=2\r\nDiskPath=\\Discos\\Disco\r\n[DISCOS]\r\nDisco1=UNO.TXT,DOS.BIN,\r\nDisco2=TRES.TXT,\r\n' > "$cd_dir/Archivos.ini"
echo "primer archivo" > "$cd_dir/Discos/Disco1/UNO.TXT"
head -c 200000 /dev/urandom > "$cd_dir/Discos/Disco1/DOS.BIN"
echo "tercer archivo" > "$cd_dir/Discos/Disco2/TRES.TXT"
cp "$programa" "$cd_dir/QTL99"

source "$(dirname "${BASH_SOURCE[0]}")/comun.sh"

( cd "$cd_dir" && QTL99_DRIVES="d:=$cd_dir,optical;a:=$floppy" exec ./QTL99 ) &
qtl_pid=$!

opcion="$(ventana QTL99)"
sleep 0.5
pulsar "$opcion" 133 247                      # Generar
generar="$(ventana 'Generación de Discos de Instalación')"
sleep 0.5
pulsar "$generar" 360 210                     # Comenzar
responder Quintarel                           # "Inserte el diskette número 1": OK
ventana Quintarel >/dev/null                  # "... número 2": take disk 1 out first
[ "$(ls "$floppy" | sort | tr '\n' ' ')" = "DOS.BIN UNO.TXT " ] || falla "disco 1: $(ls "$floppy")"
mv "$floppy"/* "$sacado"/
responder Quintarel
responder Quintarel                           # "Generación de discos Finalizada"
opcion="$(ventana QTL99)"                     # the option window is back
sleep 0.5
pulsar "$opcion" 310 247                      # Salir
responder Quintarel                           # "Está seguro...": Sí
esperar_fin
cmp "$cd_dir/Discos/Disco1/UNO.TXT" "$sacado/UNO.TXT" || falla "UNO.TXT distinto"
cmp "$cd_dir/Discos/Disco1/DOS.BIN" "$sacado/DOS.BIN" || falla "DOS.BIN distinto"
cmp "$cd_dir/Discos/Disco2/TRES.TXT" "$floppy/TRES.TXT" || falla "TRES.TXT distinto"
[ "$(ls "$floppy")" = "TRES.TXT" ] || falla "disco 2: $(ls "$floppy")"
echo "Juego de dos discos generado y programa terminado con estado 0"
