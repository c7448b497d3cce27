#!/usr/bin/env bash
# A person's whole session, driven with xdotool on a real X server (Xvfb): Generar, Comenzar,
# the prompts answered from the keyboard, the "floppy" emptied between disks, then Salir -> Sí.
# Usage: generacion_completa.sh PATH/TO/QTL99
set -euo pipefail
programa="$(readlink -f "$1")"
trabajo="$(mktemp -d)"
xvfb_pid=""
qtl_pid=""
limpiar() {
    [ -n "$qtl_pid" ] && kill "$qtl_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$trabajo"
}
trap limpiar EXIT
falla() { echo "FALLO: $*" >&2; exit 1; }

# The CD: two disks, the program at its root.
cd_dir="$trabajo/cd"; floppy="$trabajo/floppy"; sacado="$trabajo/disco1"
mkdir -p "$cd_dir/Discos/Disco1" "$cd_dir/Discos/Disco2" "$floppy" "$sacado"
printf '[GENERAL]\r\nCANTIDAD=2\r\nDiskPath=\\Discos\\Disco\r\n[DISCOS]\r\nDisco1=UNO.TXT,DOS.BIN,\r\nDisco2=TRES.TXT,\r\n' > "$cd_dir/Archivos.ini"
echo "primer archivo" > "$cd_dir/Discos/Disco1/UNO.TXT"
head -c 200000 /dev/urandom > "$cd_dir/Discos/Disco1/DOS.BIN"
echo "tercer archivo" > "$cd_dir/Discos/Disco2/TRES.TXT"
cp "$programa" "$cd_dir/QTL99"

# A private X server.
exec 5> "$trabajo/pantalla"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$trabajo/pantalla" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$trabajo/pantalla")"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

( cd "$cd_dir" && QTL99_DRIVES="d:=$cd_dir,optical;a:=$floppy" exec ./QTL99 ) &
qtl_pid=$!

# The id of the visible window with this exact title, waiting for it to appear.
ventana() {
    for _ in $(seq 150); do
        local id
        id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1 || true)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    falla "no apareció la ventana '$1'"
}
# Clicks at a point given in pixels from the window's client area.
pulsar() {
    local id="$1" x="$2" y="$3"
    eval "$(xdotool getwindowgeometry --shell "$id")"
    xdotool mousemove "$((X + x))" "$((Y + y))" click 1
}
# Answers the box with this title from the keyboard (Return takes the first button).
responder() {
    local titulo="$1" id
    id="$(ventana "$titulo")"
    sleep 0.3
    xdotool windowfocus --sync "$id" key Return
    for _ in $(seq 100); do xdotool getwindowname "$id" >/dev/null 2>&1 || return 0; sleep 0.1; done
    falla "la caja '$titulo' no se cerró"
}

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
estado=0
for _ in $(seq 100); do kill -0 "$qtl_pid" 2>/dev/null || break; sleep 0.1; done
wait "$qtl_pid" || estado=$?
qtl_pid=""
[ "$estado" -eq 0 ] || falla "QTL99 terminó con estado $estado"
cmp "$cd_dir/Discos/Disco1/UNO.TXT" "$sacado/UNO.TXT" || falla "UNO.TXT distinto"
cmp "$cd_dir/Discos/Disco1/DOS.BIN" "$sacado/DOS.BIN" || falla "DOS.BIN distinto"
cmp "$cd_dir/Discos/Disco2/TRES.TXT" "$floppy/TRES.TXT" || falla "TRES.TXT distinto"
[ "$(ls "$floppy")" = "TRES.TXT" ] || falla "disco 2: $(ls "$floppy")"
echo "Juego de dos discos generado y programa terminado con estado 0"
