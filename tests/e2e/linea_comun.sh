# What the command line's tests share: running QTL99 with no display, reading what it said,
# checking an image it wrote and a report it gave. Sourced with $programa, $esquema and
# $trabajo set, and falla() defined.

# A step that stops the script without calling falla() still says where, in plain ASCII, so
# that the line survives any log that keeps only ASCII.
set -E
trap 'estado_err=$?; echo "${BASH_SOURCE[0]##*/}: line $LINENO: status $estado_err: $BASH_COMMAND" >&2' ERR

# qtl99 ESTADO ARGUMENTOS...: runs QTL99 with no display, its output in $trabajo/salida and
# $trabajo/errores, and checks its exit status.
qtl99() {
    local esperado="$1" estado=0; shift
    env -u DISPLAY -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY "$programa" "$@" \
        >"$trabajo/salida" 2>"$trabajo/errores" </dev/null || estado=$?
    [ "$estado" -eq "$esperado" ] ||
        falla "QTL99 $* terminó con $estado, no $esperado: $(cat "$trabajo/errores")"
}
# dice FICHERO TEXTO...: each text is a line (or part of one) of the file.
dice() {
    local fichero="$1"; shift
    for texto in "$@"; do
        grep -qF -- "$texto" "$fichero" || falla "falta «$texto» en: $(cat "$fichero")"
    done
}

# comprobar_imagen IMAGE SOURCE_FOLDER NAME...: a standard 1.44 MB floppy, clean for fsck.fat,
# holding exactly NAME... in its root, each equal byte for byte to SOURCE_FOLDER/NAME.
comprobar_imagen() {
    local img="$1" origen="$2"; shift 2
    [ "$(stat -c %s "$img")" -eq 1474560 ] || falla "$img mide $(stat -c %s "$img")"
    fsck.fat -n "$img" >/dev/null || falla "fsck.fat: $img no está limpia"
    local esperado hay
    esperado="$([ $# -eq 0 ] || printf '%s\n' "$@" | sort | tr '\n' ' ')"
    hay="$(mdir -i "$img" -a -b :: | sed 's|^::/||' | sort | tr '\n' ' ')"
    [ "$hay" = "$esperado" ] || falla "$img tiene: $hay"
    for nombre in "$@"; do
        mcopy -n -i "$img" "::$nombre" "$trabajo/sacado"
        cmp "$origen/$nombre" "$trabajo/sacado" || falla "$nombre distinto en $img"
    done
}

# comprobar_json: the report of the last --comprobar --json follows the schema, and says the
# set is whole exactly when the status said so.
comprobar_json() {
    local completo="$1"
    python3 - "$esquema" "$trabajo/salida" "$completo" <<'EOF'
import json, sys, jsonschema
esquema, informe = (json.load(open(f)) for f in sys.argv[1:3])
jsonschema.validate(informe, esquema)
assert informe["completo"] == (sys.argv[3] == "si"), informe["completo"]
EOF
}

# hacer_cd CD CANTIDAD [DISCOn=lista]... : a CD with its Archivos.ini; the files are made after.
hacer_cd() {
    local cd="$1" cantidad="$2"; shift 2
    mkdir -p "$cd"
    { printf '[GENERAL]\r\nCANTIDAD=%s\r\nDiskPath=\\Discos\\Disco\r\n\r\n[DISCOS]\r\n' "$cantidad"
      printf '%s\r\n' "$@"; } >"$cd/Archivos.ini"
}
# archivo CD DISCO NOMBRE BYTES: a file of disk DISCO on the CD, of random bytes.
archivo() {
    mkdir -p "$1/Discos/Disco$2"
    head -c "$4" /dev/urandom >"$1/Discos/Disco$2/$3"
}
