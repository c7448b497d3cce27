# Shared by the end-to-end scripts: a private Xvfb and a person's hands (xdotool). Source it
# after setting `trabajo` to a scratch folder; it sets DISPLAY and cleans up on exit.
xvfb_pid=""
qtl_pid=""
limpiar() {
    [ -n "$qtl_pid" ] && kill "$qtl_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    chmod -R u+w "$trabajo" 2>/dev/null || true
    rm -rf "$trabajo"
}
trap limpiar EXIT
falla() { echo "FALLO: $*" >&2; exit 1; }

exec 5> "$trabajo/pantalla"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$trabajo/pantalla" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$trabajo/pantalla")"
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
    for _ in $(seq 100); do xdotool getwindowname "$id" >/dev/null 2>&1 || return 0; sleep 0.1; done
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
