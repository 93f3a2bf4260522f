#!/usr/bin/env bash
# Checks what a user installs from a build folder (default: build): `cmake --install` into a
# temporary prefix converts the sample from another folder through PREFIX/bin/xpsconv, the
# manual page renders, the bash completion completes, and the Debian package holds the install
# layout with the runtime dependencies that dpkg-shlibdeps found and passes lintian.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
version="$("$build/bin/xpsconv" --version)"
[ "$("$prefix/bin/xpsconv" --version)" = "$version" ] || fail "installed --version differs from the build's"
[ "$(readlink "$prefix/bin/xpsconv")" = "../lib/xpsconv/xpsconv" ] || fail "bin/xpsconv is not the relative link"
for file in xpsconv proc.dll mstar.dll "Command line.txt"; do
  [ -e "$prefix/lib/xpsconv/$file" ] || fail "lib/xpsconv/$file is missing"
done
for file in README.md LICENSE THIRD-PARTY.md; do
  [ -s "$prefix/share/doc/xpsconv/$file" ] || fail "share/doc/xpsconv/$file is missing"
done

mkdir -p "$scratch/work"
(cd "$scratch/work" && "$prefix/bin/xpsconv" -i "$root/samples/sample.xps" -t pdf -o out -pt "Installed")
info="$(pdfinfo "$scratch/work/out/sample.pdf")" || fail "the installed program wrote no PDF"
grep -q "^Title: *Installed$" <<<"$info" || fail "the installed PDF has not the title given"
(cd "$scratch/work" && "$prefix/bin/xpsconv" -i "$root/samples/sample.xps" -t png -o out)
ls "$scratch/work/out"/sample_001.png >/dev/null || fail "the installed program wrote no page image"

manual="$(MANWIDTH=80 man -l "$prefix/share/man/man1/xpsconv.1.gz" 2>"$scratch/man.err")"
[ ! -s "$scratch/man.err" ] || fail "man reports: $(cat "$scratch/man.err")"
for heading in NAME SYNOPSIS "EXIT STATUS" ENVIRONMENT EXAMPLES "SEE ALSO"; do
  grep -q "^$heading" <<<"$manual" || fail "the manual page lacks $heading"
done
grep -q "${version#xpsconv }" <<<"$manual" || fail "the manual page does not name version ${version#xpsconv }"
for option in -o -t -mx -my -mb -mq -mg -ms -mc -mm -pt -ps -pa -pk -pc -pp -pu -pn -pl -pe \
              -wt -wc -ws -wp -wr -wx -wy -wg XPSCONV_PAGE_TIMEOUT XPSCONV_ENGINE_MEMORY; do
  grep -q -- "^ *$option\b" <<<"$manual" || fail "the manual page lacks $option"
done

# Every option the manual page names completes after its first letters.
completion="$prefix/share/bash-completion/completions/xpsconv"
bash -c "source '$completion' && complete -p xpsconv" >/dev/null || fail "the bash completion does not register"
for option in $(grep -oE -- '^ *--?[a-z?][a-z-]*' <<<"$manual" | sort -u); do
  words="$(bash -c "source '$completion'; COMP_WORDS=(xpsconv '$option'); COMP_CWORD=1; _xpsconv; printf '%s\n' \"\${COMPREPLY[@]}\"")"
  grep -qxF -- "$option" <<<"$words" || fail "the bash completion does not offer $option"
done
types="$(bash -c "source '$completion'; COMP_WORDS=(xpsconv -t ''); COMP_CWORD=2; _xpsconv; echo \"\${COMPREPLY[*]}\"")"
[ "$types" = "pdf jpg jpeg png bmp gif tif tiff pcx tga jp2 jpc ras emf wmf" ] || fail "-t completes to: $types"

(cd "$build" && cpack -G DEB >/dev/null)
deb="$build/xpsconv_${version#xpsconv }-1_amd64.deb"
[ -f "$deb" ] || fail "no package $deb"
depends="$(dpkg-deb -f "$deb" Depends)"
for library in libc6 libstdc++6 libtiff6 libpng16-16 libjpeg62-turbo libopenjp2-7 libqpdf29 libuemf0 \
               libfreetype6 libharfbuzz0b; do
  grep -q "\b$library\b" <<<"$depends" || fail "Depends lacks $library: $depends"
done
contents="$(dpkg-deb -c "$deb")"
for path in ./usr/lib/xpsconv/xpsconv ./usr/lib/xpsconv/proc.dll ./usr/lib/xpsconv/mstar.dll \
            "./usr/lib/xpsconv/Command line.txt" "./usr/bin/xpsconv -> ../lib/xpsconv/xpsconv" \
            ./usr/share/man/man1/xpsconv.1.gz ./usr/share/doc/xpsconv/LICENSE ./usr/share/doc/xpsconv/THIRD-PARTY.md \
            ./usr/share/doc/xpsconv/copyright ./usr/share/doc/xpsconv/changelog.Debian.gz \
            ./usr/share/bash-completion/completions/xpsconv; do
  grep -qF -- "$path" <<<"$contents" || fail "the package lacks $path"
done
# Debian's own checks: no error, and no warning but those the package overrides with a reason.
lintian --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1 ||
  fail "lintian: $(cat "$scratch/lintian.log")"
echo "check-install: install layout, sample conversion, manual page, completion and package are right ($version)"
