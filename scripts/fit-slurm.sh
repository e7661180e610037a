#!/bin/sh
# Fits a capture on a Slurm cluster: one array job whose tasks each run
# `lumotool fit --cameras I-J` on a shard of the cameras into one shared
# OUTDIR, then a job that runs after all of them and merges the report parts
# (`lumotool fit --merge`) into OUTDIR/fit-report.json.
#
#   scripts/fit-slurm.sh [--dry-run] [--shards N] [--lumotool PATH]
#                        [--sbatch-option OPT]... CAPTURE OUTDIR [FIT OPTION]...
#
# --shards N        number of array tasks (default: one per camera); the
#                   cameras are split into N contiguous row-major ranges
# --lumotool PATH   the lumotool the tasks run (default: lumotool on PATH)
# --sbatch-option   passed to both sbatch calls (e.g. --partition=cpu)
# --dry-run         print the sbatch commands instead of submitting them
# FIT OPTIONs (--bands, --lambda, --holdout, --name, --mask-below) are passed
# to every shard. The camera count is read from the manifest: one "lp" key per
# camera; an .lp CAPTURE is one camera. OUTDIR must be on a file system every
# node sees.
set -eu

usage() {
    echo "usage: scripts/fit-slurm.sh [--dry-run] [--shards N] [--lumotool PATH]" \
        "[--sbatch-option OPT]... CAPTURE OUTDIR [FIT OPTION]..." >&2
    exit 2
}

dry_run=0
shards=0
tool=lumotool
sbatch_opts=""
while [ $# -gt 0 ]; do
    case "$1" in
    --dry-run) dry_run=1; shift ;;
    --shards) [ $# -ge 2 ] || usage; shards=$2; shift 2 ;;
    --lumotool) [ $# -ge 2 ] || usage; tool=$2; shift 2 ;;
    --sbatch-option) [ $# -ge 2 ] || usage; sbatch_opts="$sbatch_opts $2"; shift 2 ;;
    -h | --help) usage ;;
    *) break ;;
    esac
done
[ $# -ge 2 ] || usage
capture=$1
outdir=$2
shift 2
fit_opts="$*"

case "$capture" in
*.lp) cameras=1 ;;
*.json)
    [ -r "$capture" ] || { echo "fit-slurm: cannot read $capture" >&2; exit 1; }
    cameras=$(grep -o '"lp"[[:space:]]*:' "$capture" | wc -l)
    ;;
*) echo "fit-slurm: $capture is neither an .lp file nor a .json manifest" >&2; exit 2 ;;
esac
[ "$cameras" -ge 1 ] || { echo "fit-slurm: $capture lists no cameras" >&2; exit 1; }
case "$shards" in '' | *[!0-9]*) usage ;; esac
[ "$shards" -ge 1 ] && [ "$shards" -le "$cameras" ] || shards=$cameras

# Shard i covers cameras [cameras * i / shards, cameras * (i + 1) / shards).
ranges=""
i=0
while [ $i -lt "$shards" ]; do
    first=$((cameras * i / shards))
    last=$((cameras * (i + 1) / shards - 1))
    ranges="$ranges $first-$last"
    i=$((i + 1))
done
ranges=${ranges# }

task="set -- $ranges; shift \$SLURM_ARRAY_TASK_ID; exec $tool fit $capture $outdir --cameras \$1 --quiet${fit_opts:+ $fit_opts}"
merge="exec $tool fit $capture $outdir --merge"

if [ $dry_run -eq 1 ]; then
    echo "sbatch --parsable${sbatch_opts} --job-name=lumo-fit --array=0-$((shards - 1)) --wrap '$task'"
    echo "sbatch --parsable${sbatch_opts} --job-name=lumo-fit-merge --dependency=afterok:JOBID --wrap '$merge'"
    exit 0
fi
mkdir -p "$outdir"
# shellcheck disable=SC2086
job=$(sbatch --parsable $sbatch_opts --job-name=lumo-fit --array=0-$((shards - 1)) --wrap "$task")
job=${job%%;*}
# shellcheck disable=SC2086
sbatch --parsable $sbatch_opts --job-name=lumo-fit-merge --dependency=afterok:"$job" --wrap "$merge"
echo "fit-slurm: array job $job fits $cameras cameras in $shards shards into $outdir"
