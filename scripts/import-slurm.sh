#!/bin/sh
# Converts a list of RTI sources (.ptm, .rti, plane sets' info.json) on a
# Slurm cluster: one array job whose tasks each run
# `lumotool import --each` on a share of the list, every source into
# OUTDIR/NAME as one `lumotool import --each` over the whole list would.
#
#   scripts/import-slurm.sh [--dry-run] [--per-task N] [--lumotool PATH]
#                           [--sbatch-option OPT]... LIST OUTDIR [IMPORT OPTION]...
#
# LIST              one source per line, relative to the folder the job is
#                   submitted from; blank lines and lines starting with '#'
#                   are skipped
# --per-task N      sources per array task (default 1)
# --lumotool PATH   the lumotool the tasks run (default: lumotool on PATH)
# --sbatch-option   passed to sbatch (e.g. --partition=cpu)
# --dry-run         print the sbatch command instead of submitting it
# IMPORT OPTIONs (--bands, --name) are passed to every task. NAME is the
# source's file name without its extension (a plane set: its folder's name);
# two sources of the list with one NAME are refused before anything is
# submitted, as the tasks could not number them apart. A task whose sources
# fail lists them in its output and fails. OUTDIR must be on a file system
# every node sees.
set -eu

usage() {
    echo "usage: scripts/import-slurm.sh [--dry-run] [--per-task N] [--lumotool PATH]" \
        "[--sbatch-option OPT]... LIST OUTDIR [IMPORT OPTION]..." >&2
    exit 2
}

dry_run=0
per_task=1
tool=lumotool
sbatch_opts=""
while [ $# -gt 0 ]; do
    case "$1" in
    --dry-run) dry_run=1; shift ;;
    --per-task) [ $# -ge 2 ] || usage; per_task=$2; shift 2 ;;
    --lumotool) [ $# -ge 2 ] || usage; tool=$2; shift 2 ;;
    --sbatch-option) [ $# -ge 2 ] || usage; sbatch_opts="$sbatch_opts $2"; shift 2 ;;
    -h | --help) usage ;;
    *) break ;;
    esac
done
[ $# -ge 2 ] || usage
list=$1
outdir=$2
shift 2
import_opts="$*"
case "$per_task" in '' | *[!0-9]* | 0) usage ;; esac
case "$list$outdir" in *"'"*) echo "import-slurm: LIST and OUTDIR may not hold a quote" >&2; exit 2 ;; esac

[ -r "$list" ] || { echo "import-slurm: cannot read $list" >&2; exit 1; }
sources=$(grep -v -e '^#' -e '^[[:space:]]*$' "$list" || true)
count=$(printf '%s\n' "$sources" | grep -c . || true)
[ "$count" -ge 1 ] || { echo "import-slurm: $list lists no sources" >&2; exit 1; }

# The folder each source gets: its name without the extension, or for an
# info.json its folder's name.
dups=$(printf '%s\n' "$sources" | awk '
    { n = split($0, p, "/"); name = p[n]
      if (name == "info.json") name = (n > 1 ? p[n - 1] : "source")
      else sub(/\.[^.]*$/, "", name)
      if (name in seen) print "import-slurm: " seen[name] " and " $0 " would both go to '"$outdir"'/" name
      else seen[name] = $0 }')
[ -z "$dups" ] || { echo "$dups" >&2; exit 1; }

tasks=$(((count + per_task - 1) / per_task))
# Task i takes sources i * N + 1 .. i * N + N of the list as read above.
task="i=\$SLURM_ARRAY_TASK_ID; grep -v -e \"^#\" -e \"^[[:space:]]*\$\" $list | sed -n \"\$((i * $per_task + 1)),\$((i * $per_task + $per_task))p\" | { set --; while IFS= read -r s; do set -- \"\$@\" \"\$s\"; done; exec $tool import --each${import_opts:+ $import_opts} \"\$@\" $outdir; }"

if [ $dry_run -eq 1 ]; then
    echo "sbatch --parsable${sbatch_opts} --job-name=lumo-import --array=0-$((tasks - 1)) --wrap '$task'"
    exit 0
fi
mkdir -p "$outdir"
# shellcheck disable=SC2086
job=$(sbatch --parsable $sbatch_opts --job-name=lumo-import --array=0-$((tasks - 1)) --wrap "$task")
job=${job%%;*}
echo "import-slurm: array job $job imports $count sources in $tasks tasks into $outdir"
