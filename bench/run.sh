#!/usr/bin/env bash
# Times xpsconv against peer converters on the benchmark documents and prints, per case and
# document, median wall time, median CPU time, peak memory and the ratios xpsconv/peer.
set -euo pipefail

REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=bench/common.sh
source "$REPO/bench/common.sh"

ALL_CASES=(pdf jpg72 jpg150 jpg300 png150 tif150 gif150)

usage() {
    cat <<'EOF'
usage: bench/run.sh [options]
  --runs N        timed runs per command after one warm-up (default 5)
  --quick         1 timed run, text.xps only (all cases)
  --case LIST     comma-separated cases (default all): pdf jpg72 jpg150 jpg300 png150 tif150 gif150
  --doc LIST      comma-separated document names, e.g. text.xps,mixed.xps (default all)
  --corpus DIR    folder of .xps documents (default ../shared/corpus/bench beside the repo)
  --tsv FILE      also write one TSV line per case, document and tool to FILE
  --slow S        a command whose warm-up takes more than S seconds gets at most 3 timed
                  runs (default 3; 0: always --runs); keeps the full run near 10 minutes
  --no-build      use the existing build-release without rebuilding
EOF
}

RUNS=""
QUICK=0
CASES_ARG=""
DOCS_ARG=""
TSV=""
DO_BUILD=1
SLOW=3
CORPUS="$REPO/../shared/corpus/bench"
while [[ $# -gt 0 ]]; do
    case "$1" in
        --runs) RUNS="${2:?--runs needs a number}"; shift 2 ;;
        --quick) QUICK=1; shift ;;
        --case | --cases) CASES_ARG="${2:?--case needs a list}"; shift 2 ;;
        --doc | --docs) DOCS_ARG="${2:?--doc needs a list}"; shift 2 ;;
        --corpus) CORPUS="${2:?--corpus needs a folder}"; shift 2 ;;
        --tsv) TSV="${2:?--tsv needs a file}"; shift 2 ;;
        --slow) SLOW="${2:?--slow needs seconds}"; shift 2 ;;
        --no-build) DO_BUILD=0; shift ;;
        -h | --help) usage; exit 0 ;;
        *) usage >&2; die "unknown option: $1" ;;
    esac
done
if [[ $QUICK -eq 1 ]]; then
    RUNS="${RUNS:-1}"
    DOCS_ARG="${DOCS_ARG:-text.xps}"
fi
RUNS="${RUNS:-5}"
[[ "$RUNS" =~ ^[1-9][0-9]*$ ]] || die "--runs wants a positive whole number, not '$RUNS'"
[[ "$SLOW" =~ ^[0-9]+([.][0-9]+)?$ ]] || die "--slow wants seconds, not '$SLOW'"
SLOW_RUNS=3

CASES=("${ALL_CASES[@]}")
if [[ -n "$CASES_ARG" ]]; then
    IFS=',' read -r -a CASES <<<"$CASES_ARG"
    for c in "${CASES[@]}"; do
        [[ " ${ALL_CASES[*]} " == *" $c "* ]] || die "unknown case '$c' (known: ${ALL_CASES[*]})"
    done
fi

WORK="$(mktemp -d "${TMPDIR:-/tmp}/xpsconv-bench.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

ensure_gnu_time
[[ $DO_BUILD -eq 1 ]] && build_release "$WORK"
[[ -x "$XPSCONV" && -x "$ENGINE" && -e "$BIN_DIR/mstar.dll" ]] ||
    die "xpsconv, proc.dll or mstar.dll missing in $BIN_DIR (run without --no-build)"

find_documents "$CORPUS" "$WORK"
if [[ -n "$DOCS_ARG" ]]; then
    IFS=',' read -r -a wanted <<<"$DOCS_ARG"
    selected=()
    for d in "${DOCS[@]}"; do
        for w in "${wanted[@]}"; do [[ "$(basename "$d")" == "$w" ]] && selected+=("$d"); done
    done
    if [[ ${#selected[@]} -eq 0 ]]; then
        say "none of '$DOCS_ARG' found; measuring every document instead"
    else
        DOCS=("${selected[@]}")
    fi
fi

# ---- cases and tools -------------------------------------------------------------------------

case_title() {
    case "$1" in
        pdf) echo "PDF" ;;
        jpg*) echo "JPEG ${1#jpg} dpi" ;;
        png150) echo "PNG 150 dpi" ;;
        tif150) echo "multi-page TIFF, LZW, 150 dpi" ;;
        gif150) echo "GIF 8-bit (256 colours), 150 dpi" ;;
    esac
}

case_dpi() { local d="${1//[!0-9]/}"; echo "${d:-72}"; }

