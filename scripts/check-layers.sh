#!/usr/bin/env bash
# Keeps the layers one-way: every #include "..." of the product folders and the tests may name
# only the including file's own folder and what that folder may see. Lists each include that
# reaches up or sideways as file:line and exits 1.
set -euo pipefail
cd "$(dirname "$0")/.."

# The product layers, bottom to top: each sees itself and the layers before it.
layers=(platform protocol image codecs conversion settings driver app)
declare -A sees
below=""
for layer in "${layers[@]}"; do
  below="$below $layer"
  sees[$layer]="$below "
done
# The engine and the post-processor are programs of their own over the shared contracts.
sees[engine]=" platform protocol engine "
sees[postproc]=" platform protocol postproc "
# tests/X sees what X sees and the shared test support; the support serves every test, and the
# helpers stand in for the engine and the post-processor.
for folder in "${!sees[@]}"; do sees[tests/$folder]="${sees[$folder]}support "; done
sees[tests/support]=" platform protocol support "
sees[tests/helpers]=" platform protocol engine postproc support helpers "

# The first folder of an include names its layer (tests/X/... is reached as X/... too).
known=" ${layers[*]} engine postproc support helpers "

folders=()
for folder in "${layers[@]}" engine postproc tests; do
  [[ -d $folder ]] && folders+=("$folder")
done

failures=0
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest%%:*}
  include=${rest#*:}
  include=${include#*\"}
  include=${include%%\"*}
  owner=${file%%/*}
  if [[ $owner == tests ]]; then
    owner=${file#tests/}
    owner=tests/${owner%%/*}
  fi
  allowed=${sees[$owner]:-}
  if [[ -z $allowed ]]; then
    echo "$file:$line: the folder $owner has no place among the layers"
    failures=$((failures + 1))
    continue
  fi
  if [[ $include == *..* ]]; then
    echo "$file:$line: includes \"$include\": includes are written from the repository root"
    failures=$((failures + 1))
    continue
  fi
  # A bare name is a header beside the file; a first folder of no layer is no header of ours.
  [[ $include == */* ]] || continue
  target=${include%%/*}
  [[ $known == *" $target "* ]] || continue
  if [[ $allowed != *" $target "* ]]; then
    echo "$file:$line: includes \"$include\": $owner may not see $target"
    failures=$((failures + 1))
  fi
done < <(grep -rnH --include='*.cpp' --include='*.h' -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' \
           "${folders[@]}")

if ((failures > 0)); then
  echo "check-layers: $failures include(s) cross the layers" >&2
  exit 1
fi
echo "check-layers: every include keeps to its layer"
