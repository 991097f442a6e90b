#!/usr/bin/env bash
# The install step of the scripts (zv_require_packages in scripts/lib.sh)
# against stand-ins for apt-get, dpkg and dpkg-query first on PATH, without a
# network: a mirror caught mid-sync (a list fails, the first install cannot
# resolve) must still end with the packages installed, and an install that
# keeps failing must name the missing packages and the stages needing them.
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

[ $failures -eq 0 ] && echo "install step: all checks passed"
exit $((failures != 0))
