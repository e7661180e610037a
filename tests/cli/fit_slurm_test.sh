#!/bin/sh
# scripts/fit-slurm.sh: its dry run prints the two submissions; run against a
# stand-in sbatch that runs every array task here, one process each, its
# shards and merge give the same files as one `lumotool fit` over every camera.
#   fit_slurm_test.sh SCRIPT LUMOTOOL
set -u
script=$1
tool=$2
fail=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || exit 1

"$tool" bake demo --grid 2 --size 16 --capture 20 --quiet || { echo "FAILED: bake"; exit 1; }

out=$("$script" --dry-run --shards 3 --lumotool /opt/lumotool --sbatch-option --partition=cpu \
    demo/capture-sphere.json fitted --bands 3 --holdout 2)
want="sbatch --parsable --partition=cpu --job-name=lumo-fit --array=0-2 --wrap 'set -- 0-0 1-1 2-3; shift \$SLURM_ARRAY_TASK_ID; exec /opt/lumotool fit demo/capture-sphere.json fitted --cameras \$1 --quiet --bands 3 --holdout 2'
sbatch --parsable --partition=cpu --job-name=lumo-fit-merge --dependency=afterok:JOBID --wrap 'exec /opt/lumotool fit demo/capture-sphere.json fitted --merge'"
if [ "$out" != "$want" ]; then
    echo "FAILED: dry run printed:"; echo "$out"; echo "expected:"; echo "$want"; fail=1
else
    echo "ok: dry run"
fi
[ -e fitted ] && { echo "FAILED: the dry run created the output folder"; fail=1; }

# A stand-in sbatch: runs the array's tasks in reverse order, then the job,
# their output going to files as Slurm's does, and prints the job id.
mkdir bin
cat >bin/sbatch <<'SBATCH'
#!/bin/sh
array=""; wrap=""
while [ $# -gt 0 ]; do
    case "$1" in
    --array=*) array=${1#--array=} ;;
    --wrap) wrap=$2; shift ;;
    esac
    shift
done
if [ -n "$array" ]; then
    i=${array#*-}
    while [ "$i" -ge 0 ]; do
        SLURM_ARRAY_TASK_ID=$i sh -c "$wrap" >"slurm-4242_$i.out" 2>&1 || exit 1
        i=$((i - 1))
    done
    echo "4242;cluster"
else
    sh -c "$wrap" >slurm-4243.out 2>&1 || exit 1
    echo 4243
fi
SBATCH
chmod +x bin/sbatch
PATH="$tmp/bin:$PATH" "$script" --shards 3 --lumotool "$tool" demo/capture-sphere.json sharded \
    --bands 3 >submit.out 2>&1 || { echo "FAILED: submission"; cat submit.out; fail=1; }
"$tool" fit demo/capture-sphere.json whole --bands 3 --quiet >/dev/null || fail=1
for f in scene.lid scene.0.0.urdf.sh scene.1.0.urdf.sh scene.0.1.urdf.sh scene.1.1.urdf.sh; do
    if cmp -s "whole/$f" "sharded/$f"; then echo "ok: $f"; else echo "FAILED: $f differs"; fail=1; fi
done
for f in fit-report.json fit-report.0-0.json fit-report.1-1.json fit-report.2-3.json; do
    [ -s "sharded/$f" ] || { echo "FAILED: no sharded/$f"; fail=1; }
done
grep -q "array job 4242 fits 4 cameras in 3 shards into sharded" submit.out ||
    { echo "FAILED: submission summary"; cat submit.out; fail=1; }
exit $fail
