# Shared helpers of the project's scripts. Source it; do not run it.

ZV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# zv_require_packages FILE...: installs the Debian packages listed in the
# files (one per line, # comments) that are missing. As root it runs apt-get;
# otherwise it prints the line to run and fails.
zv_require_packages() {
  local wanted=() missing=() p
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
  local cmd="apt-get install -y --no-install-recommends ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages. Run as root:" >&2
    echo "  apt-get update && $cmd" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq || return 1
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || return 1
}
