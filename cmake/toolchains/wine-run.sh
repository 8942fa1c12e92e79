#!/bin/sh
# The Windows build's emulator (CMAKE_CROSSCOMPILING_EMULATOR): runs a Windows
# program under Wine, in the given prefix.
#   wine-run.sh WINEPREFIX PROGRAM.exe [ARGUMENT...]
# Wine's server is started first, on its own and with no standard streams. A
# server that wine starts itself inherits the program's output pipes and holds
# them open until it exits, seconds after the program: whoever reads them to
# the end (ctest, a test's subprocess) would wait that long at every run. If
# the prefix's server is already running, the new one just exits.
WINEPREFIX=$1
shift
export WINEPREFIX WINEDEBUG=-all
/usr/lib/wine/wineserver64 -p10 </dev/null >/dev/null 2>&1 || true
exec /usr/lib/wine/wine64 "$@"
