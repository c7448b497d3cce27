#!/usr/bin/env bash
# The USB floppy drive on the machine's own disk service: Debian's udisksd, polkitd and
# systemd-udevd on a system bus of the test's own, in a mount namespace of its own, with a loop
# device playing a USB floppy drive. The window, run as an ordinary user on Xvfb, finds the drive
# empty, then writes a three-disk set with a disk put in at each prompt (and, once, a disk of
# zeros first). Every disk is checked with fsck.fat and read back by its long names; no disk is
# ever swapped while mounted, and nothing is left mounted or running. Where the stand cannot run
# (not root, a package or a kernel feature missing) it says so and exits 77: skipped.
# Usage: servicio_de_discos.sh PATH/TO/QTL99
set -euo pipefail
omitir() { echo "se omite: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || omitir "el servicio de discos de verdad necesita root para montarse"
for p in /usr/libexec/udisks2/udisksd /lib/systemd/systemd-udevd /usr/lib/polkit-1/polkitd \
         /usr/bin/fusefat /usr/bin/fuseiso /usr/sbin/losetup /usr/bin/setpriv /usr/bin/unshare \
         /usr/sbin/mkfs.fat /usr/sbin/blockdev; do
    [ -x "$p" ] || omitir "falta $p"
done
[ -c /dev/fuse ] && [ -c /dev/loop-control ] || omitir "el núcleo no ofrece FUSE o dispositivos loop"
grep -qw overlay /proc/filesystems || omitir "el núcleo no ofrece overlay"

# Everything runs in a mount namespace of the test's own: what it mounts (its /run, /dev,
# /media, the mount helper, the drive's "removable") is gone with it, and the machine's own
# /run/udev and /dev are never touched.
if [ -z "${QTL99_ESPACIO_PROPIO:-}" ]; then
    # A drive left by a run that was killed is let go first.
    losetup -nO NAME,BACK-FILE | awk '$2 ~ /qtl99-disquetera/ {print $1}' | xargs -r -n1 losetup -d || true
    QTL99_ESPACIO_PROPIO=1 exec unshare -m --propagation private bash "$0" "$@"
fi
programa="$(readlink -f "$1")"
trabajo="$(mktemp -d /tmp/qtl99-disquetera-XXXXXX)"
chmod 755 "$trabajo"
creada_media=""
dispositivo=""
demonios=""
terminar_soporte() {
    # The user's session (the program, its session bus) first, then the service, so that
    # nothing unmounts behind the test's back; then the rest.
    [ -n "${qtl_pid:-}" ] && pkill -KILL -s "$qtl_pid" 2>/dev/null || true
    grep "^$dispositivo " /proc/mounts | cut -d' ' -f2 | xargs -r -n1 umount -l 2>/dev/null || true
    for d in $demonios; do kill "$d" 2>/dev/null || true; done
    for d in $demonios; do wait "$d" 2>/dev/null || true; done
    pkill -KILL -f "^/usr/bin/fusefat .*$dispositivo" 2>/dev/null || true
    [ -n "$dispositivo" ] && losetup -d "$dispositivo" 2>/dev/null || true
}
quitar_media() {
    [ -n "$creada_media" ] && umount -l /media 2>/dev/null && rmdir /media 2>/dev/null || true
}

# The drive, empty: a loop device over an empty file, its disks swapped in and out of that file.
disquetera="$trabajo/qtl99-disquetera"
: > "$disquetera"
dispositivo="$(losetup -f --show "$disquetera")"
nombre="${dispositivo#/dev/}"

# What a USB floppy drive of the UFI class is to the kernel and to udev: removable, tagged floppy.
echo 1 > "$trabajo/removable"
mount --bind "$trabajo/removable" "/sys/devices/virtual/block/$nombre/removable"
mkdir -p "$trabajo/dev-maquina"
mount --rbind /dev "$trabajo/dev-maquina"
mount -t tmpfs -o mode=755 tmpfs /dev
for n in null zero full random urandom tty fuse loop-control "$nombre"; do
    : > "/dev/$n"
    mount --bind "$trabajo/dev-maquina/$n" "/dev/$n"
done
mkdir /dev/pts /dev/shm
mount --bind "$trabajo/dev-maquina/pts" /dev/pts
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
ln -s pts/ptmx /dev/ptmx
ln -s /proc/self/fd /dev/fd
umount -l "$trabajo/dev-maquina"
mount -t tmpfs -o mode=755 tmpfs /run
mkdir -p /run/udev/rules.d /run/dbus /run/user
[ -d /media ] || { mkdir /media; creada_media=1; }
mount -t tmpfs -o mode=755 tmpfs /media
cat > /run/udev/rules.d/61-qtl99-disquetera.rules <<FIN
KERNEL=="$nombre", ENV{ID_SERIAL}="QTL99_Disquetera_USB_0001", ENV{ID_VENDOR}="QTL99", ENV{ID_MODEL}="Disquetera_USB", ENV{ID_BUS}="usb", ENV{ID_DRIVE_FLOPPY}="1"
FIN
# udevd never renames a network interface from here.
mount --bind /dev/null /usr/lib/udev/rules.d/80-net-setup-link.rules
# No vfat in this kernel: the mount helper libmount runs mounts the disk through FUSE, on its
# block device (so the service knows the mount as the disk's).
mkdir -p "$trabajo/sbin"
cat > "$trabajo/sbin/mount.vfat" <<'FIN'
#!/bin/sh
dev=$1; dir=$2; shift 2
opts=
while [ $# -gt 0 ]; do case $1 in -o) opts=$2; shift 2 ;; *) shift ;; esac; done
fo="allow_other,blkdev,fsname=$dev"; modo=rw+
for o in $(echo "$opts" | tr , ' '); do
    case $o in uid=*|gid=*|umask=*) fo="$fo,$o" ;; ro) modo=ro ;; esac
