#!/bin/sh
# Checks the layering of the source tree: every folder is one library or
# executable, and a folder includes only itself and the folders below it in
# LAYERS; folders below display/ include no OpenGL, EGL, GLUT, Tcl, Tk or
# Togl header. Prints every offending line and exits 1 if there is one.
#   scripts/check-layers.sh [ROOT]      (default: the project's root)
set -eu
root=${1:-"$(dirname "$0")/.."}
cd "$root"

# Lowest first; the README's Development section draws the same order.
LAYERS="base geom arcball io imagelib scene slab relight model bake fit testing display togl app cli lumo lumotool"
# The first layer allowed to talk to OpenGL, Tcl, Tk and Togl.
FIRST_UI=display

status=0
rank() {
    i=0
    for l in $LAYERS; do
        [ "$l" = "$1" ] && { echo $i; return; }
        i=$((i + 1))
    done
    echo -1
}
ui_rank=$(rank "$FIRST_UI")

# Every top-level folder with a CMakeLists.txt is a layer (tests, bench and
# scripts excepted), so a new folder cannot slip past the check.
for d in */; do
    d=${d%/}
    case "$d" in tests | bench | scripts | build | docs | examples) continue ;; esac
    [ -f "$d/CMakeLists.txt" ] || continue
    if [ "$(rank "$d")" -lt 0 ]; then
        echo "check-layers: $d/ is not in the layer order" >&2
        status=1
    fi
done

for layer in $LAYERS; do
    [ -d "$layer" ] || continue
    own=$(rank "$layer")
    for f in $(find "$layer" -name '*.h' -o -name '*.cpp' | sort); do
        grep -n '^[[:space:]]*#[[:space:]]*include' "$f" | while IFS= read -r line; do
            n=${line%%:*}
            text=${line#*:}
            case "$text" in
            *'"'*)
                target=$(printf '%s' "$text" | sed -n 's/.*"\([^"/]*\)\/.*/\1/p')
                [ -n "$target" ] || continue
                r=$(rank "$target")
                if [ "$r" -gt "$own" ]; then
                    echo "$f:$n: $layer/ includes $target/, a layer above it:$text"
                fi
                ;;
            *'<'*)
                if [ "$own" -lt "$ui_rank" ]; then
                    case "$text" in
                    *'<GL/'* | *'<EGL/'* | *'<GLES'* | *'<tcl.h>'* | *'<tk.h>'* | *'<togl.h>'* | *'<tclDecls.h>'* | *'<X11/'*)
                        echo "$f:$n: $layer/ is below $FIRST_UI/ and includes a GL, Tcl or Togl header:$text"
                        ;;
                    esac
                fi
                ;;
            esac
        done
    done
done >"${TMPDIR:-/tmp}/check-layers.$$"
if [ -s "${TMPDIR:-/tmp}/check-layers.$$" ]; then
    cat "${TMPDIR:-/tmp}/check-layers.$$" >&2
    status=1
fi
rm -f "${TMPDIR:-/tmp}/check-layers.$$"
[ $status -eq 0 ] && echo "check-layers: $(echo $LAYERS | wc -w) layers, no include reaches up"
exit $status
