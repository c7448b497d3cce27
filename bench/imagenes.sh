#!/bin/bash
# Times `QTL99 --imagenes` on a CD of 30 disks of 10 files of 140 KiB (the set of fat_bench),
# the whole program from its start to its last image, against the shell loop a user would write:
# mformat, then one mcopy per file of the disk; then the same set from the same CD as an .iso
# image against the folder it was made from. Prints the medians, per set and per disk.
# Usage: bench/imagenes.sh BUILD_DIR [ROUNDS] [SCRATCH_FOLDER]
set -euo pipefail
build="$(cd "$1" && pwd)" rondas="${2:-5}"
trabajo="$(mktemp -d "${3:-$build}/imagenes_bench.XXXXXX")"
trap 'rm -rf "$trabajo"' EXIT
export MTOOLSRC=/dev/null
discos=30 archivos=10

cd_dir="$trabajo/cd"
lista=""
for k in $(seq -w 1 "$archivos"); do lista+="ARCH$k.BIN,"; done
{ printf '[GENERAL]\r\nCANTIDAD=%s\r\nDiskPath=\\Discos\\Disco\r\n\r\n[DISCOS]\r\n' "$discos"
  for n in $(seq "$discos"); do printf 'Disco%s=%s\r\n' "$n" "$lista"; done; } >"$trabajo/Archivos.ini"
mkdir -p "$cd_dir" && mv "$trabajo/Archivos.ini" "$cd_dir/"
for n in $(seq "$discos"); do
    mkdir -p "$cd_dir/Discos/Disco$n"
    for k in $(seq -w 1 "$archivos"); do head -c $((140 * 1024)) /dev/urandom >"$cd_dir/Discos/Disco$n/ARCH$k.BIN"; done
done

ms() { echo $(( $(date +%s%N) / 1000000 )); }
mediana() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

nuestro() {
    rm -rf "$trabajo/img"
    local t0; t0="$(ms)"
    env -u DISPLAY -u QT_QPA_PLATFORM "$build/QTL99" --imagenes "$trabajo/img" --cd "${1:-$cd_dir}" 2>/dev/null
    echo $(( $(ms) - t0 ))
}
shell() {
    rm -rf "$trabajo/img" && mkdir -p "$trabajo/img"
    local t0; t0="$(ms)"
    for n in $(seq "$discos"); do
        mformat -C -f 1440 -i "$trabajo/img/Disco$n.img" ::
        for f in "$cd_dir/Discos/Disco$n"/*; do mcopy -i "$trabajo/img/Disco$n.img" "$f" ::/; done
    done
    echo $(( $(ms) - t0 ))
}

a="" b=""
for _ in $(seq "$rondas"); do a+="$(nuestro) "; b+="$(shell) "; done
ma="$(tr ' ' '\n' <<<"$a" | grep . | mediana)" mb="$(tr ' ' '\n' <<<"$b" | grep . | mediana)"
df -h --output=fstype,target "$trabajo" | tail -1 | awk '{print "Carpeta en " $2 " (" $1 ")"}'
printf '%d discos x %d archivos de 140 KiB, mediana de %d rondas:\n' "$discos" "$archivos" "$rondas"
awk -v a="$ma" -v b="$mb" -v d="$discos" 'BEGIN {
    printf "  QTL99 --imagenes (con relectura):  %6d ms  %5.1f ms por disco\n", a, a / d
    printf "  mformat + un mcopy por archivo:     %6d ms  %5.1f ms por disco\n", b, b / d
    printf "  cociente: %.2f\n", a / b }'

# The same CD as an image, read in-process, against the folder it was made from.
xorriso -as mkisofs -quiet -R -J -o "$trabajo/cd.iso" "$cd_dir" 2>/dev/null
c="" d=""
for _ in $(seq "$rondas"); do c+="$(nuestro "$trabajo/cd.iso") "; d+="$(nuestro "$cd_dir") "; done
mc="$(tr ' ' '\n' <<<"$c" | grep . | mediana)" md="$(tr ' ' '\n' <<<"$d" | grep . | mediana)"
awk -v c="$mc" -v d="$md" -v n="$discos" 'BEGIN {
    printf "  QTL99 --imagenes --cd CD.iso:       %6d ms  %5.1f ms por disco\n", c, c / n
    printf "  QTL99 --imagenes --cd CARPETA:      %6d ms  %5.1f ms por disco\n", d, d / n
    printf "  cociente imagen / carpeta: %.2f\n", c / d }'