done
exec /usr/bin/fusefat -o "$modo,$fo" "$dev" "$dir"
FIN
chmod 755 "$trabajo/sbin/mount.vfat"
mount -t overlay overlay -o "lowerdir=$trabajo/sbin:/usr/sbin" /usr/sbin
# Without logind no session is active: the test user may do what an active user may.
mount -t tmpfs -o mode=755 tmpfs /etc/polkit-1/rules.d
acciones="$(python3 - <<'FIN'
import re
texto = open("/usr/share/polkit-1/actions/org.freedesktop.UDisks2.policy").read()
print(",".join('"%s"' % m.group(1) for m in
               re.finditer(r'<action id="([^"]+)">(.*?)</action>', texto, re.S)
               if re.search(r"<allow_active>yes<", m.group(2))))
FIN
)"
echo "polkit.addRule(function(a, s) { if (s.user == 'nobody' && [$acciones].indexOf(a.id) >= 0) return polkit.Result.YES; });" \
    > /etc/polkit-1/rules.d/10-qtl99.rules

cat > "$trabajo/system.conf" <<FIN
<busconfig><type>system</type><listen>unix:path=/run/dbus/system_bus_socket</listen><auth>EXTERNAL</auth>
  <policy context="default"><allow user="*"/><allow own="*"/><allow send_destination="*"/>
    <allow receive_sender="*"/></policy></busconfig>
FIN
arrancar() {  # arrancar LOG PROGRAM ARGS...: a daemon that dies with this script
    local log="$1"; shift
    setpriv --pdeathsig KILL "$@" > "$trabajo/$log" 2>&1 &
    demonios="$! $demonios"
}
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket
arrancar bus.log dbus-daemon --config-file="$trabajo/system.conf" --nofork
arrancar udevd.log /lib/systemd/systemd-udevd
for _ in $(seq 100); do udevadm control --ping 2>/dev/null && break; sleep 0.1; done
udevadm trigger --action=change --subsystem-match=block --sysname-match="$nombre"
udevadm settle --timeout=30
arrancar polkitd.log /usr/lib/polkit-1/polkitd --no-debug
for _ in $(seq 100); do
    dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        string:org.freedesktop.PolicyKit1 2>/dev/null | grep -q true && break
    sleep 0.1
