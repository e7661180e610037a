#!/bin/sh
# Prints the viewer's speed on a scene (the demo by default), measured in a
# scripted session under Xvfb: the time from starting the viewer to its first
# frame (scene, coefficients, first relight and drawing), and with its own
# frame-rate meter (show_fps) the redraw rate in centre mode without
# relighting and the time from a change of the directional light to the
# relit frame (reconstruction plus drawing).
#   scripts/measure-viewer.sh [BUILD_DIR [SCENE_DIR]]
#       (default build/demo and demo/; SCENE_DIR holds scene.lid, for example
#       a big slab from `lumotool bake DIR --grid 16 --size 256`)
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build/demo}
case $build in /*) ;; *) build=$root/$build ;; esac
scene=${2:-demo}
[ -x "$build/lumo/lumo" ] || { echo "measure-viewer: build the viewer first (scripts/demo.sh)" >&2; exit 1; }
[ -f "$scene/scene.lid" ] || [ -n "${2:-}" ] || "$build/lumotool/lumotool" bake demo --quiet
[ -f "$scene/scene.lid" ] || { echo "measure-viewer: no $scene/scene.lid" >&2; exit 1; }

log=$(mktemp)
# A display of its own, up before the clock starts.
xdir=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$xdir/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$xdir"' EXIT
while [ ! -s "$xdir/display" ]; do sleep 0.1; done
export DISPLAY=":$(cat "$xdir/display")"
cd "$scene"
start=$(date +%s%3N)
{ echo "set lumo_measure_start $start"; cat <<'TCL'; } |
update
puts stderr "== first frame [expr {[clock milliseconds] - $lumo_measure_start}]"
for {set i 0} {$i < 10} {incr i} { .slab postredisplay; update }
set show_fps 1
.slab clear_fps
for {set i 0} {$i < 100} {incr i} { .slab postredisplay; update }
puts stderr "== relighting"
for {set i 0} {$i < 30} {incr i} {
    .light ab_lbdown 128 127
    .light ab_lbdrag [expr {130 + 3 * ($i % 10)}] [expr {120 + 2 * ($i % 7)}]
    update
    .light ab_lbup
    .slab svnotifylightchg
    .slab postredisplay
    update
}
exit
TCL
    "$build/lumo/lumo" scene.lid >/dev/null 2>"$log"
cd "$root"
awk '
    /^== first frame/ { printf "start-up to the first frame: %d ms\n", $4 }
    /^== relighting/ { relight = 1; next }
    /^Average FrameRate/ && !relight { avg = $4; n = $6 }
    /^Current FrameRate/ && relight { ms[++k] = 1000 / $4 }
    END {
        gsub(/[()]/, "", n)
        printf "centre-mode redraw, 512 x 512, no relighting: %.1f frames per second (average of %s frames)\n", avg, n
        for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (ms[j] < ms[i]) { t = ms[i]; ms[i] = ms[j]; ms[j] = t }
        printf "directional light change shown (reconstruction + frame): median %.0f ms, worst %.0f ms over %d changes\n", ms[int((k + 1) / 2)], ms[k], k
    }' "$log"
rm -f "$log"
