#!/usr/bin/env bash
# A batch: the bench documents ten times each and 40 small two-page documents, converted to PDF
# and to PNG at 150 dpi by one xpsconv run with its default --jobs, with --jobs 1, and (when
# GNU parallel is there) by `parallel -j2 mutool`. Prints documents per second, CPU and the
# peak memory of the whole run (every process of it together, sampled every 0.2 s at the lowest
# priority: a sample costs about 40 ms of CPU, which at a higher rate or priority is taken from
# the run it measures).
set -euo pipefail

REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=bench/common.sh
source "$REPO/bench/common.sh"

usage() {
    cat <<'EOF2'
usage: bench/batch.sh [options]
  --copies N      copies of each bench document (default 10)
  --small N       small two-page documents (default 40)
  --case LIST     pdf,png150 (default both)
  --corpus DIR    folder of .xps documents (default ../shared/corpus/bench beside the repo)
  --bin DIR       take xpsconv, proc.dll and mstar.dll from DIR instead of building
  --no-build      use the existing build-release without rebuilding
EOF2
}

COPIES=10
SMALL=40
CASES_ARG="pdf,png150"
DO_BUILD=1
CORPUS="$REPO/../shared/corpus/bench"
while [[ $# -gt 0 ]]; do
    case "$1" in
        --copies) COPIES="${2:?}"; shift 2 ;;
        --small) SMALL="${2:?}"; shift 2 ;;
        --case | --cases) CASES_ARG="${2:?}"; shift 2 ;;
        --corpus) CORPUS="${2:?}"; shift 2 ;;
        --bin) BIN_DIR="${2:?}"; XPSCONV="$BIN_DIR/xpsconv"; ENGINE="$BIN_DIR/proc.dll"; DO_BUILD=0; shift 2 ;;
        --no-build) DO_BUILD=0; shift ;;
        -h | --help) usage; exit 0 ;;
        *) usage >&2; die "unknown option: $1" ;;
    esac
done
IFS=',' read -r -a CASES <<<"$CASES_ARG"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/xpsconv-batch.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

ensure_gnu_time
[[ $DO_BUILD -eq 1 ]] && build_release "$WORK"
[[ -x "$XPSCONV" && -x "$ENGINE" ]] || die "xpsconv or proc.dll missing in $BIN_DIR"

# The batch folder.
find_documents "$CORPUS" "$WORK"
mkdir -p "$WORK/in"
for d in "${DOCS[@]}"; do
    for ((k = 1; k <= COPIES; k++)); do cp "$d" "$WORK/in/$(basename "$d" .xps)-$k.xps"; done
done
if [[ $SMALL -gt 0 ]]; then
    maker="$FIXTURE_BUILD_DIR/tests/helpers/make_xps_program"
    # A tests-enabled build of the usual name serves as well.
    [[ -x "$maker" ]] || [[ ! -x "$REPO/build/tests/helpers/make_xps_program" ]] ||
        maker="$REPO/build/tests/helpers/make_xps_program"
    if [[ ! -x "$maker" ]]; then
        say "building make_xps_program in $FIXTURE_BUILD_DIR"
        { cmake -S "$REPO" -B "$FIXTURE_BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DXPSCONV_TESTS=ON &&
          cmake --build "$FIXTURE_BUILD_DIR" -j2 --target make_xps_program; } >"$WORK/fixtures.log" 2>&1 ||
            die "cannot build make_xps_program (log: $WORK/fixtures.log)"
    fi
    "$maker" "$WORK/small.xps" || die "make_xps_program failed"
    for ((k = 1; k <= SMALL; k++)); do cp "$WORK/small.xps" "$WORK/in/small-$k.xps"; done
fi
COUNT=$(find "$WORK/in" -name '*.xps' | wc -l)
say "batch: $COUNT documents ($COPIES x ${#DOCS[@]} bench documents, $SMALL small ones), $(nproc) processors"

# Resident memory of a process and all its descendants, in KiB.
tree_rss() {
    ps -e -o pid=,ppid=,rss= | awk -v root="$1" '
        { parent[$1] = $2; rss[$1] = $3 }
        END { for (p in rss) { q = p; while (q != "" && q != root && q in parent && q != 1) q = parent[q];
                               if (q == root) total += rss[p] }
              print total + 0 }'
}

# Runs CMD (array) once into a fresh folder; prints "wall cpu peak_kib".
run_batch() {
    rm -rf "$WORK/out" && mkdir -p "$WORK/out"
    local t0 t1 peak=0 now
    t0=$EPOCHREALTIME
    /usr/bin/time -o "$WORK/time" -f '%U %S' -- "${CMD[@]}" >/dev/null 2>>"$WORK/err" &
    local pid=$!
    renice -n 19 -p "$BASHPID" >/dev/null
    while kill -0 "$pid" 2>/dev/null; do
        now=$(tree_rss "$pid")
        ((now > peak)) && peak=$now
        sleep 0.2
    done
    wait "$pid" || say "  (exit status $?)"
    t1=$EPOCHREALTIME
    awk -v a="$t0" -v b="$t1" -v peak="$peak" '{ printf "%.2f %.2f %d\n", b - a, $1 + $2, peak }' "$WORK/time"
}

report() {
    local label="$1" wall cpu peak
    read -r wall cpu peak < <(run_batch)
    awk -v l="$label" -v n="$COUNT" -v w="$wall" -v c="$cpu" -v p="$peak" -v files="$(find "$WORK/out" -type f | wc -l)" \
        'BEGIN { printf "  %-28s %6.2f docs/s  wall %7.2f s  cpu %7.2f s  peak %6.0f MiB  %5d files\n", l, n / w, w, c, p / 1024, files }' >&2
    echo "$wall $cpu"
}

for c in "${CASES[@]}"; do
    case "$c" in
        pdf) opts=(-t pdf) ;;
        png150) opts=(-t png -mx 150 -my 150) ;;
        *) die "unknown case $c" ;;
    esac
    echo "case $c"
    CMD=("$XPSCONV" -i "$WORK/in" "${opts[@]}" -o "$WORK/out" -q)
    read -r default_wall _ < <(report "xpsconv (default --jobs)")
    CMD=("$XPSCONV" --jobs 1 -i "$WORK/in" "${opts[@]}" -o "$WORK/out" -q)
    read -r single_wall single_cpu < <(report "xpsconv --jobs 1")
    awk -v a="$single_wall" -v b="$default_wall" 'BEGIN { printf "  default --jobs / --jobs 1: %.2f x the documents per second\n", a / b }' >&2
    # One document at a time already renders its pages on several threads and encodes while
    # the engine draws: the processors it leaves idle bound what more workers can gain.
    awk -v w="$single_wall" -v c="$single_cpu" -v n="$(nproc)" \
        'BEGIN { busy = c / w; printf "  --jobs 1 keeps %.2f of %d processors busy: at most %.2f x from more workers\n", busy, n, n / busy }' >&2
    if command -v parallel >/dev/null && command -v mutool >/dev/null; then
        if [[ $c == pdf ]]; then
            CMD=(parallel -j2 mutool convert -o "$WORK/out/{/.}.pdf" {} ::: "$WORK"/in/*.xps)
        else
            CMD=(parallel -j2 mutool draw -q -r 150 -o "$WORK/out/{/.}_%03d.png" {} ::: "$WORK"/in/*.xps)
        fi
        report "parallel -j2 mutool" >/dev/null
    fi
done 2>&1
