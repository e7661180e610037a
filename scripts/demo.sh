#!/bin/sh
# Installs what is missing, builds lumo, bakes the demo scene if it is not
# there yet, and opens the viewer on it. On a machine without a display it
# runs the viewer under Xvfb, grabs one frame and prints the PNG's path.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DLUMO_BUILD_BENCH=OFF \
    -DLUMO_BUILD_TESTS=OFF
cmake --build build/demo -j "$(nproc 2>/dev/null || echo 2)"

if [ ! -f demo/scene.lid ] || [ ! -f demo/sky.exr ]; then
    echo "== baking the demo scene into demo/ (about half a minute)"
    build/demo/lumotool/lumotool bake demo
fi

cd demo
if [ -n "${DISPLAY:-}" ]; then
    echo "== lumo demo/scene.lid"
    exec "$root/build/demo/lumo/lumo" scene.lid
fi

echo "== no display here: running the viewer under Xvfb and grabbing one frame"
rm -f img0000.ppm
printf 'update\nafter 300\nupdate\n.slab grabscr\nexit\n' |
    xvfb-run -a -s "-screen 0 1280x1024x24" "$root/build/demo/lumo/lumo" scene.lid >viewer.log 2>&1
pnmtopng img0000.ppm >lumo-demo.png
echo "The viewer's main view on the demo scene: $root/demo/lumo-demo.png"
