# Shared helpers of the project's scripts. Source it; do not run it.

ZV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The monitor's shared-memory name is global to the machine, so every run
# that publishes or reads it (a test run, the demo, a fuzzer) holds this
# lock; another checkout's runs then wait instead of overlapping.
ZV_MONITOR_LOCK=/tmp/zv-monitor-memory.lock
# The monitor's object as Linux shows it, once the monitor publishes; the
# name is the block's (src/readings/monitor_block.h).
ZV_MONITOR_MEMORY_FILE=/dev/shm/ZVSharedMemory_KTX

# zv_locked CMD...: runs CMD holding the monitor's lock.
zv_locked() {
  flock "$ZV_MONITOR_LOCK" "$@"
}

# zv_xvfb SECONDS CMD...: runs CMD, for at most SECONDS, on a virtual X
# server of its own (Xvfb, 1024x768, 24 bits, on a free display number),
# for the dialog tests and the renderings. CMD is a program, not a shell
# function (to hold the lock too: zv_xvfb 600 flock "$ZV_MONITOR_LOCK" CMD).
zv_xvfb() {
  local seconds=$1
  shift
  timeout "$seconds" xvfb-run -a -s "-screen 0 1024x768x24" "$@"
}

# zv_require_packages FILE...: installs the Debian packages listed in the
# files (one per line, # comments) that are missing. A package of another
# architecture is written name:arch (wine32:i386); that architecture is added
# to dpkg first when it is missing, so that apt-get update fetches its lists.
# As root it runs dpkg and apt-get; otherwise it prints the lines to run and
# fails.
zv_require_packages() {
  local wanted=() missing=() arches=() p a
  for f in "$@"; do
    while read -r p; do
      p=${p%%#*}; p=${p//[[:space:]]/}
      [ -n "$p" ] && wanted+=("$p")
    done < "$f"
  done
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local native foreign
  native=$(dpkg --print-architecture)
  foreign=$(dpkg --print-foreign-architectures)
  for p in "${missing[@]}"; do
    [[ $p == *:* ]] || continue
    a=${p##*:}
    case " $native all any ${arches[*]} " in *" $a "*) continue ;; esac
    grep -qx "$a" <<<"$foreign" || arches+=("$a")
  done
  local cmd="apt-get install -y --no-install-recommends ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages. Run as root:" >&2
    for a in "${arches[@]}"; do
      echo "  dpkg --add-architecture $a" >&2
    done
    echo "  apt-get update && $cmd" >&2
    return 1
  fi
  for a in "${arches[@]}"; do
    echo "Adding the $a architecture to dpkg"
    dpkg --add-architecture "$a" || return 1
  done
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq || return 1
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || return 1
}
