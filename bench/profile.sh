#!/usr/bin/env bash
# Where xpsconv's time goes for one document converted to JPEG: the engine (parse, render, BMP
# write) against the converter stage (BMP read, colour work, encode), with reference timings
# and, when perf works, a CPU-sample breakdown by process and library.
set -euo pipefail

REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=bench/common.sh
source "$REPO/bench/common.sh"

usage() {
    cat <<'EOF'
usage: bench/profile.sh [options]
  --doc NAME|PATH  document (default text.xps from the corpus)
  --dpi N          resolution (default 150)
  --runs N         timed runs per command after one warm-up (default 3)
  --corpus DIR     folder of .xps documents (default ../shared/corpus/bench beside the repo)
  --no-build       use the existing build-release without rebuilding
  --no-perf        skip the perf sample breakdown
EOF
}

DOC_ARG="text.xps"
DPI=150
RUNS=3
DO_BUILD=1
USE_PERF=1
CORPUS="$REPO/../shared/corpus/bench"
while [[ $# -gt 0 ]]; do
    case "$1" in
        --doc) DOC_ARG="${2:?--doc needs a name}"; shift 2 ;;
        --dpi) DPI="${2:?--dpi needs a number}"; shift 2 ;;
        --runs) RUNS="${2:?--runs needs a number}"; shift 2 ;;
        --corpus) CORPUS="${2:?--corpus needs a folder}"; shift 2 ;;
        --no-build) DO_BUILD=0; shift ;;
        --no-perf) USE_PERF=0; shift ;;
        -h | --help) usage; exit 0 ;;
        *) usage >&2; die "unknown option: $1" ;;
    esac
done
[[ "$RUNS" =~ ^[1-9][0-9]*$ ]] || die "--runs wants a positive whole number"
[[ "$DPI" =~ ^[1-9][0-9]*$ ]] || die "--dpi wants a positive whole number"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/xpsconv-profile.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

ensure_gnu_time
[[ $DO_BUILD -eq 1 ]] && build_release "$WORK"
[[ -x "$XPSCONV" && -x "$ENGINE" ]] || die "xpsconv or proc.dll missing in $BIN_DIR"

if [[ -f "$DOC_ARG" ]]; then
    DOC="$DOC_ARG"
else
    find_documents "$CORPUS" "$WORK"
    DOC=""
    for d in "${DOCS[@]}"; do [[ "$(basename "$d")" == "$DOC_ARG" ]] && DOC="$d"; done
    if [[ -z "$DOC" ]]; then
        DOC="${DOCS[0]}"
        say "$DOC_ARG not found; profiling $(basename "$DOC")"
    fi
fi

# ---- stages, timed the same way as bench/run.sh ---------------------------------------------

STAGES=(whole engine render bmpread cjpeg)
stage_label() {
    case "$1" in
        whole) echo "xpsconv -t jpg (everything)" ;;
        engine) echo "proc.dll alone: parse + render + BMP write" ;;
        render) echo "ref: MuPDF render, nothing written (mutool draw)" ;;
        bmpread) echo "ref: read the page BMPs (cat, page cache)" ;;
        cjpeg) echo "ref: BMP -> JPEG with cjpeg (q75, optimised, progressive)" ;;
    esac
}

PAGES="$WORK/pages"   # the engine's BMPs, kept for the two BMP references
# shellcheck disable=SC2016  # the single-quoted scripts expand their own arguments
set_stage_command() {
    local out="$1"
    case "$2" in
        whole) CMD=("$XPSCONV" -i "$DOC" -t jpg -mx "$DPI" -my "$DPI" -o "$out") ;;
        engine) CMD=("$ENGINE" -sDEVICE=bmp16m "-r${DPI}x${DPI}" "-sOutputFile=$out/p_%03d.bmp" "$DOC") ;;
        render) CMD=(mutool draw -q -r "$DPI" "$DOC") ;;
        bmpread) CMD=(sh -c 'cat "$1"/*.bmp > /dev/null' bmpread "$PAGES") ;;
        cjpeg) CMD=(sh -c 'for f in "$1"/*.bmp; do b=${f##*/}; cjpeg -quality 75 -optimize -progressive "$f" > "$2/${b%.bmp}.jpg"; done' \
                       cjpeg "$PAGES" "$out") ;;
    esac
}

