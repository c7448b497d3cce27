#!/usr/bin/env bash
# cmake --install into a scratch prefix; the desktop entry and the AppStream file must validate.
# Usage: instalacion.sh BUILD_DIR
set -euo pipefail
prefijo="$(mktemp -d)"
trap 'rm -rf "$prefijo"' EXIT
cmake --install "$1" --prefix "$prefijo" >/dev/null
test -x "$prefijo/bin/QTL99"
for lado in 16 32 48 64 128 256; do
    test -f "$prefijo/share/icons/hicolor/${lado}x${lado}/apps/org.quintarel.QTL99.png"
done
desktop-file-validate "$prefijo/share/applications/org.quintarel.QTL99.desktop"
appstreamcli validate --no-net "$prefijo/share/metainfo/org.quintarel.QTL99.metainfo.xml"
echo "instalación válida"
