# Shared helpers of the project's scripts. Source it; do not run it.

ZV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The monitor's shared-memory name is global to the machine, so every run
# that publishes or reads it (a test run, the demo, a fuzzer) holds this
# lock; another checkout's runs then wait instead of overlapping.
ZV_MONITOR_LOCK=/tmp/zv-monitor-memory.lock
# The monitor's object as Linux shows it, once the monitor publishes; the
# name is the block's (shared/monitor_block/layout.h).
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

# zv_apt_update WHAT LOG [OPTION...]: apt-get update; a list that fails to
# download (a mirror caught mid-sync) is a warning naming each failed list,
# not an error: apt goes on with the lists there are.
zv_apt_update() {
  local what=$1 log=$2
  shift 2
  if ! apt-get update -qq "$@" >"$log" 2>&1; then
    echo "warning: apt-get update could not fetch $what." >&2
    grep -E '^(E|W): Failed to fetch' "$log" | sed -E 's/^(E|W): Failed to fetch ([^ ]+) +(.*)$/  failed: \2 (\3)/' >&2 || true
  fi
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
  zv_apt_update "every package list; going on with the lists there are" "$log"
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

# The shipping DLL is a 32-bit x86 one, and its tests run under the 32-bit
# Wine loader. Some kernels and hypervisors leave the 32-bit mode out (exec
# then fails with "Exec format error", status 126); there user-mode
# emulation runs the loader and everything it starts: qemu-i386, registered
# in binfmt_misc for i386 ELF programs. The paths are variables so that the
# install step's test can put stand-ins there.
ZV_WINE32=${ZV_WINE32:-/usr/lib/wine/wine}
ZV_BINFMT=${ZV_BINFMT:-/proc/sys/fs/binfmt_misc}
ZV_APT_ETC=${ZV_APT_ETC:-/etc/apt}
ZV_QEMU_I386=${ZV_QEMU_I386:-/usr/bin/qemu-i386}
# Our binfmt_misc entry: the usual magic and mask of i386 ELF executables
# (static and dynamic), and flag F, which opens the interpreter at
# registration so that it works in every mount namespace.
ZV_BINFMT_NAME=zelvane-info-i386
ZV_I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
ZV_I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# Before 8, qemu-user handles Wine's tens of thousands of address-space
# reservations so slowly that each Wine start takes about a minute.
ZV_QEMU_MIN_MAJOR=8

# zv_loader32_status: the 32-bit Wine loader's exit status for --version.
zv_loader32_status() {
  local status=0
  "$ZV_WINE32" --version >/dev/null 2>&1 || status=$?
  echo "$status"
}

# zv_loader32_fails STATUS: says that the loader failed otherwise than refused.
zv_loader32_fails() {
  echo "error: the 32-bit Wine loader fails (status $1): $ZV_WINE32 --version" >&2
}

# zv_qemu_version [PROGRAM]: qemu-i386's version (10.0.2), or nothing.
zv_qemu_version() {
  "${1:-$ZV_QEMU_I386}" --version 2>/dev/null | sed -nE '1s/.*version ([0-9][0-9.]*).*/\1/p'
}

# zv_32bit_how: how this machine runs 32-bit x86 programs, for the stage
# table: "natively", or "emulated (qemu-i386 VERSION)" when an enabled
# binfmt_misc entry claims i386 ELF programs (such an entry comes before the
# kernel's own loader).
zv_32bit_how() {
  local entry interpreter
  if [ "$(cat "$ZV_BINFMT/status" 2>/dev/null)" = enabled ]; then
    for entry in "$ZV_BINFMT"/*; do
      case ${entry##*/} in register | status) continue ;; esac
      [ "$(head -n 1 "$entry" 2>/dev/null)" = enabled ] || continue
      grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" || continue
      interpreter=$(sed -n 's/^interpreter //p' "$entry")
      echo "emulated (${interpreter##*/} $(zv_qemu_version "$interpreter"))"
      return 0
    done
  fi
  echo natively
}

# zv_release_mirror: the address the release's own suite is fetched from,
# read from apt's sources (one-line or deb822 form), and its Signed-By key
# after a space, if any.
zv_release_mirror() {
  local codename=$1 f
  for f in "$ZV_APT_ETC/sources.list" "$ZV_APT_ETC"/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v c="$codename" '$1 == "deb" {
        key = ""; i = 2
        if ($2 ~ /^\[/) { while ($i !~ /\]$/) { if ($i ~ /signed-by=/) key = $i; i++ }
                          if ($i ~ /signed-by=/) key = $i; i++ }
        if ($(i + 1) == c) { sub(/.*signed-by=/, "", key); sub(/\]$/, "", key); print $i, key; exit }
      }' "$f" | grep . && return 0
  done
  for f in "$ZV_APT_ETC"/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v c="$codename" 'function flush() { if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " c " ") && uri != "") { print uri, key; found = 1; exit } types = suites = uri = key = "" }
      /^[ \t]*$/ { flush(); next }
      /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0 }
      /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
      /^URIs:/ { uri = $2 }
      /^Signed-By:/ { key = $2 }
      END { if (!found) flush() }' "$f" | grep . && return 0
  done
  return 1
}

