#!/bin/sh
# Prints the viewer's speed on the demo scene, measured with its own
# frame-rate meter (show_fps) in a scripted session under Xvfb: the redraw
# rate in centre mode without relighting, and the time from a change of the
# directional light to the relit frame (reconstruction plus drawing).
#   scripts/measure-viewer.sh [BUILD_DIR]     (default build/demo)
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build/demo}
[ -x "$build/lumo/lumo" ] || { echo "measure-viewer: build the viewer first (scripts/demo.sh)" >&2; exit 1; }
[ -f demo/scene.lid ] || "$build/lumotool/lumotool" bake demo --quiet

log=$(mktemp)
cd demo
cat <<'TCL' | xvfb-run -a -s "-screen 0 1280x1024x24" "$root/$build/lumo/lumo" scene.lid >/dev/null 2>"$log"
update
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
cd "$root"
awk '
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