# Peers as in BASELINES.md; the JPEG floor is also run at 72 dpi, and the GIF case, which has no
# GIF-writing peer there, is set against the bare render (PPM).
peers_for_case() {
    case "$1" in
        pdf) echo "mutool-convert mutool-convert-z xpstopdf" ;;
        jpg*) echo "mutool-ppm jpeg-floor xpstojpeg" ;;
        png150) echo "mutool-png xpstopng" ;;
        tif150) echo "tiff-floor" ;;
        gif150) echo "mutool-ppm" ;;
    esac
}

tool_label() {
    case "$1" in
        xpsconv) echo "xpsconv" ;;
        mutool-convert) echo "mutool convert" ;;
        mutool-convert-z) echo "mutool convert -O compress" ;;
        xpstopdf) echo "xpstopdf" ;;
        mutool-ppm) echo "mutool draw -> PPM (render only)" ;;
        mutool-png) echo "mutool draw -> PNG" ;;
        jpeg-floor) echo "floor: mutool PPM + cjpeg" ;;
        tiff-floor) echo "floor: mutool PPM + pnmtotiff + tiffcp" ;;
        xpstojpeg) echo "xpstojpeg" ;;
        xpstopng) echo "xpstopng" ;;
    esac
}

tool_programs() {
    case "$1" in
        xpsconv) echo "" ;;
        mutool-*) echo "mutool" ;;
        jpeg-floor) echo "mutool cjpeg" ;;
        tiff-floor) echo "mutool pnmtotiff tiffcp" ;;
        *) echo "$1" ;;
    esac
}

# The files that count as output (intermediate PPMs of the floors do not).
tool_output_pattern() {
    local tool="$1" case="$2"
    case "$tool" in
        tiff-floor) echo "all.tif" ;;
        mutool-ppm) echo "*.ppm" ;;
        mutool-png | xpstopng) echo "*.png" ;;
        jpeg-floor | xpstojpeg) echo "*.jpg" ;;
        mutool-convert* | xpstopdf) echo "*.pdf" ;;
        xpsconv)
            case "$case" in
                pdf) echo "*.pdf" ;; jpg*) echo "*.jpg" ;; png*) echo "*.png" ;;
                tif*) echo "*.tif" ;; gif*) echo "*.gif" ;;
            esac ;;
    esac
}

# Sets CMD to the command for TOOL, CASE, DOC writing into the empty folder OUT.
# shellcheck disable=SC2016  # the single-quoted scripts expand their own arguments
set_command() {
    local tool="$1" case="$2" doc="$3" out="$4"
    local dpi
    dpi="$(case_dpi "$case")"
    case "$tool" in
        xpsconv)
            case "$case" in
                pdf) CMD=("$XPSCONV" -i "$doc" -t pdf -o "$out") ;;
                jpg*) CMD=("$XPSCONV" -i "$doc" -t jpg -mx "$dpi" -my "$dpi" -o "$out") ;;
                png*) CMD=("$XPSCONV" -i "$doc" -t png -mx "$dpi" -my "$dpi" -o "$out") ;;
                tif*) CMD=("$XPSCONV" -i "$doc" -t tif -mm -mc lzw -mx "$dpi" -my "$dpi" -o "$out") ;;
                gif*) CMD=("$XPSCONV" -i "$doc" -t gif -mb 8 -mx "$dpi" -my "$dpi" -o "$out") ;;
            esac ;;
        mutool-convert) CMD=(mutool convert -o "$out/out.pdf" "$doc") ;;
        mutool-convert-z) CMD=(mutool convert -O compress -o "$out/out.pdf" "$doc") ;;
        xpstopdf) CMD=(xpstopdf "$doc" "$out/out.pdf") ;;
        mutool-ppm) CMD=(mutool draw -q -r "$dpi" -o "$out/p%03d.ppm" "$doc") ;;
        mutool-png) CMD=(mutool draw -q -r "$dpi" -o "$out/p%03d.png" "$doc") ;;
        xpstojpeg) CMD=(xpstojpeg -r "$dpi" "$doc" "$out/p") ;;
        xpstopng) CMD=(xpstopng -r "$dpi" "$doc" "$out/p") ;;
        jpeg-floor)
            CMD=(sh -c 'mutool draw -q -r "$1" -o "$2/p%03d.ppm" "$3" &&
                for f in "$2"/p*.ppm; do cjpeg -quality 75 -optimize -progressive "$f" > "${f%.ppm}.jpg"; done' \
                jpeg-floor "$dpi" "$out" "$doc") ;;
        tiff-floor)
            CMD=(sh -c 'mutool draw -q -r "$1" -o "$2/p%03d.ppm" "$3" &&
                for f in "$2"/p*.ppm; do pnmtotiff -lzw "$f" > "${f%.ppm}.tif" 2>/dev/null; done &&
                tiffcp "$2"/p*.tif "$2/all.tif"' tiff-floor "$dpi" "$out" "$doc") ;;
    esac
}

