#!/usr/bin/env bash
# The Debian package: made with CPack from the build, clean for lintian (no error), its
# dependencies those dpkg-shlibdeps found plus mtools, installed into a scratch root with every
# file where it belongs, then removed leaving none of them.
# Usage: paquete.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
trabajo="$(mktemp -d)"
trap 'rm -rf "$trabajo"' EXIT
falla() { echo "FALLO (paquete): $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$trabajo/salida" >/dev/null
deb="$(ls "$trabajo"/salida/qtl99_*_amd64.deb)"
lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1 | grep -v 'root privileges' || true
lintian --fail-on error "$deb" >/dev/null 2>&1 || falla "lintian da errores"

dependencias="$(dpkg-deb -f "$deb" Depends)"
for d in mtools libqt6widgets6 libqt6dbus6 libc6; do
    [[ "$dependencias" =~ (^|, )$d( |,|$) ]] || falla "no depende de $d: $dependencias"
done

raiz="$trabajo/raiz"
mkdir -p "$raiz/var/lib/dpkg/info" "$raiz/var/lib/dpkg/updates"
: >"$raiz/var/lib/dpkg/status"
en_raiz() { dpkg --root="$raiz" --log=/dev/null --force-depends --force-script-chrootless "$@"; }
en_raiz -i "$deb" >/dev/null
archivos=(usr/bin/QTL99 usr/bin/qtl99-cd usr/share/applications/org.quintarel.QTL99.desktop
          usr/share/metainfo/org.quintarel.QTL99.metainfo.xml usr/share/man/man1/QTL99.1.gz
          usr/share/man/man1/qtl99-cd.1.gz usr/share/doc/qtl99/copyright
          usr/share/icons/hicolor/48x48/apps/org.quintarel.QTL99.png)
for f in "${archivos[@]}"; do [ -e "$raiz/$f" ] || falla "no instaló $f"; done
"$raiz/usr/bin/QTL99" --version >/dev/null || falla "el QTL99 instalado no arranca"
en_raiz -r qtl99 >/dev/null
for f in "${archivos[@]}"; do [ ! -e "$raiz/$f" ] || falla "al quitarlo quedó $f"; done
echo "paquete: $(basename "$deb"), limpio para lintian, instalado y quitado"
