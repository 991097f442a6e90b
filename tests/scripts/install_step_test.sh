#!/usr/bin/env bash
# The install step of the scripts (zv_require_packages in scripts/lib.sh)
# against stand-ins for apt-get, dpkg and dpkg-query first on PATH, without a
# network: a mirror caught mid-sync (a list fails, the first install cannot
# resolve) must still end with the packages installed, and an install that
# keeps failing must name the missing packages and the stages needing them.
# Then the 32-bit step (zv_require_32bit, zv_runs_32bit) with stand-ins for
# the 32-bit Wine loader, mount, qemu-i386 and binfmt_misc's folder.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/packages"
failures=0

# The stand-ins keep the installed packages in $work/installed, one a line,
# and log every apt-get call to $work/calls.
cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/usr/bin/env bash
grep -qx "${!#}" "$FAKE_ROOT/installed" 2>/dev/null || exit 1
echo -n "install ok installed"
STANDIN
cat >"$work/bin/dpkg" <<'STANDIN'
#!/usr/bin/env bash
case $1 in
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) cat "$FAKE_ROOT/arches" 2>/dev/null ;;
  --add-architecture) echo "$2" >>"$FAKE_ROOT/arches" ;;
esac
STANDIN
cat >"$work/bin/id" <<'STANDIN'
#!/usr/bin/env bash
echo 0
STANDIN
cat >"$work/bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE_ROOT/calls"
case $1 in
  update)
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
  install)
    if [[ " $* " == *" qemu-user "* && $FAKE_APT != broken ]]; then
      printf '#!/bin/sh\necho "qemu-i386 version 10.0.2 (Debian 1:10.0.2+ds-2)"\n' >"$ZV_QEMU_I386"
      chmod +x "$ZV_QEMU_I386"
      exit 0
    fi
    if [ "$FAKE_APT" = flaky ] && [[ " $* " == *" -t "* ]]; then
      for p in "$@"; do [[ $p == -* || $p == install || $p == "$FAKE_CODENAME" ]] || echo "$p" >>"$FAKE_ROOT/installed"; done
      exit 0
    fi
    echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages." >&2
    exit 100 ;;
esac
STANDIN
chmod +x "$work/bin/"*
printf 'cmake\n# a comment\nwine32:i386  # 32-bit Wine\n' >"$work/packages/40-windows.txt"
printf 'cmake\nlcdproc\n' >"$work/packages/10-linux.txt"

# run MODE: the install step under the stand-ins; its output in $work/out.
run() {
  rm -f "$work/installed" "$work/calls" "$work/arches"
  echo cmake >"$work/installed"
  (export FAKE_ROOT=$work FAKE_APT=$1 FAKE_CODENAME=$codename PATH="$work/bin:$PATH"
   source "$root/scripts/lib.sh"
   zv_require_packages "$work/packages/10-linux.txt" "$work/packages/40-windows.txt") >"$work/out" 2>&1
}

# expect WHAT COMMAND...: reports a failed check.
expect() {
  local what=$1
  shift
  if ! "$@"; then
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}

run flaky
status=$?
echo "--- a list fails, the first install cannot resolve:"
cat "$work/out"
expect "the step succeeds" test $status -eq 0
expect "the failed list is named" grep -q 'failed: http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz' "$work/out"
expect "the retry is said in one line" grep -q "trying once more preferring the release's own suite (-t $codename)" "$work/out"
expect "i386 is added to dpkg" grep -qx i386 "$work/arches"
expect "only the missing packages are installed, once each" \
  grep -qx "apt-get install -y -qq --no-install-recommends --no-remove -t $codename lcdproc wine32:i386" "$work/calls"
expect "no install may remove or downgrade" bash -c "! grep -E -- '--allow-(downgrades|remove)' '$work/calls'"
expect "both now installed" bash -c "grep -qx lcdproc '$work/installed' && grep -qx wine32:i386 '$work/installed'"

run broken
status=$?
echo "--- every install fails:"
cat "$work/out"
expect "the step fails" test $status -ne 0
expect "the missing packages are named with their stages" \
  bash -c "grep -qx '  lcdproc (10-linux)' '$work/out' && grep -qx '  wine32:i386 (40-windows)' '$work/out'"

# A machine that has every package asks no registry.
rm -f "$work/calls"
(export FAKE_ROOT=$work PATH="$work/bin:$PATH"
 printf 'cmake\nlcdproc\nwine32:i386\n' >"$work/installed"
 source "$root/scripts/lib.sh"
 zv_require_packages "$work/packages/10-linux.txt" "$work/packages/40-windows.txt")
expect "nothing missing: no apt-get call" test ! -e "$work/calls"

# The 32-bit step. The loader stand-in runs where the machine is native or
# an entry is registered; as the kernel would, it turns a line written to
# binfmt_misc's register into an entry.
cat >"$work/bin/wine32" <<'STANDIN'
#!/usr/bin/env bash
[ -e "$FAKE_ROOT/native" ] && exit 0
if [ -s "$ZV_BINFMT/register" ] && [ ! -e "$ZV_BINFMT/zelvane-info-i386" ]; then
  printf 'enabled\ninterpreter %s\nflags: F\noffset 0\nmagic 7f454c4601010100000000000000000002000300\n' \
    "$ZV_QEMU_I386" >"$ZV_BINFMT/zelvane-info-i386"
