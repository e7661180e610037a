#!/bin/sh
# The layering check passes on the project's tree and fails on small trees
# that break it: an include of a folder above, a GL header below the drawing,
# a folder missing from the order.
set -u
check=$1
project=$2
fail=0
expect() {  # expect STATUS NAME DIR
    "$check" "$3" >"$3.out" 2>&1
    got=$?
    if [ "$got" -ne "$1" ]; then
        echo "FAILED: $2: status $got, expected $1"; cat "$3.out"; fail=1
    else
        echo "ok: $2"
    fi
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

expect 0 "the project's own tree" "$project"

tree() {  # tree NAME: a small clean tree of three layers
    mkdir -p "$tmp/$1/geom" "$tmp/$1/io" "$tmp/$1/app"
    printf '#include <cmath>\n' >"$tmp/$1/geom/vec.h"
    printf '#include "geom/vec.h"\n' >"$tmp/$1/io/ppm.cpp"
    printf '#include "io/ppm.h"\n#include <GL/gl.h>\n#include <tcl.h>\n' >"$tmp/$1/app/main.cpp"
}
tree clean
expect 0 "a clean tree" "$tmp/clean"

tree upward
printf '#include "app/main_view.h"\n' >>"$tmp/upward/geom/vec.h"
expect 1 "geom/ including app/" "$tmp/upward"

tree gl
printf '#include <GL/gl.h>\n' >>"$tmp/gl/io/ppm.cpp"
expect 1 "io/ including an OpenGL header" "$tmp/gl"

tree tcl
printf '  #  include <tcl.h>\n' >>"$tmp/tcl/geom/vec.h"
expect 1 "geom/ including Tcl" "$tmp/tcl"

tree stray
mkdir -p "$tmp/stray/extras"
printf 'add_library(x x.cpp)\n' >"$tmp/stray/extras/CMakeLists.txt"
expect 1 "a folder outside the order" "$tmp/stray"

exit $fail