done
arrancar udisksd.log /usr/libexec/udisks2/udisksd --no-debug
for _ in $(seq 100); do udisksctl status 2>/dev/null | grep -q Disquetera && break; sleep 0.1; done
udisksctl status | grep -q Disquetera || { cat "$trabajo"/*.log >&2; echo "FALLO: el servicio no ve la disquetera" >&2; exit 1; }
# What the service says, as it says it, for the record.
arrancar monitor.log udisksctl monitor

source "$(dirname "${BASH_SOURCE[0]}")/comun.sh"
trap 'terminar_soporte; limpiar; quitar_media' EXIT
trap 'exit 1' TERM INT
chmod 755 "$trabajo"
falla() {
    echo "--- lo que dijo el servicio ---" >&2; tail -40 "$trabajo/monitor.log" >&2 || true
    echo "--- QTL99 ---" >&2; cat "$trabajo/qtl99.log" >&2 || true
    echo "--- ventanas ---" >&2
    for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do xdotool getwindowname "$w" >&2; done
    echo "FALLO: $*" >&2; exit 1
}

# The CD where a desktop mounts it; the program runs from it as the user. (A long name, in ASCII:
# the FUSE driver standing in for the kernel's vfat refuses others.)
cd_dir="$trabajo/cd"
mkdir -p "$cd_dir/Discos/Disco1" "$cd_dir/Discos/Disco2" "$cd_dir/Discos/Disco3"
printf '[GENERAL]\r\nCANTIDAD=3\r\nDiskPath=\\Discos\\Disco\r\n[DISCOS]\r\nDisco1=UNO.TXT,DATOS.BIN,\r\nDisco2=Leeme Largo.txt,\r\nDisco3=TRES.TXT,\r\n' > "$cd_dir/Archivos.ini"
echo "primer archivo" > "$cd_dir/Discos/Disco1/UNO.TXT"
head -c 300000 /dev/urandom > "$cd_dir/Discos/Disco1/DATOS.BIN"
head -c 5000 /dev/urandom > "$cd_dir/Discos/Disco2/Leeme Largo.txt"
echo "tercer archivo" > "$cd_dir/Discos/Disco3/TRES.TXT"
cp "$programa" "$cd_dir/QTL99"
xorriso -as mkisofs -quiet -R -J -o "$trabajo/cd.iso" "$cd_dir" 2>/dev/null || falla "xorriso"
montado="/media/QTL99 CD"
mkdir -p "$montado"
fuseiso -n "$trabajo/cd.iso" "$montado" -o "ro,allow_other,fsname=/dev/sr-qtl99-$$" || falla "no se pudo montar el CD"

# The disks the user has at hand: formatted and empty, and one of zeros.
for n in 1 2 3; do mkfs.fat -C "$trabajo/disco$n.img" 1440 > /dev/null; done
head -c 1474560 /dev/zero > "$trabajo/ceros.img"
en_la_unidad=""
sin_montar() {
    ! grep -q "^$dispositivo " /proc/mounts || falla "el disco seguía montado $1: $(grep "^$dispositivo " /proc/mounts)"
}
# Takes out the disk in the drive (kept as sacadoN.img), as the user does; never under a mount.
sacar() {
    sin_montar "al sacar el disco"
    [ -n "$en_la_unidad" ] || return 0
    blockdev --flushbufs "$dispositivo"
    cp "$disquetera" "$trabajo/sacado-$en_la_unidad"
    : > "$disquetera"
    losetup -c "$dispositivo"
    en_la_unidad=""
}
meter() {
    sacar
    cp "$trabajo/$1" "$disquetera"
    losetup -c "$dispositivo"
    blockdev --flushbufs "$dispositivo"
    en_la_unidad="$1"
}

casa="$trabajo/casa"; mkdir -p "$casa" "$trabajo/runtime-usuario"
chown nobody "$casa" "$trabajo/runtime-usuario"; chmod 700 "$trabajo/runtime-usuario"
# A session of its own, so that whatever it leaves (its session bus) goes with it.
( cd "$montado" && exec setsid setpriv --reuid=nobody --regid=nogroup --clear-groups \
      env -u QTL99_DRIVES HOME="$casa" XDG_RUNTIME_DIR="$trabajo/runtime-usuario" \
      dbus-run-session -- ./QTL99 ) > "$trabajo/qtl99.log" 2>&1 &
qtl_pid=$!
opcion="$(ventana QTL99)"
sleep 0.5
pulsar "$opcion" 133 247                      # Generar: a: is empty
ventana Quintarel > /dev/null                 # "Error: Inserte un disco en la unidad"
meter disco1.img
responder Quintarel                           # Reintentar
generar="$(ventana 'Generación de Discos de Instalación')"
sleep 0.5
pulsar "$generar" 360 210                     # Comenzar
ventana Quintarel > /dev/null                 # "Inserte el diskette número 1": it is in
sin_montar "al pedir el disco 1"
responder Quintarel
ventana Quintarel > /dev/null                 # "... número 2": a disk of zeros first
meter ceros.img
responder Quintarel
ventana Quintarel > /dev/null                 # "La unidad seleccionada no se encuentra disponible."
meter disco2.img
responder Quintarel                           # Reintentar
ventana Quintarel > /dev/null                 # "... número 3"
meter disco3.img
responder Quintarel
ventana Quintarel > /dev/null                 # "Generación de discos Finalizada"
sacar
responder Quintarel
opcion="$(ventana QTL99)"
sleep 0.5
pulsar "$opcion" 310 247                      # Salir
responder Quintarel                           # Sí
esperar_fin
[ -z "$(grep ' /media/nobody' /proc/mounts)" ] || falla "quedó montado: $(grep ' /media/nobody' /proc/mounts)"

# comprobar DISK FOLDER NAME...: clean for fsck.fat, exactly NAME... in its root by their long
# names, each equal to the CD's.
comprobar() {
    local img="$trabajo/sacado-$1" origen="$cd_dir/Discos/$2"; shift 2
    /usr/sbin/fsck.fat -n "$img" > /dev/null || falla "fsck.fat: $img"
    local hay esperado sacado="$trabajo/leido"
    hay="$(MTOOLSRC=/dev/null mdir -i "$img" -a -b :: | sed 's|^::/||' | sort | tr '\n' '|')"
    esperado="$(printf '%s\n' "$@" | sort | tr '\n' '|')"
    [ "$hay" = "$esperado" ] || falla "$img tiene: $hay"
    for f in "$@"; do
        MTOOLSRC=/dev/null mcopy -n -i "$img" "::$f" "$sacado"
        cmp "$origen/$f" "$sacado" || falla "$f distinto en $img"
    done
}
comprobar disco1.img Disco1 UNO.TXT DATOS.BIN
comprobar disco2.img Disco2 "Leeme Largo.txt"
comprobar disco3.img Disco3 TRES.TXT
cmp -s "$trabajo/sacado-ceros.img" "$trabajo/ceros.img" || falla "el disco de ceros fue escrito"
echo "--- lo que dijo el servicio ---"; grep -E 'Completed|IdUsage|MountPoints' "$trabajo/monitor.log" | sed 's|/org/freedesktop/UDisks2/||' | head -60 || true
echo "--- QTL99 ---"; cat "$trabajo/qtl99.log"
echo "Servicio de discos de verdad: tres discos escritos en la disquetera USB como usuario, cada uno montado al pedirlo y desmontado antes de sacarlo"
