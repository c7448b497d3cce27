# Shared by the end-to-end scripts: a private Xvfb and a person's hands (xdotool). Source it
# after setting `trabajo` to a scratch folder; it sets DISPLAY and cleans up on exit.
xvfb_pid=""
qtl_pid=""
limpiar() {
    [ -n "$qtl_pid" ] && kill "$qtl_pid" 2>/dev/null || true
    # Helpers a script started (a bus and a service of its own), by their ids.
    for otro in ${otros_pids:-}; do kill "$otro" 2>/dev/null || true; done
    # Wait for the server to be gone: a dying server removes its socket, and would remove that of
    # the next one started on the same display number.
    [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; } || true
    # A folder the script mounted (the CD as a desktop mounts it) goes before the scratch folder.
    [ -n "${montado:-}" ] && { fusermount -u "$montado" 2>/dev/null || umount "$montado"; rmdir "$montado"; } || true
    [ -n "${media_creada:-}" ] && rmdir /media 2>/dev/null || true
    chmod -R u+w "$trabajo" 2>/dev/null || true
    rm -rf "$trabajo"
}
trap limpiar EXIT
falla() { echo "FALLO: $*" >&2; ls -la /tmp/.X11-unix >&2; ps aux | grep -i [x]vfb >&2; echo "DISPLAY=$DISPLAY" >&2; exit 1; }

# Starts Xvfb on a free display and waits until it answers; a server that dies is started again.
# -noreset: by default the server resets when its last client leaves (the check below), and a
# program connecting during that reset is refused.
arrancar_xvfb() {
    local intento
    for intento in 1 2 3; do
        : > "$trabajo/pantalla"
        Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5> "$trabajo/pantalla" >/dev/null 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 100); do [ -s "$trabajo/pantalla" ] && break; sleep 0.1; done
        export DISPLAY=":$(head -1 "$trabajo/pantalla")"
        for _ in $(seq 50); do
            xdpyinfo >/dev/null 2>&1 && return 0
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        echo "Xvfb no respondió (intento $intento)" >&2
    done
    falla "no se pudo arrancar Xvfb"
}
arrancar_xvfb
mkdir -p "$trabajo/runtime" && chmod 700 "$trabajo/runtime"
export XDG_RUNTIME_DIR="$trabajo/runtime"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

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
# Answers the box with this title from the keyboard (Return: first button; Escape: Cancel).
responder() {
    local titulo="$1" tecla="${2:-Return}" id
    id="$(ventana "$titulo")"
    sleep 0.3
    xdotool windowfocus --sync "$id" key "$tecla"
    # Closed when no visible window of that title has its id: once its program is gone the X
    # server may hand the same id to the next program's window (the launcher's box, then QTL99).
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name "^$titulo\$" 2>/dev/null | grep -qx "$id" || return 0
        sleep 0.1
    done
    falla "la caja '$titulo' no se cerró"
}
# Waits for QTL99 to end and checks that it ended with status 0.
esperar_fin() {
    local estado=0
    for _ in $(seq 100); do kill -0 "$qtl_pid" 2>/dev/null || break; sleep 0.1; done
    wait "$qtl_pid" || estado=$?
    qtl_pid=""
    [ "$estado" -eq 0 ] || falla "QTL99 terminó con estado $estado"
}

# comprobar_imagen IMAGE SOURCE_FOLDER NAME...: a standard 1.44 MB floppy image, clean for fsck.fat,
# holding exactly NAME... in its root, each equal byte for byte to SOURCE_FOLDER/NAME.
comprobar_imagen() {
    local img="$1" origen="$2"; shift 2
    [ "$(stat -c %s "$img")" -eq 1474560 ] || falla "$img mide $(stat -c %s "$img")"
    PATH="$PATH:/usr/sbin:/sbin" fsck.fat -n "$img" >/dev/null || falla "fsck.fat: $img no está limpia"
    local esperado hay
    esperado="$(printf '%s\n' "$@" | sort | tr '\n' ' ')"
    hay="$(MTOOLSRC=/dev/null mdir -i "$img" -a -b :: | sed 's|^::/||' | sort | tr '\n' ' ')"
    [ "$hay" = "$esperado" ] || falla "$img tiene: $hay"
    local sacado; sacado="$(mktemp)"
    for nombre in "$@"; do
        MTOOLSRC=/dev/null mcopy -n -i "$img" "::$nombre" "$sacado"
        cmp "$origen/$nombre" "$sacado" || falla "$nombre distinto en $img"
    done
    rm -f "$sacado"
}
