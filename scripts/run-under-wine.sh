#!/usr/bin/env bash
# Runs one Windows test program under Wine, as ctest's emulator for the Windows build:
#   scripts/run-under-wine.sh BUILD PROGRAM [ARGUMENT...]
# The Wine prefix is BUILD/wine-prefix, private and headless. The wine server and its helper
# processes are started before the program with their output on /dev/null: started by the
# program, they would inherit its output pipe and hold ctest waiting for seconds.
# The program's reader checks run on the Linux side: a bridge serves the spool folder named in
# XPSCONV_READER_SPOOL: once a request's empty mark NAME.ready appears, it runs NAME.sh with sh
# and answers with NAME.out, NAME.err and, last, NAME.code.
set -uo pipefail
build=$1
shift
# Wine starts its debugger for a program that faults, whatever the program's error mode; without
# it the program ends with the exception's code, as Windows ends it with crash dialogs off.
export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
unset DISPLAY
mkdir -p "$WINEPREFIX"
# One set-up at a time; what it starts stays running and must not keep the lock (fd 9) open.
{
  flock 9
  if [ ! -f "$WINEPREFIX/.initialised" ]; then
    wineboot -i </dev/null >/dev/null 2>&1 9>&-
    touch "$WINEPREFIX/.initialised"
  fi
  # A server that outlives each program by a minute, so the next one finds it running.
  wineserver -p60 </dev/null >/dev/null 2>&1 9>&- || true
  wine cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
} 9>"$build/wine-prefix.lock"

spool="$(mktemp -d "$build/wine-bridge.XXXXXX")"
serve() {
  local mark base
  exec 3<> <(:)  # a pipe nobody writes to: read -t on it waits without starting a process
  while [ -d "$spool" ]; do
    for mark in "$spool"/*.ready; do
      [ -e "$mark" ] || continue
      base="${mark%.ready}"
      rm "$mark" || continue
      (
        cd "$build" && sh "$base.sh" </dev/null >"$base.out" 2>"$base.err"
        echo $? >"$base.code.tmp" && mv "$base.code.tmp" "$base.code"
      ) &
    done
    read -r -t 0.005 -u 3 || true
  done
}
serve </dev/null >/dev/null 2>&1 &
bridge=$!
export XPSCONV_READER_SPOOL="Z:${spool//\//\\}"

wine "$@"
status=$?
rm -rf "$spool"
kill "$bridge" 2>/dev/null
wait "$bridge" 2>/dev/null
exit $status
