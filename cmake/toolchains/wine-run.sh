#!/bin/sh
# The Windows build's emulator (CMAKE_CROSSCOMPILING_EMULATOR): runs a Windows
# program under Wine, in the given prefix.
#   wine-run.sh WINEPREFIX PROGRAM.exe [ARGUMENT...]
# Wine's server, and the services that Wine starts with the first program,
# would inherit that program's output pipes and hold them open until they
# exit, long after the program: whoever reads the pipes to the end (ctest, a
# test's subprocess) would wait as long. So the server is started first, on
# its own, with no standard streams (if the prefix's server is already
# running, the new one just exits), and when it is new a first program with
# no standard streams starts the services. The server stays a minute after
# the last program ends, for the next one.
WINEPREFIX=$1
shift
export WINEPREFIX WINEDEBUG=-all
if /usr/lib/wine/wineserver64 -p60 </dev/null >/dev/null 2>&1; then
  /usr/lib/wine/wine64 cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
fi
exec /usr/lib/wine/wine64 "$@"
