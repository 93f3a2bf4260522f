# shellcheck shell=bash disable=SC2034  # the paths are used by the scripts that source this
# Shared by bench/run.sh and bench/profile.sh: build, corpus, GNU time, one timed run.
# Sourced, not run. Expects REPO to be set; sets BUILD_DIR, BIN_DIR, XPSCONV, ENGINE.

export LC_ALL=C

BUILD_DIR="$REPO/build-release"
BIN_DIR="$BUILD_DIR/bin"
XPSCONV="$BIN_DIR/xpsconv"
ENGINE="$BIN_DIR/proc.dll"
FIXTURE_BUILD_DIR="$REPO/build-bench-fixtures"

say() { printf '%s\n' "$*" >&2; }
die() { say "error: $*"; exit 1; }

# Runs a command as root, through sudo when we are not root; fails when neither is possible.
as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        sudo -n "$@"
    else
        return 1
    fi
}

# GNU time gives CPU (user+sys of the command and the children it waited for) and peak RSS.
ensure_gnu_time() {
    if [[ -x /usr/bin/time ]] && /usr/bin/time --version 2>&1 | grep -q GNU; then return 0; fi
    say "GNU time (/usr/bin/time) is missing; installing the Debian package 'time'"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y time >&2 ||
        die "cannot install 'time' (needs root or password-less sudo): run 'apt-get install time'"
    [[ -x /usr/bin/time ]] || die "/usr/bin/time still missing after installing 'time'"
}

# Release build without the test suite; the log is shown only when the build fails.
build_release() {
    local log="$1/build.log"
    say "building Release into $BUILD_DIR (log: $log)"
    if ! { cmake -S "$REPO" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DXPSCONV_TESTS=OFF &&
           cmake --build "$BUILD_DIR" -j2; } >"$log" 2>&1; then
        tail -n 30 "$log" >&2
        die "Release build failed"
    fi
    local f
    for f in xpsconv proc.dll mstar.dll; do
        [[ -e "$BIN_DIR/$f" ]] || die "$BIN_DIR/$f missing after the build"
    done
}

# Fills the array DOCS with the benchmark documents. Without the shared corpus, one document
# is written by the project's fixture generator, built in its own tests-enabled folder.
find_documents() {
    local corpus="$1" work="$2"
    DOCS=()
    if [[ -d "$corpus" ]]; then
        local f
        for f in "$corpus"/*.xps; do [[ -f "$f" ]] && DOCS+=("$f"); done
        [[ ${#DOCS[@]} -gt 0 ]] || die "no .xps files in $corpus"
        return 0
    fi
    say "corpus folder $corpus is absent: generating a document with make_xps_program"
    say "  (building target make_xps_program in $FIXTURE_BUILD_DIR; log: $work/fixtures.log)"
    if ! { cmake -S "$REPO" -B "$FIXTURE_BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DXPSCONV_TESTS=ON &&
           cmake --build "$FIXTURE_BUILD_DIR" -j2 --target make_xps_program; } >"$work/fixtures.log" 2>&1; then
        tail -n 30 "$work/fixtures.log" >&2
        die "cannot build make_xps_program; no documents to measure (point --corpus at a folder of .xps files)"
    fi
    mkdir -p "$work/corpus"
    "$FIXTURE_BUILD_DIR/tests/helpers/make_xps_program" "$work/corpus/generated.xps" ||
        die "make_xps_program failed"
    say "  measuring generated.xps (2 small pages: start-up dominates, ratios say little about throughput)"
    DOCS=("$work/corpus/generated.xps")
}

# One timed run of the array CMD. Prints "wall cpu rss_kib status": wall from the shell's
# microsecond clock around GNU time (adds about 1 ms), cpu = %U+%S (10 ms resolution; includes
# every child the command waited for), rss = %M, the largest peak RSS of any single process in
# that tree (the kernel keeps the maximum over reaped children, not a sum). The command's
# standard error is appended to the file $2; status is the exit code, or "sigN".
measure_once() {
    local timefile="$1" errfile="$2"
    local t0 t1
    t0=$EPOCHREALTIME
    /usr/bin/time -o "$timefile" -f '%U %S %M %x' -- "${CMD[@]}" >/dev/null 2>>"$errfile" || true
    t1=$EPOCHREALTIME
    local signal=""
    if grep -q 'terminated by signal' "$timefile"; then
        signal=$(sed -n 's/.*terminated by signal \([0-9]*\).*/\1/p' "$timefile" | head -n 1)
    fi
    tail -n 1 "$timefile" | awk -v a="$t0" -v b="$t1" -v sig="$signal" '
        { status = (sig != "") ? "sig" sig : $4
          printf "%.4f %.2f %d %s\n", b - a, $1 + $2, $3, status }'
}

load_average() { cut -d ' ' -f 1 /proc/loadavg; }