drop_stage() {
    local kept=() s
    for s in "${STAGES[@]}"; do [[ $s == "$1" ]] || kept+=("$s"); done
    STAGES=("${kept[@]}")
}
command -v mutool >/dev/null 2>&1 || { say "mutool missing: render reference skipped"; drop_stage render; }
command -v cjpeg >/dev/null 2>&1 || { say "cjpeg missing: encode reference skipped"; drop_stage cjpeg; }

mkdir -p "$PAGES"
CMD=("$ENGINE" -sDEVICE=bmp16m "-r${DPI}x${DPI}" "-sOutputFile=$PAGES/p_%03d.bmp" "$DOC")
"${CMD[@]}" >/dev/null 2>"$WORK/engine.err" || die "proc.dll failed on $DOC: $(head -n 1 "$WORK/engine.err")"
PAGE_COUNT=$(find "$PAGES" -name '*.bmp' | wc -l)
BMP_MB=$(du -sm "$PAGES" | cut -f 1)

RESULTS="$WORK/results.txt"
: >"$RESULTS"
say "profiling $(basename "$DOC") at $DPI dpi: warm-up + $RUNS run(s) of ${STAGES[*]}"
for run in $(seq 0 "$RUNS"); do
    for s in "${STAGES[@]}"; do
        rm -rf "$WORK/out"
        mkdir -p "$WORK/out"
        set_stage_command "$WORK/out" "$s"
        line="$(measure_once "$WORK/time.txt" "$WORK/stderr.txt")"
        [[ "${line##* }" == "0" ]] || say "warning: $s exited ${line##* }"
        [[ $run -gt 0 ]] && echo "$s $line" >>"$RESULTS"
    done
done
rm -rf "$WORK/out"

median_of() {   # STAGE FIELD (2 wall, 3 cpu, 4 rss)
    awk -v s="$1" -v f="$2" '$1 == s { v[++n] = $f }
        END { if (!n) { print -1; exit }
              for (i = 2; i <= n; i++) { t = v[i]; for (j = i - 1; j >= 1 && v[j] + 0 > t + 0; j--) v[j + 1] = v[j]; v[j + 1] = t }
              print (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }' "$RESULTS"
}

echo "xpsconv profile: $(basename "$DOC"), $PAGE_COUNT pages, JPEG at $DPI dpi ($BMP_MB MB of page BMPs)"
echo "median of $RUNS run(s) after a warm-up; load average $(load_average); the machine is shared, so expect noise"
echo "wait = wall - cpu: time off the CPU (I/O, polling, other jobs holding the cores); negative"
echo "when work ran on both cores at once. xpsconv converts pages while the engine still renders, so"
echo "the converter stage's wall figure is only what it adds beyond the engine; its cpu is its cost."
echo
printf '%-66s %8s %7s %7s %6s %7s\n' "stage" "wall s" "cpu s" "wait s" "MiB" "% wall"
declare -A W C
for s in "${STAGES[@]}"; do
    W[$s]=$(median_of "$s" 2)
    C[$s]=$(median_of "$s" 3)
done
whole_wall=${W[whole]}
for s in "${STAGES[@]}"; do
    rss=$(awk -v s="$s" '$1 == s && $4 > m { m = $4 } END { printf "%.1f", m / 1024 }' "$RESULTS")
    awk -v l="$(stage_label "$s")" -v w="${W[$s]}" -v c="${C[$s]}" -v m="$rss" -v t="$whole_wall" \
        'BEGIN { printf "%-66s %8.3f %7.2f %7.2f %6s %6.0f%%\n", l, w, c, w - c, m, 100 * w / t }'
    if [[ $s == engine ]]; then
        awk -v w="${W[whole]}" -v e="${W[engine]}" -v cw="${C[whole]}" -v ce="${C[engine]}" -v t="$whole_wall" \
            'BEGIN { printf "%-66s %8.3f %7.2f %7.2f %6s %6.0f%%\n", "converter stage = everything - engine (BMP read, colour, encode)",
                     w - e, cw - ce, (w - e) - (cw - ce), "", 100 * (w - e) / t }'
    fi
