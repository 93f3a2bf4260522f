#!/usr/bin/env bash
# Keeps the install script true: every outside program the tests run, and the font they need,
# must come from a package that scripts/install-deps.sh names (or that one of those pulls in,
# or that every Debian system has). Run it where the tests have just passed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
fail=0

# The package lists of the install script.
listed="$(sed -n '/^packages=(/,/^)/p;/^test_packages=(/,/^)/p;/^windows_packages=(/,/^)/p' "$root/scripts/install-deps.sh" |
          grep -v '^ *#' | tr -s ' ()=' '\n' | grep -E '^[a-z0-9][a-z0-9.+-]+$' | grep -vE '^(packages|test_packages|windows_packages)$' |
          sort -u)"
# What those pull in, three levels down (imagemagick names the real package; build-essential
# pulls in binutils, which pulls in the linker's tools).
depends_of() {
  for package in "$@"; do
    dpkg-query -W -f='${Depends},${Pre-Depends}\n' "$package" 2>/dev/null || true
  done | tr ',|' '\n\n' | sed 's/([^)]*)//g; s/:any//g; s/ //g' | grep -v '^$' | sort -u
}
pulled="$listed"
level="$listed"
for _ in 1 2 3; do
  # shellcheck disable=SC2086
  level="$(depends_of $level)"
  pulled="$(printf '%s\n%s\n' "$pulled" "$level" | sort -u)"
done

# The package a file belongs to; files may be registered under /bin or /usr/bin.
owner() {
  local file="$1" found=""
  for candidate in "$file" "${file/#\/usr\//\/}" "/usr$file"; do
    found="$(dpkg -S "$candidate" 2>/dev/null | head -1 | cut -d: -f1)" && [ -n "$found" ] && break
  done
  echo "$found"
}

check() {  # what, file
  local package
  package="$(owner "$2")"
  if [ -z "$package" ]; then
    echo "check-test-packages: $1 ($2) belongs to no package" >&2; fail=1; return
  fi
  if grep -qxF "$package" <<<"$listed" || grep -qxF "$package" <<<"$pulled"; then return; fi
  local kind
  kind="$(dpkg-query -W -f='${Essential} ${Priority}' "$package" 2>/dev/null || true)"
  case "$kind" in yes*|*required) return ;; esac
  echo "check-test-packages: $1 comes from $package, which scripts/install-deps.sh does not name" >&2
  fail=1
}

# Programs: the first word of every command the tests start (a string handed to a shell
# runner or begun as a command text, and each part after && or |), and every tool the tests
# require by name.
words="$( (grep -rhoE '(RunShell|RunCommand|DecodeWith|system)\("[a-z][a-z0-9_+.-]* ' "$root/tests" |
             sed 's/^[A-Za-z]*("//; s/ $//'
           grep -rhoE '(command|line) \+?= "[a-z][a-z0-9_+.-]* ' "$root/tests" | sed 's/^.*= "//; s/ $//'
           grep -rhoE '"[^"]*(&&|\|) [a-z][a-z0-9_+.-]* ' "$root/tests" | sed -E 's/.*(&&|\|) //; s/ $//'
           grep -rhoE '(HaveTool|ImageMagick|REQUIRE_TOOLS)\([^;]*' "$root/tests" | grep -oE '"[a-z][a-z0-9_+.-]*"' |
             tr -d '"') | sort -u)"
# Looked up where the system keeps its programs, past any local wrapper of this machine's.
system_path=/usr/bin:/bin:/usr/sbin:/sbin
checked=0
for word in $words; do
  program="$(PATH=$system_path type -P "$word" 2>/dev/null || true)"
  [ -n "$program" ] || continue
  check "program $word" "$(readlink -f "$program")"
  checked=$((checked + 1))
done

# Every tool of the tests' own table (tests/support/test_support.cpp) is installed, and its
# package is the one the table names.
while read -r tool package; do
  program="$(PATH=$system_path type -P "$tool" 2>/dev/null || true)"
  if [ -z "$program" ]; then
    echo "check-test-packages: $tool (package $package) is not installed" >&2; fail=1; continue
  fi
  grep -qxF "$package" <<<"$pulled" ||
    { echo "check-test-packages: $package (for $tool) is not named by scripts/install-deps.sh" >&2; fail=1; }
done < <(grep -oE '\{"[a-z][a-z0-9_+.-]*", "[a-z0-9.+-]+", nullptr\}' "$root/tests/support/test_support.cpp" |
         sed -E 's/\{"([^"]*)", "([^"]*)".*/\1 \2/')

# Fonts: the standard font that poppler and the metafile readers draw with.
font="$(fc-match -f '%{file}' Helvetica)"
check "the font for Helvetica" "$(readlink -f "$font")"
[[ "$(fc-match -f '%{family}' Helvetica)" == *"Nimbus Sans"* ]] ||
  { echo "check-test-packages: Helvetica is served by $(fc-match Helvetica), not the URW fonts" >&2; fail=1; }

[ "$fail" -eq 0 ] || exit 1
echo "check-test-packages: the $checked programs the tests run and their fonts come from listed packages"