tool_available() {
    local p
    for p in $(tool_programs "$1"); do command -v "$p" >/dev/null 2>&1 || return 1; done
    return 0
}

# ---- measuring -------------------------------------------------------------------------------

RESULTS="$WORK/results.txt"   # case doc tool run wall cpu rss status bytes files
: >"$RESULTS"
FAILURES="$WORK/failures.txt"
: >"$FAILURES"

declare -A WARM_WALL=()

# Slow commands vary little from run to run; capping their runs keeps the whole bench short.
wanted_run() {
    local tool="$1" run="$2"
    [[ $run -le $SLOW_RUNS ]] && return 0
    awk -v w="${WARM_WALL[$tool]:-0}" -v s="$SLOW" 'BEGIN { exit !(s == 0 || w <= s) }'
}

# Runs TOOL once into a fresh folder; RUN 0 is the warm-up and is not recorded.
run_tool() {
    local case="$1" doc="$2" tool="$3" run="$4"
    local out="$WORK/out"
    rm -rf "$out"
    mkdir -p "$out"
    set_command "$tool" "$case" "$doc" "$out"
    : >"$WORK/stderr.txt"
    local line
    line="$(measure_once "$WORK/time.txt" "$WORK/stderr.txt")"
    [[ $run -eq 0 ]] && WARM_WALL[$tool]="${line%% *}"
    local status="${line##* }"
    local bytes files
    read -r bytes files < <(find "$out" -maxdepth 1 -type f -name "$(tool_output_pattern "$tool" "$case")" \
        -printf '%s\n' | awk '{ s += $1; n++ } END { printf "%d %d\n", s, n }')
    rm -rf "$out"
    if [[ "$status" != "0" ]]; then
        {
            echo "$case $(basename "$doc") $tool run $run: exit $status"
            grep -v 'ICC support is not available' "$WORK/stderr.txt" | head -n 3 | sed 's/^/    /'
        } >>"$FAILURES"
    fi
    [[ $run -eq 0 ]] && return 0
    echo "$case $(basename "$doc") $tool $run $line $bytes $files" >>"$RESULTS"
}

# Prints the table rows for one case and document from the recorded runs.
print_rows() {
    local case="$1" docname="$2" load="$3"
    awk -v c="$case" -v d="$docname" -v load="$load" -v tsv="$TSV" -v labels="$LABELS" '
        function median(list,    n, a, i, j, t) {
            n = split(list, a, " ")
            for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] + 0 > t + 0; j--) a[j + 1] = a[j]; a[j + 1] = t }
            if (n == 0) return -1
            return (n % 2) ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
        }
        function lowest(list,    n, a, i, m) { n = split(list, a, " "); m = a[1]; for (i = 2; i <= n; i++) if (a[i] + 0 < m + 0) m = a[i]; return m }
        function highest(list,   n, a, i, m) { n = split(list, a, " "); m = a[1]; for (i = 2; i <= n; i++) if (a[i] + 0 > m + 0) m = a[i]; return m }
        function secs(x) { return sprintf(x < 10 ? "%.3f" : "%.2f", x) }
        function ratio(x, y) { return (y > 0 && x >= 0) ? sprintf("%.2f", x / y) : "-" }
        BEGIN {
            n = split(labels, pairs, "|")
            for (i = 1; i <= n; i++) { split(pairs[i], kv, "="); label[kv[1]] = kv[2] }
        }
        $1 == c && $2 == d {
            t = $3
            if (!(t in seen)) { seen[t] = 1; order[++count] = t }
            wall[t] = wall[t] " " $5; cpu[t] = cpu[t] " " $6
            if ($7 > rss[t]) rss[t] = $7
            runs[t]++
            if ($8 != "0") { bad[t]++; status[t] = $8 }
            bytes[t] = $9; files[t] = $10
        }
        END {
            for (k = 1; k <= count; k++) {
                t = order[k]
                w = median(wall[t]); u = median(cpu[t]); m = rss[t] / 1024
                if (t == "xpsconv") { xw = w; xu = u; xm = m }
                mw[t] = w; mu[t] = u; mm[t] = m
            }
            for (k = 1; k <= count; k++) {
                t = order[k]
                spread = secs(lowest(wall[t])) "-" secs(highest(wall[t]))
                note = bad[t] ? sprintf("  FAILED %d/%d (%s)", bad[t], runs[t], status[t]) : ""
                if (t == "xpsconv") { rw = ""; ru = ""; rm = "" }
                else { rw = ratio(xw, mw[t]); ru = ratio(xu, mu[t]); rm = ratio(xm, mm[t]) }
                printf "%-13s %-39s %2d %8s %13s %7.2f %7.1f %8.2f %6s %6s %6s %5s%s\n",
                    (k == 1 ? d : ""), label[t], runs[t], secs(mw[t]), spread, mu[t], mm[t], bytes[t] / 1e6,
                    rw, ru, rm, (k == 1 ? load : ""), note
                if (tsv != "")
                    printf "%s\t%s\t%s\t%d\t%d\t%.4f\t%.4f\t%.4f\t%.2f\t%d\t%d\t%d\t%s\t%s\t%s\t%s\n",
                        c, d, t, runs[t], runs[t] - bad[t], mw[t], lowest(wall[t]), highest(wall[t]),
                        mu[t], rss[t], bytes[t], files[t], rw, ru, rm, load >> tsv
            }
        }' "$RESULTS"
}