done

# ---- CPU samples by process and library -----------------------------------------------------

if [[ $USE_PERF -eq 0 ]]; then exit 0; fi
if ! command -v perf >/dev/null 2>&1; then
    echo
    echo "perf not installed: no sample breakdown (Debian package linux-perf)"
    exit 0
fi
rm -rf "$WORK/out"
mkdir -p "$WORK/out"
if ! perf record -q -e cpu-clock -F 2000 -o "$WORK/perf.data" -- \
        "$XPSCONV" -i "$DOC" -t jpg -mx "$DPI" -my "$DPI" -o "$WORK/out" >/dev/null 2>"$WORK/perf.err"; then
    echo
    echo "perf record failed ($(head -n 1 "$WORK/perf.err")): no sample breakdown"
    exit 0
fi
perf report -i "$WORK/perf.data" -n --no-children --sort comm,dso,sym --stdio --percent-limit 0 \
    2>/dev/null >"$WORK/perf.txt" || true

echo
echo "CPU samples of one xpsconv run (perf, cpu-clock at 2 kHz), by process and library;"
echo "seconds = share x the median CPU of the whole run above"
awk -v cpu="${C[whole]}" '
    function bucket(comm, dso, sym) {
        if (comm == "proc.dll") {
            if (sym ~ /[Bb]mp/) return "engine: BMP row packing"
            if (dso ~ /kernel/) return "engine: kernel (BMP file writes, page faults)"
            if (dso ~ /freetype/) return "engine: glyph rasterising (FreeType)"
            return "engine: parse + render (MuPDF, zlib, libc)"
        }
        if (comm == "xpsconv") {
            if (dso ~ /libjpeg/) return "converter: JPEG encode (libjpeg)"
            if (dso ~ /libpng|libz/) return "converter: PNG / zlib encode"
            if (dso ~ /libtiff/) return "converter: TIFF encode (libtiff)"
            if (dso == "xpsconv" && sym ~ /[Bb]mp/) return "converter: BMP read (own code)"
            if (dso == "xpsconv") return "converter: pixel rows, colour, writer glue (own code)"
            if (dso ~ /kernel/) return "converter: kernel (BMP reads, output writes, page faults)"
            if (dso ~ /^libc/) return "converter: libc (memcpy, memset)"
            return "converter: other (loader, libstdc++, ...)"
        }
        return "other processes (" comm ")"
    }
    /^ *[0-9.]+%/ {
        samples = $2; comm = $3; dso = $4
        sym = ""; for (i = 6; i <= NF; i++) sym = sym (i > 6 ? " " : "") $i
        b = bucket(comm, dso, sym)
        if (!(b in n)) order[++count] = b
        n[b] += samples; total += samples
        if (comm == "xpsconv" && dso == "xpsconv") own[sym] += samples
    }
    END {
        if (total == 0) { print "  (no samples)"; exit }
        for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++)
            if (n[order[j]] > n[order[i]]) { t = order[i]; order[i] = order[j]; order[j] = t }
        for (i = 1; i <= count; i++)
            printf "  %-62s %6.1f%% %7.2f s\n", order[i], 100 * n[order[i]] / total, cpu * n[order[i]] / total
        printf "  %-62s %6d samples\n", "total", total
        k = 0
        for (s in own) top[++k] = s
        for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++)
            if (own[top[j]] > own[top[i]]) { t = top[i]; top[i] = top[j]; top[j] = t }
        if (k > 0) print "  hottest own functions of xpsconv (inlined code counts to its caller):"
        for (i = 1; i <= k && i <= 5 && 1000 * own[top[i]] >= total; i++) printf "    %6.1f%%  %s\n", 100 * own[top[i]] / total, top[i]
    }' "$WORK/perf.txt"
