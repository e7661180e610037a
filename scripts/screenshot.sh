#!/bin/sh
# Makes the README's pictures from a scripted session of the real viewer on
# the demo scene under Xvfb: a screenshot of the whole window (the X server's
# own framebuffer, cut to the window) and the main view's grab after a second
# light was added, coloured, made a point light and relit; and lumotool
# render's frames of the demo under its baked sky (an environment light) and
# under a slide projector and a point light with --mixed-lights.
#   scripts/screenshot.sh [BUILD_DIR]     (default build/demo; writes docs/*.png)
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build/demo}
[ -x "$build/lumo/lumo" ] || { echo "screenshot: build the viewer first (scripts/demo.sh)" >&2; exit 1; }
[ -f demo/scene.lid ] && [ -f demo/sky.exr ] || "$build/lumotool/lumotool" bake demo --quiet
mkdir -p docs
fb=$(mktemp -d)

Xvfb -displayfd 3 -screen 0 1280x1024x24 -fbdir "$fb" -nolisten tcp 3>"$fb/display" \
    >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
while [ ! -s "$fb/display" ]; do sleep 0.1; done
export DISPLAY=":$(cat "$fb/display")"

cd demo
rm -f img0000.ppm
cat <<TCL | "$root/$build/lumo/lumo" scene.lid >/dev/null 2>&1
update
lumo::add_light
.slab changecolor 255 170 90
lumo::relight
lumo::take_colour
set currlighttype 1
lumo::set_type
update
.light ab_lbdown 128 127
.light ab_lbdrag 165 110
update
.light ab_lbup
lumo::relight
update
after 500
update
.slab grabscr
set menu [winfo height .menu]
set geometry "[winfo rootx .] [expr {[winfo rooty .] - \$menu}] [winfo width .] [expr {[winfo height .] + \$menu}]"
set out [open $fb/geometry w]
puts \$out \$geometry
close \$out
# The server's framebuffer is live: copy it while the window is up.
file copy -force $fb/Xvfb_screen0 $fb/shot.xwd
exit
TCL
cd "$root"
read -r x y w h <"$fb/geometry"
xwdtopnm "$fb/shot.xwd" 2>/dev/null | pnmcut -left "$x" -top "$y" -width "$w" -height "$h" |
    pnmtopng >docs/viewer.png
pnmtopng demo/img0000.ppm >docs/two-lights.png
(cd demo && "$root/$build/lumotool/lumotool" render scene.lid "$fb/sky" --frames 1 \
    --size 400x400 --light "kind=env map=sky.exr" --quiet >/dev/null)
cp "$fb/sky/frame.0000.png" docs/demo-sky.png
(cd demo && "$root/$build/lumotool/lumotool" render scene.lid "$fb/mixed" --frames 1 \
    --size 400x400 --mixed-lights --quiet \
    --light "kind=slide dir=0.3,0.2,-1 radius=3 fov=40,40" \
    --light "kind=point dir=-0.6,0.3,-0.8 radius=1.6 color=1,0.6,0.3")
cp "$fb/mixed/frame.0000.png" docs/mixed-lights.png
echo "wrote docs/viewer.png, docs/two-lights.png, docs/demo-sky.png and docs/mixed-lights.png"
