#!/bin/sh
# Installs the Debian packages lumo needs to build, test, benchmark and run,
# skipping those already installed. Works as root with no terminal (CI) or as
# a user with sudo. This is the one list of lumo's dependencies.
set -eu

PACKAGES="
    build-essential cmake pkg-config git
    tcl-dev tk-dev libtogl-dev
    libgl-dev libgl1-mesa-dri libglu1-mesa-dev freeglut3-dev libegl-dev
    zlib1g-dev libdeflate-dev libopenimageio-dev libeigen3-dev
    nlohmann-json3-dev libcli11-dev
    libgtest-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    xvfb xauth netpbm
    libjpeg-turbo-progs
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    echo "install-deps: all packages present"
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "install-deps: these packages are missing and there is no sudo:$missing" >&2
    exit 1
fi

echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $missing
