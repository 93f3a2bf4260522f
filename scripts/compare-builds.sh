#!/usr/bin/env bash
# Converts the same documents with two builds' xpsconv, with the same options, and compares what
# they wrote byte for byte: a change meant to keep behaviour keeps every output.
#   scripts/compare-builds.sh OLD_BIN_DIR NEW_BIN_DIR [WORK_DIR]
# Documents: samples/*.xps, one made by the test build's make_xps_program (tests/helpers beside
# either bin folder, when built), and bench/ and minbar/ of the corpus beside the repository
# (../shared/corpus). Each build converts them all in one run per set of options, from a
# folder of its own with the same relative paths, so its standard error is compared too.
# Prints "N files compared, M differ" and the differences; exits 1 on any difference, on files
# one build wrote and the other did not, or on a run whose exit status differs.
set -uo pipefail

usage() { echo "usage: $0 OLD_BIN_DIR NEW_BIN_DIR [WORK_DIR]" >&2; exit 2; }
[[ $# -ge 2 && $# -le 3 ]] || usage
root="$(cd "$(dirname "$0")/.." && pwd)"
old="$(cd "$1" && pwd)" || usage
new="$(cd "$2" && pwd)" || usage
for bin in "$old" "$new"; do
    [[ -x "$bin/xpsconv" ]] || { echo "no xpsconv in $bin" >&2; exit 2; }
done
work="${3:-$(mktemp -d "${TMPDIR:-/tmp}/compare-builds.XXXXXX")}"
mkdir -p "$work" && work="$(cd "$work" && pwd)"
rm -rf "$work/docs" "$work/old" "$work/new"
mkdir -p "$work/docs"

# The documents, as links in one folder (-i FOLDER takes every .xps in it).
for doc in "$root"/samples/*.xps; do ln -s "$doc" "$work/docs/"; done
maker=""
for candidate in "$new/../tests/helpers/make_xps_program" "$old/../tests/helpers/make_xps_program"; do
    [[ -x "$candidate" ]] && { maker="$candidate"; break; }
done
if [[ -n "$maker" ]]; then
    "$maker" "$work/docs/generated.xps" || { echo "make_xps_program failed" >&2; exit 2; }
else
    echo "note: no make_xps_program beside either build (configure with -DXPSCONV_TESTS=ON): no generated document"
fi
corpus="$root/../shared/corpus"
for set in bench minbar; do
    if compgen -G "$corpus/$set/*.xps" >/dev/null; then
        for doc in "$corpus/$set"/*.xps; do ln -s "$doc" "$work/docs/"; done
    else
        echo "note: no corpus documents in $corpus/$set: skipped"
    fi
done
echo "documents: $(find "$work/docs" -name '*.xps' | wc -l) in $work/docs"

# Name and options of each run.
cases=(
    "pdf|-t pdf"
    "pdf-encrypted|-t pdf -pu user -pn owner -pl 128"
    "pdf-info|-t pdf -pt Title -pa Author"
    "pdf-overlay|-t pdf -wt Overlay"
)
for type in jpg png bmp gif tif pcx tga jp2 jpc ras emf wmf; do
    cases+=("$type|-t $type")
    for bits in 1 4 8; do cases+=("$type-mb$bits|-t $type -mb $bits"); done
done
cases+=("tif-multipage|-t tif -mm" "png-rotated|-t png -mg 90" "png-scaled|-t png -ms 320x240")

# One build's run of one case: outputs in out/, the exit status and standard error beside.
run() {
    local bin="$1" folder="$2" options="$3"
    mkdir -p "$folder/out"
    # shellcheck disable=SC2086  # the options are words
    (cd "$folder" && "$bin/xpsconv" -i ../../docs $options -o out >stdout.txt 2>stderr.txt
     echo $? >status.txt)
}

differ=()
for entry in "${cases[@]}"; do
    name="${entry%%|*}" options="${entry#*|}"
    run "$old" "$work/old/$name" "$options" &
    run "$new" "$work/new/$name" "$options"
    wait
    [[ "$(cat "$work/old/$name/status.txt")" == "$(cat "$work/new/$name/status.txt")" ]] ||
        differ+=("$name: exit status $(cat "$work/old/$name/status.txt") -> $(cat "$work/new/$name/status.txt")")
    echo "$name: exit $(cat "$work/new/$name/status.txt"), $(find "$work/new/$name/out" -type f | wc -l) files"
done

# Every file of either side, compared with its counterpart.
compared=0
while IFS= read -r file; do
    if [[ ! -e "$work/old/$file" ]]; then
        differ+=("$file: only the new build wrote it")
    elif [[ ! -e "$work/new/$file" ]]; then
        differ+=("$file: only the old build wrote it")
    else
        compared=$((compared + 1))
        cmp -s "$work/old/$file" "$work/new/$file" || differ+=("$file: differs")
    fi
done < <( (cd "$work/old" && find . -type f ! -name status.txt; cd "$work/new" && find . -type f ! -name status.txt) |
    sed 's|^\./||' | sort -u)

echo "$compared files compared, ${#differ[@]} differ"
for line in "${differ[@]}"; do echo "  $line"; done
echo "outputs kept in $work"
[[ ${#differ[@]} -eq 0 ]]
