#!/usr/bin/env bash
# Start-up of QTL99 (from process start to its option window shown) and its peak memory,
# against a bare Qt window measured the same way in the same run, on a private Xvfb.
# Usage: arranque.sh BUILD_DIR [ROUNDS]
set -euo pipefail
build="$(readlink -f "$1")"; rondas="${2:-9}"
trabajo="$(mktemp -d)"
mkdir -p "$trabajo/cd" "$trabajo/floppy"
cp -a "$build/../demo/cd/." "$trabajo/cd/" 2>/dev/null || cp -a "$(dirname "$0")/../demo/cd/." "$trabajo/cd/"
cp "$build/QTL99" "$trabajo/cd/QTL99"
export QTL99_DRIVES="d:=$trabajo/cd,optical;a:=$trabajo/floppy"
source "$(dirname "$0")/../tests/e2e/comun.sh"   # a private Xvfb, cleaned up on exit

# medir PROGRAM TITLE [ARGUMENT]: prints "milliseconds kibibytes" for one start.
medir() {
    local inicio fin pid id="" kib
    inicio=$(date +%s%N)
    "$1" ${3:+"$3"} >/dev/null 2>&1 &
    pid=$!
    local intentos=0
    while [ -z "$id" ]; do
        intentos=$((intentos + 1)); [ "$intentos" -gt 3000 ] && { echo "no apareció $2" >&2; kill "$pid"; exit 1; }
        id="$(xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | head -1 || true)"
        [ -z "$id" ] && sleep 0.002
    done
    fin=$(date +%s%N)
    sleep 0.3
    kib=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
    kill "$pid"; wait "$pid" 2>/dev/null || true
    echo "$(( (fin - inicio) / 1000000 )) $kib"
}
mediana() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

: > "$trabajo/q"; : > "$trabajo/v"; : > "$trabajo/t"
for _ in $(seq "$rondas"); do
    medir "$trabajo/cd/QTL99" QTL99 >> "$trabajo/q"
    medir "$build/bench/ventana_vacia" vacia >> "$trabajo/v"
    medir "$build/bench/ventana_vacia" vacia texto >> "$trabajo/t"
done
columna() { cut -d' ' -f"$2" "$trabajo/$1" | mediana; }
qt=$(columna q 1); qm=$(columna q 2); vt=$(columna v 1); vm=$(columna v 2); tt=$(columna t 1); tm=$(columna t 2)
cociente() { awk "BEGIN {printf \"%.2f\", $1/$2}"; }
echo "arranque hasta la ventana mostrada (mediana de $rondas): QTL99 $qt ms"
echo "  ventana vacía $vt ms, relación $(cociente "$qt" "$vt"); con un texto y un botón $tt ms, relación $(cociente "$qt" "$tt")"
echo "memoria máxima (VmHWM): QTL99 $qm KiB"
echo "  ventana vacía $vm KiB, relación $(cociente "$qm" "$vm"); con un texto y un botón $tm KiB, relación $(cociente "$qm" "$tm")"
