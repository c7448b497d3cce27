# Shared set-up for scripts/demo and scripts/test. Source it; do not run it.
set -euo pipefail

REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QTL99_BUILD:-$REPO/build}"

# Debian packages the build, the tests and the demo need.
PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgtest-dev
          xvfb xauth xdotool x11-utils fonts-liberation fonts-dejavu-core
          clang libclang-rt-14-dev xorriso patchelf appstream desktop-file-utils
          mtools dosfstools libmount-dev fuseiso dbus-bin dbus-daemon dbus-session-bus-common
          libudev-dev python3-dbus python3-gi python3-jsonschema
          udisks2 udev polkitd fusefat clang-format qt6-wayland weston lintian
          libiso9660-dev libcdio-dev)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs only what dpkg says is missing.
ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Instalando paquetes de Debian: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
    local dir="$1"; shift
    cmake -S "$REPO" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

# Lays out the demo CD in the build folder with the built program at its root, and an empty
# folder of floppy images beside it. Prints the QTL99_DRIVES table that maps them.
layout_demo() {
    local cd="$BUILD/demo-cd" floppy="$BUILD/demo-floppy"
    rm -rf "$cd" "$floppy"
    mkdir -p "$cd" "$floppy"
    cp -a "$REPO/demo/cd/." "$cd/"
    cp "$BUILD/QTL99" "$cd/QTL99"
    echo "c:=/;d:=$cd,optical;a:=$floppy,images"
}
