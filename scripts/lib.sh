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
# files (one per line, # comments) that are missing; each file is named
# after the stage that needs its packages (scripts/packages/<stage>.txt).
# A package of another architecture is written name:arch (wine32:i386); that
# architecture is added to dpkg first when it is missing, so that apt-get
# update fetches its lists. A machine that has every package asks no
# registry. As root it runs dpkg and apt-get; otherwise it prints the lines
# to run and fails.
#
# A mirror caught mid-sync must not stop a run: a list that fails to
# download is reported and the lists that are there are used. When apt-get
# cannot resolve the packages (typically the security suite's newer amd64
# libraries, whose i386 twins are missing from a broken list), it tries once
# more preferring the release's own suite (-t CODENAME), where every twin is
# listed. Neither try removes or downgrades an installed package.
zv_require_packages() {
  local wanted=() missing=() arches=() p a f
  declare -A stages_of=()
  for f in "$@"; do
    while read -r p; do
      p=${p%%#*}; p=${p//[[:space:]]/}
      [ -n "$p" ] || continue
      [ -n "${stages_of[$p]:-}" ] || wanted+=("$p")
      stages_of[$p]+="${stages_of[$p]:+, }$(basename "$f" .txt)"
    done < "$f"
  done
  mapfile -t missing < <(zv_missing_packages "${wanted[@]}")
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
  local log
  log=$(mktemp)
  if ! apt-get update -qq >"$log" 2>&1; then
    echo "warning: apt-get update could not fetch every package list; going on with the lists there are." >&2
    grep -E '^(E|W): Failed to fetch' "$log" | sed -E 's/^(E|W): Failed to fetch ([^ ]+) +(.*)$/  failed: \2 (\3)/' >&2 || true
  fi
  local install=(apt-get install -y -qq --no-install-recommends --no-remove)
  if ! "${install[@]}" "${missing[@]}" >"$log" 2>&1; then
    local codename
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    grep -E '^E:' "$log" | head -n 3 | sed 's/^/  /' >&2
    if [ -n "$codename" ]; then
      echo "apt-get could not install the packages; trying once more preferring the release's own suite (-t $codename)." >&2
      "${install[@]}" -t "$codename" "${missing[@]}" >"$log" 2>&1 || true
    fi
  fi
  local left=()
  mapfile -t left < <(zv_missing_packages "${missing[@]}")
  if [ ${#left[@]} -ne 0 ]; then
    sed -n '/^E:/p' "$log" | head -n 5 | sed 's/^/  /' >&2
    echo "error: these Debian packages could not be installed (the stages that need them):" >&2
    for p in "${left[@]}"; do
      echo "  $p (${stages_of[$p]})" >&2
    done
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
  echo "Installed ${#missing[@]} packages."
}

# zv_missing_packages PACKAGE...: prints those not installed, one per line.
zv_missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# zv_build PRESET [TARGET...]: configures and builds a preset (only the
# targets given, else everything) while holding that build folder's lock,
# so that a stage and the test command's prebuilds (scripts/test.sh) never
# build one folder at the same time.
zv_build() {
  local preset=$1
  shift
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  mkdir -p build
  flock "build/.$preset.lock" bash -c \
    'cmake --preset "$1" >/dev/null && cmake --build --preset "$1" "${@:2}"' _ "$preset" "${targets[@]}"
}

# zv_runs_32bit: whether this machine executes 32-bit x86 programs, which
# the 32-bit Wine loader is. Some kernels and hypervisors leave the 32-bit
# mode out (exec then fails with "Exec format error", status 126); there the
# shipping 32-bit DLL can be built and its files checked, but not run. A
# loader that exists and fails otherwise is an error of the machine's Wine.
zv_runs_32bit() {
  local status=0
  /usr/lib/wine/wine --version >/dev/null 2>&1 || status=$?
  case $status in
    0) return 0 ;;
    126) return 1 ;;
    *) echo "The 32-bit Wine loader fails (status $status): /usr/lib/wine/wine --version" >&2
       exit 1 ;;
  esac
}

# zv_note TEXT: a note on the running stage, shown beside its time in the
# test command's table (and printed now).
zv_note() {
  echo "NOTE: $*"
  [ -z "${ZV_STAGE_NOTES:-}" ] || echo "$*" >>"$ZV_STAGE_NOTES"
}

# zv_lcdd_config FILE: writes a configuration for LCDd (package lcdproc) to
# FILE: its text driver as a 20x4 display, in the foreground, on the first
# free port of 127.0.0.1 from 13666, which it prints.
zv_lcdd_config() {
  local port=13666 driver_path
  while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do
    port=$((port + 1))
  done
  driver_path=$(dirname "$(ls /usr/lib/*/lcdproc/text.so /usr/lib/lcdproc/text.so 2>/dev/null | head -n 1)")
  cat >"$1" <<CONF
[server]
DriverPath=$driver_path/
Driver=text
Bind=127.0.0.1
Port=$port
ReportToSyslog=no
Foreground=yes
ServerScreen=blank
[text]
Size=20x4
CONF
  echo "$port"
}
