#!/usr/bin/env bash
# The demo CD's QTL99 on a Wayland desktop with no X anywhere: Debian's weston on its headless
# backend, the program asked for Wayland as many desktops and users ask. It must show its option
# window (its title seen in the Wayland protocol the program speaks) with the Qt of the CD, and
# end at a SIGTERM as a desktop ends it, without aborting.
# Usage: cd_wayland.sh PATH/TO/QTL99-demo.iso
set -euo pipefail
iso="$(readlink -f "$1")"
trabajo="$(mktemp -d)"
weston_pid=""
trap '[ -z "$weston_pid" ] || kill "$weston_pid" 2>/dev/null || true; wait 2>/dev/null || true; chmod -R u+w "$trabajo"; rm -rf "$trabajo"' EXIT
falla() { echo "FALLO (Wayland): $*" >&2; exit 1; }
command -v weston >/dev/null || falla "no hay weston"
cd_dir="$trabajo/cd"
xorriso -osirrox on -indev "$iso" -extract / "$cd_dir" >/dev/null 2>&1
chmod -R a-w "$cd_dir"

export XDG_RUNTIME_DIR="$trabajo/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY LD_LIBRARY_PATH QT_PLUGIN_PATH
weston --backend=headless-backend.so --socket=qtl99-prueba --idle-time=0 \
    --log="$trabajo/weston.log" &
weston_pid=$!
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/qtl99-prueba" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/qtl99-prueba" ] || falla "weston no arrancó: $(cat "$trabajo/weston.log")"

estado=0
( cd "$cd_dir" && WAYLAND_DISPLAY=qtl99-prueba QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client \
      QT_DEBUG_PLUGINS=1 HOME="$trabajo" exec ./QTL99 ) >"$trabajo/salida" 2>&1 &
programa=$!
visto=0
for _ in $(seq 150); do
    if grep -q 'xdg_toplevel@[0-9]*\.set_title("QTL99' "$trabajo/salida"; then visto=1; break; fi
    kill -0 "$programa" 2>/dev/null || break
    sleep 0.1
done
kill -TERM "$programa" 2>/dev/null || true
# Never waited for for ever: one that outlives its SIGTERM is ended, and that is a failure.
for _ in $(seq 50); do kill -0 "$programa" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$programa" 2>/dev/null; then
    kill -KILL "$programa" 2>/dev/null || true
    wait "$programa" 2>/dev/null || true
    falla "no terminó con SIGTERM"
fi
wait "$programa" || estado=$?
[ "$visto" -eq 1 ] || falla "no mostró su ventana (estado $estado): $(grep -v '^\[' "$trabajo/salida" | tail -20)"
# Ended by the signal asked for, not by an abort (134) for want of a platform plugin.
[ "$estado" -eq 0 ] || [ "$estado" -eq 143 ] || falla "terminó con $estado"
# The platform plugin came from the CD, not from the machine's Qt.
grep -qF "\"$cd_dir/plugins/platforms/libqwayland-generic.so\" loaded library" "$trabajo/salida" ||
    falla "el complemento de Wayland no es el del CD: $(grep -i 'wayland' "$trabajo/salida" | grep -v '^\[' | head -5)"
echo "CD en Wayland sin X: ventana de opciones mostrada con el Qt del CD"
