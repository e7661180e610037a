#!/bin/sh
# Fuzzes lumo's file readers with libFuzzer.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# Builds the fuzz targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build/fuzz, writes a seed corpus with lumo's
# own writers, and runs each target for SECONDS seconds (default 5, the smoke
# run of the test command; use 600 for a ten-minute run per target). TARGETs
# are deflate_container, dct_stream, image_set, sgi_image, depth_map,
# lid_file, brdf_file, coeff_cache, ptm_file, hsh_file, plane_set, light_rig,
# image_file, light_positions, capture_manifest and report_part (default:
# all). The corpus grows in build/fuzz/corpus/TARGET; a crash is saved as
# build/fuzz/findings/TARGET/crash-* and makes the script fail.
# Set FUZZ_JOBS to run that many targets at a time (default 1).
set -eu
cd "$(dirname "$0")/.."

seconds=${1:-5}
[ $# -gt 0 ] && shift
targets=${*:-"deflate_container dct_stream image_set sgi_image depth_map lid_file brdf_file coeff_cache ptm_file hsh_file plane_set light_rig image_file light_positions capture_manifest report_part"}
jobs=${FUZZ_JOBS:-1}

cmake -S . -B build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_WERROR=ON -DLUMO_FUZZ=ON \
    -DLUMO_SANITIZE=address,undefined -DLUMO_BUILD_TESTS=OFF -DLUMO_BUILD_BENCH=OFF \
    -DLUMO_BUILD_VIEWER=OFF >/dev/null
cmake --build build/fuzz -j "$(nproc 2>/dev/null || echo 2)"

seeds=build/fuzz/seeds
rm -rf "$seeds"
build/fuzz/tests/fuzz/make_fuzz_seeds "$seeds"

run_one() {
    t=$1
    corpus=build/fuzz/corpus/$t
    findings=build/fuzz/findings/$t
    mkdir -p "$corpus" "$findings"
    log=build/fuzz/$t.log
    # -rss_limit_mb and -malloc_limit_mb catch runaway allocations; leaks are
    # findings too (except those inside the libraries lumo uses). OpenEXR
    # reserves the byte count an attribute claims (up to 2 GiB) before it
    # reads the value; lumo refuses what its own walk of the header finds,
    # but behind a malformed attribute the library may still reserve address
    # space that a short file never fills: for the picture target only the
    # memory actually used (the RSS limit) is a finding.
    malloc_limit=1024
    [ "$t" = image_file ] && malloc_limit=2560
    if LSAN_OPTIONS=suppressions=tests/lsan-suppressions.txt:print_suppressions=0 \
        build/fuzz/tests/fuzz/fuzz_$t "$corpus" "$seeds/$t" \
        -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=$malloc_limit -timeout=20 \
        -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1; then
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
        echo "fuzz $t: ${seconds}s, ${runs:-?} runs, no findings"
    else
        echo "fuzz $t: FINDING, see $log and $findings" >&2
        tail -40 "$log" >&2
        return 1
    fi
}

status=0
running=0
pids=""
for t in $targets; do
    run_one "$t" &
    pids="$pids $!"
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        for p in $pids; do wait "$p" || status=1; done
        pids=""
        running=0
    fi
done
for p in $pids; do wait "$p" || status=1; done
exit $status