# zv_require_32bit: makes 32-bit x86 programs run here, for the stages that
# run the 32-bit DLL's tests. A machine that runs them (natively, or through
# an entry already registered) is left as it is and no registry is asked.
# Where the kernel refuses them, it sets up user-mode emulation the Debian
# way, saying each step in one line: a list file of the project's own name
# for the release's backports suite (native architecture only), qemu-user
# installed from it (-t CODENAME-backports: backports' default priority
# keeps every other package on the release), binfmt_misc mounted if it is
# not, and our entry for i386 ELF programs. Fails, with the reason, when that
# cannot be had; the 32-bit stages then fail (zv_runs_32bit).
# ZV_SKIP_32BIT=1 skips all of it on purpose.
zv_require_32bit() {
  [ "${ZV_SKIP_32BIT:-}" = 1 ] && return 0
  local status
  status=$(zv_loader32_status)
  [ "$status" -eq 0 ] && return 0
  if [ "$status" -ne 126 ]; then
    zv_loader32_fails "$status"
    return 1
  fi
  echo "This machine does not execute 32-bit x86 code: setting up user-mode emulation (qemu-i386)."
  if [ "$(id -u)" -ne 0 ]; then
    echo "error: setting up the emulation needs root; run scripts/test.sh as root once." >&2
    return 1
  fi
  local codename native version
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  native=$(dpkg --print-architecture)
  version=$(zv_qemu_version)
  if [ -z "$version" ] || [ "${version%%.*}" -lt "$ZV_QEMU_MIN_MAJOR" ]; then
    local list=$ZV_APT_ETC/sources.list.d/zelvane-info-backports.list mirror log
    if [ ! -f "$list" ]; then
      if ! mirror=$(zv_release_mirror "$codename"); then
        echo "error: no apt source for $codename found in $ZV_APT_ETC, so none for $codename-backports either." >&2
        return 1
      fi
      local uri=${mirror%% *} key=${mirror#* } options="arch=$native"
      [ -z "$key" ] || [ "$key" = "$uri" ] || options+=" signed-by=$key"
      echo "deb [$options] $uri $codename-backports main" >"$list"
      echo "Added $codename-backports for $native to apt's sources: $list"
    fi
    export DEBIAN_FRONTEND=noninteractive
    log=$(mktemp)
    # Only the new list is fetched; the others stay as they are.
    zv_apt_update "every list of $codename-backports; going on with what there is" "$log" \
      -o Dir::Etc::sourcelist="$list" -o Dir::Etc::sourceparts=- -o APT::Get::List-Cleanup=0
    if ! apt-get install -y -qq --no-install-recommends --no-remove -t "$codename-backports" qemu-user >"$log" 2>&1; then
      grep -E '^E:' "$log" | head -n 3 | sed 's/^/  /' >&2
      rm -f "$log"
      echo "error: qemu-user could not be installed from $codename-backports." >&2
      return 1
    fi
    rm -f "$log"
    version=$(zv_qemu_version)
    if [ -z "$version" ] || [ "${version%%.*}" -lt "$ZV_QEMU_MIN_MAJOR" ]; then
      echo "error: qemu-user from $codename-backports is ${version:-missing}; version $ZV_QEMU_MIN_MAJOR or later is needed." >&2
      return 1
    fi
    echo "Installed qemu-user $version from $codename-backports"
  fi
  if [ ! -e "$ZV_BINFMT/register" ]; then
    if ! mount -t binfmt_misc binfmt_misc "$ZV_BINFMT"; then
      echo "error: binfmt_misc could not be mounted on $ZV_BINFMT." >&2
      return 1
    fi
    echo "Mounted binfmt_misc on $ZV_BINFMT"
  fi
  if [ -e "$ZV_BINFMT/$ZV_BINFMT_NAME" ]; then
    echo 1 >"$ZV_BINFMT/$ZV_BINFMT_NAME" || true
    echo "Enabled the binfmt_misc entry $ZV_BINFMT_NAME"
  elif ! printf ':%s:M::%s:%s:%s:F\n' "$ZV_BINFMT_NAME" "$ZV_I386_MAGIC" "$ZV_I386_MASK" \
    "$ZV_QEMU_I386" >"$ZV_BINFMT/register"; then
    echo "error: the binfmt_misc entry $ZV_BINFMT_NAME could not be registered." >&2
    return 1
  else
    echo "Registered $ZV_BINFMT_NAME in binfmt_misc: i386 programs run under $ZV_QEMU_I386 $version"
  fi
  status=$(zv_loader32_status)
  if [ "$status" -ne 0 ]; then
    echo "error: the 32-bit Wine loader still fails under emulation (status $status)." >&2
    return 1
  fi
}

# zv_runs_32bit: whether the 32-bit DLL's test programs are to run. They
# do wherever the 32-bit loader runs (natively or emulated: scripts/test.sh
# sets that up first, zv_require_32bit). ZV_SKIP_32BIT=1 skips them on
# purpose (the stages then note them NOT RUN). Anywhere else the stage
# fails here with the reason and what to install: the DLL that users
# install is never left untested without a word.
zv_runs_32bit() {
  [ "${ZV_SKIP_32BIT:-}" = 1 ] && return 1
  local status
  status=$(zv_loader32_status)
  [ "$status" -eq 0 ] && return 0
  if [ "$status" -eq 126 ]; then
    echo "error: this machine does not execute 32-bit x86 code, and no user-mode emulation runs it." >&2
    echo "  Install qemu-user $ZV_QEMU_MIN_MAJOR or later (Debian 12: from bookworm-backports) and register" >&2
    echo "  $ZV_QEMU_I386 in binfmt_misc for i386 ELF programs, as scripts/test.sh does when run as root;" >&2
    echo "  or set ZV_SKIP_32BIT=1 to skip the 32-bit tests on purpose." >&2
  else
    zv_loader32_fails "$status"
  fi
  exit 1
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
