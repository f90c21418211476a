#!/bin/sh
# The Wine prefix of the Windows test programs.
#   wine-prefix.sh PREFIX        makes a fresh prefix and waits until Wine has finished setting
#                                it up (wineboot returns before its background work is done);
#   wine-prefix.sh PREFIX stop   stops the prefix's Wine server and whatever still runs in it.
set -eu
prefix=$1
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${2:-}" = stop ]; then
  wineserver -k 2>/dev/null || true
  exit 0
fi
wineserver -k 2>/dev/null || true
rm -rf "$prefix"
mkdir -p "$prefix"
wineboot --init >/dev/null 2>&1
wineserver -w
# A crashing test program ends at once with a failure: no debugger is started for it and no
# crash dialog waits for a click that never comes on a test display.
wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
  >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
echo "Wine prefix ready: $prefix"