fi
grep -qx enabled "$ZV_BINFMT/zelvane-info-i386" 2>/dev/null || exit 126
STANDIN
cat >"$work/bin/mount" <<'STANDIN'
#!/usr/bin/env bash
echo "mount $*" >>"$FAKE_ROOT/calls"
echo enabled >"${!#}/status" && : >"${!#}/register"
STANDIN
chmod +x "$work/bin/"*
mkdir -p "$work/apt/sources.list.d"
printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
  "$codename" "$codename" >"$work/apt/sources.list.d/debian.sources"

# step32 MODE FUNCTION: FUNCTION of the 32-bit step under the stand-ins,
# with its status and output in $work/out; binfmt_misc starts unmounted.
step32() {
  (export FAKE_ROOT=$work FAKE_APT=$1 PATH="$work/bin:$PATH" ZV_WINE32=$work/bin/wine32 \
     ZV_BINFMT=$work/binfmt ZV_APT_ETC=$work/apt ZV_QEMU_I386=$work/qemu-i386
   source "$root/scripts/lib.sh"
   "$2" && echo "status 0; $(zv_32bit_how)") >"$work/out" 2>&1
}
list=$work/apt/sources.list.d/zelvane-info-backports.list
fresh32() { rm -rf "$work/calls" "$work/native" "$work/binfmt" "$work/qemu-i386" "$list"; mkdir "$work/binfmt"; }

fresh32
touch "$work/native"
step32 flaky zv_require_32bit
expect "native: nothing done, no registry asked" \
  bash -c "[ ! -e '$work/calls' ] && [ ! -e '$list' ] && grep -qx 'status 0; natively' '$work/out'"

fresh32
step32 flaky zv_require_32bit
echo "--- the kernel refuses 32-bit code:"
cat "$work/out"
expect "refused: a backports list of the release, native architecture only" grep -qx \
  "deb \[arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg\] http://deb.debian.org/debian $codename-backports main" "$list"
expect "refused: only that list is fetched" grep -q "apt-get update .*Dir::Etc::sourcelist=$list -o Dir::Etc::sourceparts=-" "$work/calls"
expect "refused: qemu-user from backports, nothing removed" \
  grep -qx "apt-get install -y -qq --no-install-recommends --no-remove -t $codename-backports qemu-user" "$work/calls"
expect "refused: binfmt_misc mounted" grep -qx "mount -t binfmt_misc binfmt_misc $work/binfmt" "$work/calls"
expect "refused: one entry, flag F" grep -qxF \
  ":zelvane-info-i386:M::$(source "$root/scripts/lib.sh" && echo "$ZV_I386_MAGIC:$ZV_I386_MASK"):$work/qemu-i386:F" "$work/binfmt/register"
expect "refused: each step said, the failed list a warning, emulation in use" bash -c \
  "grep -q '^Added $codename-backports' '$work/out' && grep -q '^Installed qemu-user 10.0.2' '$work/out' &&
   grep -q '^Mounted binfmt_misc' '$work/out' && grep -q '^Registered zelvane-info-i386' '$work/out' &&
   grep -q '^warning: apt-get update' '$work/out' && grep -qx 'status 0; emulated (qemu-i386 10.0.2)' '$work/out'"

rm -f "$work/calls"
(export FAKE_ROOT=$work PATH="$work/bin:$PATH" ZV_WINE32=$work/bin/wine32 ZV_BINFMT=$work/binfmt \
   ZV_APT_ETC=$work/apt ZV_QEMU_I386=$work/qemu-i386
 source "$root/scripts/lib.sh"
 zv_require_32bit) >"$work/out" 2>&1
expect "an entry already there: nothing done" bash -c "[ ! -e '$work/calls' ] && [ ! -s '$work/out' ]"

fresh32
step32 broken zv_require_32bit
expect "no emulation to be had: the step fails and says why" grep -q "^error: qemu-user could not be installed" "$work/out"
step32 broken zv_runs_32bit
expect "no emulation to be had: the 32-bit stages fail, naming what to install" \
  bash -c "grep -q '^error: this machine does not execute 32-bit x86 code' '$work/out' && grep -q 'Install qemu-user 8 or later' '$work/out' && ! grep -q 'status 0' '$work/out'"

fresh32
ZV_SKIP_32BIT=1 step32 broken zv_require_32bit
expect "skipped on purpose: nothing done" test ! -e "$work/calls"
ZV_SKIP_32BIT=1 step32 broken zv_runs_32bit
expect "skipped on purpose: the 32-bit parts not run, without failing the stage" \
  bash -c "[ ! -s '$work/out' ]"

[ $failures -eq 0 ] && echo "install step: all checks passed"
exit $((failures != 0))