LABELS=""
for t in xpsconv mutool-convert mutool-convert-z xpstopdf mutool-ppm mutool-png jpeg-floor tiff-floor xpstojpeg xpstopng; do
    LABELS+="$t=$(tool_label "$t")|"
done

if [[ -n "$TSV" ]]; then
    printf 'case\tdoc\ttool\truns\tok_runs\twall_median_s\twall_min_s\twall_max_s\tcpu_median_s\tpeak_rss_kib\tout_bytes\tout_files\twall_ratio\tcpu_ratio\tmem_ratio\tload1\n' >"$TSV"
fi

# ---- run ------------------------------------------------------------------------------------

declare -A SKIPPED=()
for t in mutool-convert mutool-convert-z xpstopdf mutool-ppm mutool-png jpeg-floor tiff-floor xpstojpeg xpstopng; do
    tool_available "$t" || SKIPPED[$t]="missing: $(tool_programs "$t")"
done

echo "xpsconv benchmark  $(date '+%Y-%m-%d %H:%M')  commit $(git -C "$REPO" rev-parse --short HEAD 2>/dev/null || echo '?')"
echo "machine: $(nproc) cores, load average at start $(load_average)  (other jobs on the machine make the numbers noisy)"
echo "runs: $RUNS timed per command after 1 warm-up (at most $SLOW_RUNS when the warm-up took over ${SLOW} s);"
echo "      the commands of one case and document take turns, run by run"
echo "documents: $(for d in "${DOCS[@]}"; do printf '%s ' "$(basename "$d")"; done)"
for t in "${!SKIPPED[@]}"; do echo "skipped peer: $(tool_label "$t") (${SKIPPED[$t]})"; done
echo
echo "n = timed runs; wall = median wall seconds (min-max over the runs); cpu = median user+sys"
echo "seconds of the whole process tree; MiB = peak RSS of the largest single process (GNU time %M,"
echo "max over the runs); out MB = bytes of the final output files; x/wall, x/cpu, x/mem = xpsconv"
echo "divided by the peer (above 1: xpsconv slower or larger); load = 1-minute load average when"
echo "the document's runs began."

started=$SECONDS
for case in "${CASES[@]}"; do
    echo
    echo "== $case: $(case_title "$case") =="
    printf '%-13s %-39s %2s %8s %13s %7s %7s %8s %6s %6s %6s %5s\n' \
        "document" "command" "n" "wall s" "min-max s" "cpu s" "MiB" "out MB" "x/wall" "x/cpu" "x/mem" "load"
    tools=(xpsconv)
    for t in $(peers_for_case "$case"); do [[ -z "${SKIPPED[$t]:-}" ]] && tools+=("$t"); done
    for doc in "${DOCS[@]}"; do
        docname="$(basename "$doc")"
        load="$(load_average)"
        say "[$case $docname] warm-up + $RUNS run(s) of: ${tools[*]}"
        for run in $(seq 0 "$RUNS"); do
            for t in "${tools[@]}"; do
                wanted_run "$t" "$run" && run_tool "$case" "$doc" "$t" "$run"
            done
        done
        print_rows "$case" "$docname" "$load"
    done
done

echo
echo "finished in $((SECONDS - started)) s; load average at the end $(load_average)"
if [[ -s "$FAILURES" ]]; then
    echo
    echo "commands that exited non-zero (warm-up runs included):"
    cat "$FAILURES"
fi
[[ -n "$TSV" ]] && echo "TSV written to $TSV"
exit 0
