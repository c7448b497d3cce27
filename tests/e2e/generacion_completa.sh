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

# No drive table, on a machine whose disk service (a stand-in, on a system bus of its own) has a
# USB floppy drive with no disk in it: a: is that drive; each disk is mounted by the service when
# it is needed, each in a folder of its own, and let go before the next one is asked for. The CD
# is mounted where a desktop mounts it, which only root can do here.
if [ "$(id -u)" -ne 0 ]; then
    echo "Disquetera USB del servicio de discos: se omite (montar el CD necesita root)"
    exit 77  # skipped: what needs root never ran
fi
bus="$trabajo/bus"
mkdir -p "$bus"
cat > "$bus/system.conf" <<FIN
<busconfig><type>system</type><listen>unix:path=$bus/socket</listen><auth>EXTERNAL</auth>
  <policy context="default"><allow user="*"/><allow own="*"/><allow send_destination="*"/>
    <allow receive_sender="*"/></policy></busconfig>
FIN
dbus-daemon --config-file="$bus/system.conf" --nofork --print-address=1 > "$bus/direccion" &
otros_pids="$!"
for _ in $(seq 100); do [ -s "$bus/direccion" ] && break; sleep 0.1; done
export DBUS_SYSTEM_BUS_ADDRESS="$(head -1 "$bus/direccion")"
[ -n "$DBUS_SYSTEM_BUS_ADDRESS" ] || falla "no arrancó el bus del sistema de prueba"
# The service ends when its input closes; its device nodes are nowhere, so the disks must be
# mounted through it.
mkfifo "$bus/entrada"
/usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/../support/fake_udisks.py" "$DBUS_SYSTEM_BUS_ADDRESS" \
    "$trabajo/sin-dispositivos/" < "$bus/entrada" > "$bus/listo" &
otros_pids="$otros_pids $!"
exec 8> "$bus/entrada"
for _ in $(seq 100); do grep -q ready "$bus/listo" 2>/dev/null && break; sleep 0.1; done
grep -q ready "$bus/listo" || falla "no arrancó el servicio de discos de prueba"
servicio() {
    dbus-send --system --print-reply --dest=org.freedesktop.UDisks2 /org/freedesktop/UDisks2 \
        "org.qtl99.FakeUDisks.$1" "${@:2}" > /dev/null || falla "servicio $1"
}
# The user puts disk n in the drive: an empty floppy, mounted (when it is) in a folder of its own.
insertar() {
    mkdir -p "$trabajo/DISCO$1"
    servicio InsertDisk "string:DISCO$1"
    servicio SetMountFolder "string:$trabajo/DISCO$1"
}
no_montado() {
    ! dbus-send --system --print-reply --dest=org.freedesktop.UDisks2 \
        /org/freedesktop/UDisks2/block_devices/sdb org.freedesktop.DBus.Properties.Get \
        string:org.freedesktop.UDisks2.Filesystem string:MountPoints | grep -q 'array of bytes' ||
        falla "el disquete seguía montado $1"
}

xorriso -as mkisofs -quiet -R -o "$trabajo/cd.iso" "$cd_dir" 2>/dev/null || falla "xorriso"
[ -d /media ] || media_creada=1  # made here, removed with the CD
montado="/media/QTL99 disquetera $$"
mkdir -p "$montado"
fuseiso -n "$trabajo/cd.iso" "$montado" -o "ro,fsname=/dev/sr-qtl99-$$" || falla "no se pudo montar el CD"
mkdir -p "$trabajo/casa"
( cd "$montado" && HOME="$trabajo/casa" env -u QTL99_DRIVES ./QTL99 ) &
qtl_pid=$!
opcion="$(ventana QTL99)"
sleep 0.5
pulsar "$opcion" 133 247                      # Generar
insertar 1                                    # "Error: Inserte un disco en la unidad": a: is empty
responder Quintarel                           # Reintentar
generar="$(ventana 'Generación de Discos de Instalación')"
sleep 0.5
pulsar "$generar" 360 210                     # Comenzar
ventana Quintarel > /dev/null                 # "Inserte el diskette número 1"
no_montado "al pedir el disco 1"
responder Quintarel                           # OK
ventana Quintarel > /dev/null                 # "... número 2"
no_montado "al pedir el disco 2"
insertar 2
responder Quintarel                           # OK
ventana Quintarel > /dev/null                 # "Generación de discos Finalizada"
no_montado "al terminar"
responder Quintarel
opcion="$(ventana QTL99)"
sleep 0.5
pulsar "$opcion" 310 247                      # Salir
responder Quintarel                           # Sí
esperar_fin
[ "$(ls "$trabajo/DISCO1" | tr '\n' ' ')" = "DOS.BIN UNO.TXT " ] || falla "disco 1: $(ls -a "$trabajo/DISCO1")"
[ "$(ls "$trabajo/DISCO2" | tr '\n' ' ')" = "TRES.TXT " ] || falla "disco 2: $(ls -a "$trabajo/DISCO2")"
for f in Disco1/UNO.TXT Disco1/DOS.BIN Disco2/TRES.TXT; do
    cmp "$cd_dir/Discos/$f" "$trabajo/DISCO${f:5:1}/${f#*/}" || falla "$f distinto"
done
echo "Sin tabla de unidades, a: es la disquetera USB del servicio de discos: dos discos, cada uno montado al pedirlo y soltado antes del siguiente"
