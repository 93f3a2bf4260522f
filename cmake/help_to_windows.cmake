# Writes the Windows help file from the help file of the source tree, so that both say the same
# about every option:
#   cmake -DHELP=<help file> -DOUT=<Windows help file> -P help_to_windows.cmake
#
# Only the passages that differ by system are replaced: the inputs' wildcards and /?, the
# examples (drive letters, backslashes, cmd), the exit status of an interruption (Windows has no
# signals) and the temporary folder's variable. Every passage must be found exactly once, so an
# edit of one of them in the help file stops the build here until its Windows form follows.
# Lines end in CRLF, as Notepad and type expect them.

file(READ "${HELP}" help)

function(replace_once from to)
  string(FIND "${help}" "${from}" first)
  string(FIND "${help}" "${from}" last REVERSE)
  if(first EQUAL -1 OR NOT first EQUAL last)
    message(FATAL_ERROR "help_to_windows: this passage of ${HELP} must appear exactly once; "
                        "if it was edited, edit its Windows form in cmake/help_to_windows.cmake too:\n${from}")
  endif()
  string(REPLACE "${from}" "${to}" help "${help}")
  set(help "${help}" PARENT_SCOPE)
endfunction()

replace_once([=[
    name order (those of its sub-folders too with --recursive). Inputs can
    also come from a list file (--list). Each option letter stands alone and
    its value follows after a blank; put values that hold blanks in quotes.
]=] [=[
    name order (those of its sub-folders too with --recursive). * and ? in
    the last part of an INPUT select the documents whose names match, in name
    order: -i D:\scans\*.xps. Inputs can also come from a list file (--list).
    Each option letter stands alone and its value follows after a blank; put
    values that hold blanks in quotes.
]=])

replace_once([=[
    With no arguments, or with -?, -h or --help, this text is shown.
]=] [=[
    With no arguments, or with -?, /?, -h or --help, this text is shown.
]=])

replace_once([=[
EXAMPLES
    xpsconv -i /home/ann/report.xps -t pdf -o /home/ann/pdf
    xpsconv -i /srv/scans -t tif -mm -mb 1 -mx 200 -my 200 -o /srv/out
    xpsconv -i "/home/ann/my docs/report.xps" -t png -mx 150 -my 150
    xpsconv -i report.xps -t pdf -pu secret -pl 128 -pe 16 -wt CONFIDENTIAL -wp 3
    find /srv/in -name '*.xps' | xpsconv --list - -t png --dpi 150 -o /srv/png
    xpsconv -i /srv/in --recursive -t pdf -o /srv/pdf --report run.jsonl
    xpsconv -i /srv/in -t pdf -o /srv/pdf --shard 2/4 --skip-existing
]=] [=[
EXAMPLES
    xpsconv -i C:\Users\ann\report.xps -t pdf -o C:\Users\ann\pdf
    xpsconv -i D:\scans -t tif -mm -mb 1 -mx 200 -my 200 -o D:\out
    xpsconv -i "C:\Users\ann\My Documents\report.xps" -t png -mx 150 -my 150
    xpsconv -i report.xps -t pdf -pu secret -pl 128 -pe 16 -wt CONFIDENTIAL -wp 3
    xpsconv -i D:\in\*.xps -i D:\old\2023-*.oxps -t pdf -o D:\pdf
    dir /b /s D:\in\*.xps | xpsconv --list - -t png --dpi 150 -o D:\png
    xpsconv -i D:\in --recursive -t pdf -o D:\pdf --report run.jsonl
    xpsconv -i D:\in -t pdf -o D:\pdf --shard 2/4 --skip-existing
]=])

replace_once([=[
    128+N  The run was interrupted by signal N (2 for Ctrl-C, 15 for a
        termination request). Nothing half-written is left behind.
]=] [=[
    130 The run was interrupted with Ctrl+C or Ctrl+Break.
    143 The console window was closed, or the user logged off or Windows
        shut down, during the run. Either way nothing half-written is left
        behind.
]=])

replace_once([=[
    TMPDIR                 Where page images are rendered before conversion
                           (default /tmp), in a private folder removed after
                           each document.
]=] [=[
    TMP, TEMP              Where page images are rendered before conversion
                           (the first of the two that is set; normally the
                           user's temporary folder, %TEMP%), in a private
                           folder removed after each document.

    Set a variable for the runs that follow in one command prompt with set,
    for example: set XPSCONV_PAGE_TIMEOUT=300
]=])

string(REPLACE "\r\n" "\n" help "${help}")
string(REPLACE "\n" "\r\n" help "${help}")
file(WRITE "${OUT}" "${help}")
