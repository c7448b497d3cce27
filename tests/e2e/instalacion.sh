#!/usr/bin/env bash
# cmake --install into a scratch prefix; the desktop entry and the AppStream file must validate.
# Then, on Xvfb, what the menu entry starts: the launcher finds the installation CD among the
# drives and becomes the CD's QTL99 (the first CD by drive letter), asks for the CD while there
# is none, and leaves with status 0 when the user cancels.
# Usage: instalacion.sh BUILD_DIR
set -euo pipefail
# Under a session bus of its own, as a desktop session runs its programs: nothing then depends on
# whether the machine runs one, nor on libdbus starting one in the home folder.
[ -n "${QTL99_BUS_PROPIO:-}" ] || QTL99_BUS_PROPIO=1 exec dbus-run-session -- bash "$0" "$@"
trabajo="$(mktemp -d)"
trap 'rm -rf "$trabajo"' EXIT
prefijo="$trabajo/prefijo"
cmake --install "$1" --prefix "$prefijo" >/dev/null
test -x "$prefijo/bin/QTL99"
zgrep -q "^.SH ESTADO DE SALIDA" "$prefijo/share/man/man1/QTL99.1.gz"
for lado in 16 32 48 64 128 256; do
    test -f "$prefijo/share/icons/hicolor/${lado}x${lado}/apps/org.quintarel.QTL99.png"
done
desktop-file-validate "$prefijo/share/applications/org.quintarel.QTL99.desktop"
appstreamcli validate --no-net "$prefijo/share/metainfo/org.quintarel.QTL99.metainfo.xml"
lanzador="$prefijo/bin/$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$prefijo/share/applications/org.quintarel.QTL99.desktop")"
echo "instalación válida"

# Two installation CDs, the demo one and a copy, with the installed program at their roots.
demo="$(dirname "${BASH_SOURCE[0]}")/../../demo/cd"
cd_d="$trabajo/CD de instalación"; cd_e="$trabajo/otro CD"; floppy="$trabajo/floppy"
mkdir -p "$cd_d" "$floppy"
cp -a "$demo/." "$cd_d/"
cp "$prefijo/bin/QTL99" "$cd_d/QTL99"
cp -a "$cd_d" "$cd_e"

source "$(dirname "${BASH_SOURCE[0]}")/comun.sh"

# Both CDs in, e: listed first: d:'s program runs, and its "Setup" starts d:'s setup program.
( cd "$trabajo" && QTL99_DRIVES="c:=/;e:=$cd_e,optical;d:=$cd_d,optical;a:=$floppy" \
      exec "$lanzador" > "$trabajo/salida" 2>&1 ) &
qtl_pid=$!
opcion="$(ventana QTL99)"
[ "$(readlink "/proc/$qtl_pid/exe")" = "$cd_d/QTL99" ] || falla "corre $(readlink "/proc/$qtl_pid/exe")"
[ "$(readlink "/proc/$qtl_pid/cwd")" = "$cd_d" ] || falla "no corre en la raíz del CD"
sleep 0.5
pulsar "$opcion" 44 247                       # Setup
esperar_fin
for _ in $(seq 50); do grep -q SETUP "$trabajo/salida" && break; sleep 0.1; done
grep -qF "SETUP de demostración iniciado: $cd_d/Setup/SETUP.EXE" "$trabajo/salida" ||
    falla "Setup no inició el programa de instalación del CD: $(cat "$trabajo/salida")"

# No CD in d:: the box. The CD inserted, Retry starts its program.
rm -rf "$cd_e"; mv "$cd_d" "$cd_e"
( cd "$trabajo" && QTL99_DRIVES="c:=/;d:=$cd_d,optical;a:=$floppy" exec "$lanzador" ) &
qtl_pid=$!
ventana Quintarel >/dev/null
mv "$cd_e" "$cd_d"
responder Quintarel                           # Reintentar
ventana QTL99 >/dev/null
[ "$(readlink "/proc/$qtl_pid/exe")" = "$cd_d/QTL99" ] || falla "corre $(readlink "/proc/$qtl_pid/exe")"
opcion="$(ventana QTL99)"
sleep 0.5
pulsar "$opcion" 310 247                      # Salir
responder Quintarel                           # Sí
esperar_fin

# No CD at all, only a stick carrying the same two files: it is not run; Cancel leaves with
# status 0.
cp -a "$cd_d" "$trabajo/memoria"
( cd "$trabajo" && QTL99_DRIVES="c:=/;a:=$floppy;e:=$trabajo/memoria,removable" \
      exec "$lanzador" 2> "$trabajo/salida" ) &
qtl_pid=$!
responder Quintarel Escape
esperar_fin
grep -q "no hay ningún CD" "$trabajo/salida" || falla "el lanzador tomó la memoria USB: $(cat "$trabajo/salida")"

# A CD whose program may not be run says so, and Cancel leaves.
chmod a-x "$cd_d/QTL99"
( cd "$trabajo" && QTL99_DRIVES="c:=/;d:=$cd_d,optical" exec "$lanzador" 2> "$trabajo/salida" ) &
qtl_pid=$!
responder Quintarel Escape
esperar_fin
grep -q "no puede ejecutarse" "$trabajo/salida" || falla "sin aviso del programa que no se ejecuta"
# A CD made for another system (Archivos.ini, no QTL99 for Linux), then an image of it handed
# over as the desktop's "Open with" does: the installed QTL99 opens each, as its CD.
rm "$cd_d/QTL99"
xorriso -as mkisofs -quiet -R -J -o "$trabajo/cd.iso" "$cd_d" 2>/dev/null
for caso in "$cd_d" "$trabajo/cd.iso"; do
    if [ "$caso" = "$cd_d" ]; then
        ( cd "$trabajo" && QTL99_DRIVES="c:=/;d:=$cd_d,optical;a:=$floppy" exec "$lanzador" ) &
    else
        ( cd "$trabajo" && QTL99_DRIVES="c:=/;a:=$floppy" exec "$lanzador" "$caso" ) &
    fi
    qtl_pid=$!
    opcion="$(ventana QTL99)"
    [ "$(readlink -f "/proc/$qtl_pid/exe")" = "$(readlink -f "$prefijo/bin/QTL99")" ] ||
        falla "corre $(readlink "/proc/$qtl_pid/exe") para $caso"
    tr '\0' '\n' <"/proc/$qtl_pid/cmdline" | grep -qxF -- "$caso" ||
        falla "QTL99 no tiene $caso por CD: $(tr '\0' ' ' <"/proc/$qtl_pid/cmdline")"
    sleep 0.5
    pulsar "$opcion" 310 247                  # Salir
    responder Quintarel                       # Sí
    esperar_fin
done
echo "el lanzador del menú abre el QTL99 del CD, pide el CD cuando falta y sale con Cancelar;"
echo "un CD sin QTL99, o una imagen, lo abre el QTL99 instalado"
