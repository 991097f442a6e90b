#!/usr/bin/env bash
# Prints the code's size figures in non-blank, non-comment lines (NCL): the
# plugin's parts, the dialog, the Linux settings file, the display probe,
# the platform layer's share of src/, files with an EINTR loop per side,
# upward includes from platform/, the longest functions, and which programs
# built from outside src/ and tests/ have src/ on their include path (read
# off build/linux/compile_commands.json when it is there).
#   scripts/code-figures.sh            the figures of the working tree
#   scripts/code-figures.sh COMMIT     the figures of a commit (git archive)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
if [ $# -gt 0 ]; then
  tree=$(mktemp -d)
  trap 'rm -rf "$tree"' EXIT
  git archive "$1" | tar -x -C "$tree"
  cd "$tree"
fi

# ncl FILE...: non-blank lines that are not only a comment.
ncl() {
  [ $# -gt 0 ] || { echo 0; return; }
  awk '
    { line = $0 }
    in_block { if (sub(/.*\*\//, "", line)) in_block = 0; else next }
    { while (match(line, /\/\*.*\*\//)) line = substr(line, 1, RSTART - 1) substr(line, RSTART + RLENGTH)
      if (match(line, /\/\*/)) { line = substr(line, 1, RSTART - 1); in_block = 1 }
      sub(/\/\/.*/, "", line) }
    line ~ /[^ \t]/ { n++ }
    END { print n + 0 }' "$@"
}
sources() { find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) 2>/dev/null | sort; }
programs=$(for d in programs tools; do if [ -d $d ]; then echo $d; fi; done)

row() { printf '%-58s %s\n' "$1" "$2"; }
src_total=$(ncl $(sources src))
platform=$(ncl $(sources src/platform))
echo "figure                                                     value"
row "src/ (NCL)" "$src_total"
for part in plugin readings settings state platform; do
  [ ! -d src/$part ] || row "  src/$part" "$(ncl $(sources src/$part))"
done
row "platform layer share of src/" "$((100 * platform / src_total)) %"
for d in $programs contract shared tests bench fuzz; do
  [ ! -d $d ] || row "$d/ (NCL)" "$(ncl $(sources $d))"
done
mapfile -t dialog < <(sources src | grep -Ei '/(SettingsUnit|dialog[a-z_]*|message_box|open_file_dialog)\.(cpp|h)$')
row "dialog (SettingsUnit, dialog_*, message box, file dialog)" "$(ncl "${dialog[@]}")"
row "Linux settings file (platform/posix/profile_*)" "$(ncl $(sources src/platform/posix | grep '/profile_'))"
row "display (display_probe*, gui_display*)" "$(ncl $(sources src | grep -E '/(display_probe|gui_display)[^/]*$'))"
# A retry loop: EINTR on a line with "while", or a "continue" on the next.
eintr_loops() {
  for f in "$@"; do
    awk '/EINTR/ && /while|continue/ { found = 1 } after && /continue/ { found = 1 } { after = /EINTR/ }
         END { exit !found }' "$f" && echo "$f"
  done
}
row "files with an EINTR retry loop (POSIX; Windows has none)" \
  "$(eintr_loops $(sources src $programs shared | grep -v /win32/) | wc -l)"
row "upward includes from src/platform" \
  "$(grep -lE '#include "(plugin|settings|readings|state)/' $(sources src/platform) /dev/null | wc -l)"

# Function lengths: a definition starts on a line that ends in "{" at brace
# depth 0 outside namespaces, classes and initialisers, and ends at its
# matching brace; the figure is the count of lines from the one to the other.
functions=$(sources src $programs | xargs awk '
  FNR == 1 { depth = 0; start = 0; prev = "" }
  {
    text = $0; sub(/\/\/.*/, "", text)
    gsub(/"([^"\\]|\\.)*"/, "\"\"", text); gsub(/'"'"'([^'"'"'\\]|\\.)*'"'"'/, "0", text)
    for (i = 1; i <= length(text); i++) {
      c = substr(text, i, 1)
      if (c == "{") {
        head = substr(text, 1, i - 1)
        if (head ~ /^[ \t]*$/) head = prev
        kind = "b"
        if (head ~ /(^|[ \t])(namespace|class|struct|union|enum)([ \t]|$)/ && head !~ /\(/) kind = "n"
        else if (start == 0 && outer(depth) && head ~ /\)[^;=]*$/) { kind = "f"; start = FNR; sdepth = depth }
        stack[++depth] = kind
      } else if (c == "}" && depth > 0) {
        if (stack[depth] == "f") { printf "%d %s:%d\n", FNR - start + 1, FILENAME, start; start = 0 }
        depth--
      }
    }
    if (text ~ /[^ \t]/) prev = text
  }
  function outer(d,   k) { for (k = 1; k <= d; k++) if (stack[k] != "n") return 0; return 1 }' | sort -rn)
row "functions over 70 lines" "$(awk '$1 > 70' <<<"$functions" | wc -l)"
awk '$1 > 70 { printf "  %4d lines  %s\n", $1, $2 }' <<<"$functions" | sed "s|$PWD/||"
echo "longest five:"
head -5 <<<"$functions" | awk '{ printf "  %4d lines  %s\n", $1, $2 }' | sed "s|$PWD/||"

db=$root/build/linux/compile_commands.json
if [ -f "$db" ]; then
  echo "programs and helpers (not the plugin, its tests, fuzzers, benchmarks) with src/ on the include path:"
  grep -o '"command": "[^"]*"' "$db" | grep -F -- "-I$root/src " |
    grep -o 'CMakeFiles/[^ ]*\.dir/' | sed 's|CMakeFiles/||; s|\.dir/||' | sort -u |
    while read -r target; do
      grep -o '"command": "[^"]*"' "$db" | grep -F "CMakeFiles/$target.dir/" |
        grep -oE -- "-c $root/[^ ]*" | grep -vE -- "-c $root/(src|fuzz|bench)/" |
        grep -vqE -- "-c $root/tests/([^h]|h[^e])" && echo "  $target"
    done | sort -u | { out=$(cat); echo "${out:-  none}"; }
fi
