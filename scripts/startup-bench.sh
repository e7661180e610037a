#!/bin/sh
# Start-up of lumotool against a bare interpreter, measured in one run.
#
#   scripts/startup-bench.sh [BUILD_DIR [BASELINE_LUMOTOOL]]
#
# Prints, for `lumotool info SCENE.lid` and `lumotool help` (BUILD_DIR's, by
# default build/test), and for `python3 -S -c pass` as the yardstick, the
# median and best wall time of RUNS runs (default 21) and the peak resident
# memory (/usr/bin/time), and whether the command loaded OpenImageIO
# (LD_DEBUG=libs). BASELINE_LUMOTOOL, another build's lumotool (for example
# one from before a change), is measured beside it.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/test}
baseline=${2:-}
runs=${RUNS:-21}
tool=$build/lumotool/lumotool
[ -x "$tool" ] || { echo "startup-bench: no $tool (build first)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "startup-bench: needs /usr/bin/time (package time)" >&2; exit 1; }

scene=$(mktemp -d)
trap 'rm -rf "$scene"' EXIT
cp examples/example.lid "$scene/scene.lid"

# median_best CMD...: the median and the best wall time in ms of $runs runs.
median_best() {
    i=0
    : >"$scene/times"
    while [ $i -lt "$runs" ]; do
        t0=$(date +%s%N)
        "$@" >/dev/null 2>&1 || true
        t1=$(date +%s%N)
        echo $(((t1 - t0) / 1000)) >>"$scene/times"
        i=$((i + 1))
    done
    sort -n "$scene/times" | awk '{ a[NR] = $1 } END { printf "%7.1f ms median %7.1f ms best", a[int((NR + 1) / 2)] / 1000, a[1] / 1000 }'
}

peak() {
    /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1
}

loads_oiio() {
    if LD_DEBUG=libs "$@" 2>&1 >/dev/null | grep -q 'libOpenImageIO'; then echo yes; else echo no; fi
}

row() {
    label=$1
    shift
    printf '%-34s %s %7s KB peak  OpenImageIO loaded: %s\n' "$label" "$(median_best "$@")" \
        "$(peak "$@")" "$(loads_oiio "$@")"
}

row "python3 -S -c pass" python3 -S -c pass
row "lumotool info scene.lid" "$tool" info "$scene/scene.lid"
row "lumotool help" "$tool" help
if [ -n "$baseline" ]; then
    row "baseline lumotool info scene.lid" "$baseline" info "$scene/scene.lid"
    row "baseline lumotool help" "$baseline" help
fi
