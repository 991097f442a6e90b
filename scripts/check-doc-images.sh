#!/usr/bin/env bash
# Checks that the documents' pictures in docs/images/ are what the programs
# and the render scripts draw now: renders them with
# scripts/render-doc-images.sh --out into a temporary folder and compares
# them byte for byte with the committed files; for the LCD frame also that
# the user's guide shows the same frame. A picture that differs is named with
# the command that draws it afresh into docs/images/.
# Usage: scripts/check-doc-images.sh [linux] [windows] [lcd]  (default: all)
# Needs what scripts/render-doc-images.sh needs, and the build trees it
# uses (build/linux, build/win64 with its Wine prefix).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ZV_ROOT"
parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(linux windows lcd)
fresh=$(mktemp -d)
trap 'rm -rf "$fresh"' EXIT
faults=0

# same PART FILE...: each docs/images/FILE equals the fresh rendering.
same() {
  local part=$1 file
  shift
  for file in "$@"; do
    if [ ! -f "$fresh/$file" ]; then
      echo "check-doc-images: scripts/render-doc-images.sh $part did not write $file" >&2
      faults=$((faults + 1))
    elif ! cmp -s "$fresh/$file" "docs/images/$file"; then
      echo "check-doc-images: docs/images/$file is not what the programs draw now;" \
        "refresh it with scripts/render-doc-images.sh $part and commit it" >&2
      faults=$((faults + 1))
    else
      echo "docs/images/$file: current"
    fi
  done
}

for part in "${parts[@]}"; do
  started=$SECONDS
  scripts/render-doc-images.sh --out "$fresh" "$part" >"$fresh/$part.log" 2>&1 || {
    cat "$fresh/$part.log" >&2
    echo "check-doc-images: scripts/render-doc-images.sh $part failed" >&2
    exit 1
  }
  case $part in
    linux) same linux linux/dialog-off.png linux/dialog-on.png ;;
    windows) same windows windows/dialog-off.png windows/dialog-on.png windows/prompt.png ;;
    lcd)
      same lcd lcd-frame.txt
      # The guide shows the frame as the first code block after its
      # "LCDd shows it so" paragraph.
      awk '/^LCDd shows it so/ { found = 1 } found && /^```/ { if (inside) exit; inside = 1; next }
        inside { print }' docs/user-guide.md >"$fresh/guide-frame.txt"
      if ! cmp -s "$fresh/guide-frame.txt" docs/images/lcd-frame.txt; then
        echo "check-doc-images: the frame in docs/user-guide.md (\"LCDd shows it so\") differs" \
          "from docs/images/lcd-frame.txt; copy that file's text into the guide" >&2
        faults=$((faults + 1))
      fi
      ;;
    *) echo "usage: $0 [linux] [windows] [lcd]" >&2; exit 2 ;;
  esac
  echo "$part: rendered and compared in $((SECONDS - started)) s"
done
[ $faults -eq 0 ]
