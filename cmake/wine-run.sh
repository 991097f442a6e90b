#!/bin/sh
# Runs a 64-bit Windows program under Wine for CTest:
#   wine-run.sh PREFIX PROGRAM [ARGUMENT...]
# PREFIX is a Wine prefix of this build's own, created on first use. A warm
# wineserver keeps each start fast. Wine's background services must not hold
# CTest's output pipes, or CTest waits for them after every test: everything
# started here besides the program itself has its stdio on /dev/null.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine64=/usr/lib/wine/wine64

# One start-up at a time: the first one creates the prefix (several seconds).
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  # The lock descriptor is closed for the daemons, or they would hold the
  # lock as long as they live.
  # Fails harmlessly when this prefix's server is already running.
  wineserver -p30 </dev/null >/dev/null 2>&1 9>&- || true
  # Creates the prefix the first time; afterwards it only makes sure the
  # services run, detached from our stdio, before the program starts.
  "$wine64" wineboot </dev/null >/dev/null 2>&1 9>&-
) 9>"$prefix.lock"

exec "$wine64" "$@"
