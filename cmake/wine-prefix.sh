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
echo "Wine prefix ready: $prefix"
