#!/bin/sh
# Runs a 32-bit or 64-bit Windows program under Wine for CTest:
#   wine-run.sh PREFIX PROGRAM [ARGUMENT...]
# PREFIX is a Wine prefix of this build's own, created on first use: a 64-bit
# prefix, in which 32-bit programs run too (WoW64). A program file is started
# by the loader of its own word size (read from its PE header); anything else
# (a program of Wine's own, such as explorer) by the 64-bit one. A warm
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
wine32=/usr/lib/wine/wine

# The machine field of a PE file's header (14c: i386, 8664: x86-64), or
# nothing for what is not one.
pe_machine() {
  [ -f "$1" ] || return 0
  [ "$(od -An -c -N2 "$1" | tr -d ' ')" = MZ ] || return 0
  local header
  header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' '
}
loader=$wine64
if [ "$(pe_machine "${1:-}")" = 14c ]; then
  loader=$wine32
fi
# Our users' Windows runs with the ANSI code page 1251: Wine takes it from a
# Russian locale, generated here into the prefix's folder (no system-wide
# locale needed).
locales="$prefix.locales"
export LOCPATH="$locales"
export LANG=ru_RU.UTF-8
unset LC_ALL LC_CTYPE LC_MESSAGES LANGUAGE

# One start-up at a time: the first one creates the prefix (several seconds).
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -d "$locales/ru_RU.UTF-8" ]; then
    mkdir -p "$locales"
    # localedef warns about harmless details of the source files.
    localedef -i ru_RU -f UTF-8 "$locales/ru_RU.UTF-8" >/dev/null 2>&1 || true
  fi
  # The prefix's desktop lives in its server's processes, connected to the
  # X display they started with: a run on another display (or none) needs
  # a fresh server. xvfb-run reuses display numbers but gives every run an
  # authority file of its own, so both name the display.
  display="${DISPLAY:-none} ${XAUTHORITY:-}"
  if [ "$(cat "$prefix.display" 2>/dev/null)" != "$display" ]; then
    wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
    wineserver -w </dev/null >/dev/null 2>&1 9>&- || true
    echo "$display" >"$prefix.display"
  fi
  # The lock descriptor is closed for the daemons, or they would hold the
  # lock as long as they live.
  # Fails harmlessly when this prefix's server is already running.
  wineserver -p30 </dev/null >/dev/null 2>&1 9>&- || true
  # Creates the prefix the first time; afterwards it only makes sure the
  # services run, detached from our stdio, before the program starts.
  # A wineserver that was still ending (just above, for another display)
  # can make the first try fail; the second waits for it first. A failure
  # is said, never only an exit status with no output.
  if ! "$wine64" wineboot </dev/null >"$prefix.wineboot.log" 2>&1 9>&-; then
    wineserver -w </dev/null >/dev/null 2>&1 9>&- || true
    wineserver -p30 </dev/null >/dev/null 2>&1 9>&- || true
    if ! "$wine64" wineboot </dev/null >"$prefix.wineboot.log" 2>&1 9>&-; then
      echo "wine-run.sh: wineboot failed twice in $prefix (DISPLAY=${DISPLAY:-}):" >&2
      cat "$prefix.wineboot.log" >&2
      exit 1
    fi
  fi
  # Debian's Wine does not read its own fonts folder; without these, "MS
  # Sans Serif" has no Cyrillic letters and the caption buttons no symbols.
  fonts="$prefix/drive_c/windows/Fonts"
  if [ -d /usr/share/wine/fonts ] && [ ! -e "$fonts/.zv-copied" ]; then
    mkdir -p "$fonts"
    cp -n /usr/share/wine/fonts/* "$fonts/" && touch "$fonts/.zv-copied"
  fi
) 9>"$prefix.lock"

exec "$loader" "$@"
