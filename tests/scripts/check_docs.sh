#!/usr/bin/env bash
# Keeps the documents true. In every Markdown file of the tree: each
# relative link and image names a file that exists (and a heading there, for
# a link with #anchor); each scripts/... path, stage (`NN-name`) and
# --preset named exists; the packages' file names carry the project's
# version. The users' README that scripts/user-readme.sh makes of the
# guides is plain text in both languages. And each program's --help names
# exactly the options of its manual page's OPTIONS section (--help itself
# aside).
# usage: check_docs.sh ZV_HOST ZV_MONITOR
set -uo pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root" || exit 1
faults=0 links=0 names=0
fault() { echo "FAULT: $*"; faults=$((faults + 1)); }

# The anchors GitHub gives a file's headings.
anchors() {
  sed -n 's/^#\{1,6\} //p' "$1" | tr '[:upper:]' '[:lower:]' | sed 's/[^a-z0-9 _-]//g; s/ /-/g'
}

mapfile -t docs < <(find . -name '*.md' -not -path './build/*' -not -path './.git/*' | sort)
for doc in "${docs[@]}"; do
  dir=$(dirname "$doc")
  while IFS= read -r target; do
    links=$((links + 1))
    file=${target%%#*} anchor=
    [[ $target == *#* ]] && anchor=${target#*#}
    path=$doc
    [ -z "$file" ] || path=$dir/$file
    [ -e "$path" ] || { fault "$doc: link to $target: no $path"; continue; }
    if [ -n "$anchor" ] && [[ $path == *.md ]] && ! anchors "$path" | grep -qxF -- "$anchor"; then
      fault "$doc: link to $target: no such heading in $path"
    fi
  done < <(grep -oE '\]\([^)[:space:]]+\)' "$doc" | sed 's/^](//; s/)$//' | grep -vE '^[a-z]+:')
  while IFS= read -r script; do
    names=$((names + 1))
    if [ ! -e "$script" ]; then
      fault "$doc names $script, which does not exist"
    elif [[ $script == *.sh && $script != scripts/stages/* && ! -x $script ]]; then
      fault "$doc shows $script as a command, but it is not executable"
    fi
  done < <(grep -oE '(^|[^a-z/_.])(\./)?scripts/[A-Za-z0-9_./-]*[A-Za-z0-9_]' "$doc" |
    sed -E 's|^[^s.]*||; s|^\./||' | grep -v '\*' | sort -u)
  # shellcheck disable=SC2016 # backquotes of Markdown
  while IFS= read -r stage; do
    names=$((names + 1))
    [ -f "scripts/stages/$stage.sh" ] || fault "$doc names a stage that does not exist: $stage"
  done < <(grep -oE '`[0-9]{2}-[a-z-]+`' "$doc" | tr -d '`' | sort -u)
  while IFS= read -r preset; do
    names=$((names + 1))
    grep -qF "\"name\": \"$preset\"" CMakePresets.json || fault "$doc names a preset that does not exist: $preset"
  done < <(grep -oE -- '--preset [a-z0-9-]+' "$doc" | cut -d' ' -f2 | sort -u)
done

# The version the documents name in the packages' file names is the
# project's.
version=$(sed -n 's/^project(zelvane_info VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
while IFS=: read -r doc named; do
  names=$((names + 1))
  [ "$named" = "$version" ] || fault "$doc names version $named of a package, the project is $version"
done < <(grep -HoE 'zelvane_info-[0-9][0-9.]*[0-9]-(win32|win64|linux)|zelvane-info_[0-9][0-9.]*[0-9]_' \
  "${docs[@]}" | sed -E 's/:zelvane[-_]info[-_]/:/; s/[-_][a-z0-9]*$//')

# The users' README.txt that the build makes of the user's guides: plain
# text, lines that fit Notepad's window, and the Russian part before the
# English one.
readme=$(bash scripts/user-readme.sh) || fault "scripts/user-readme.sh failed"
# (Code blocks, indented by four spaces, are shown as they are.)
markup=$(grep -n '' <<<"$readme" | grep -vE '^[0-9]+:    ' | grep -E '`|\]\(|<!--|^[0-9]+:#+ |\*\*')
[ -z "$markup" ] || fault "the users' README has Markdown left in it:
$markup"
long=$(awk '{ t = $0; n = length($0) - gsub(/[\200-\277]/, "", t) } n > 76 { print NR ": " $0 }' <<<"$readme")
[ -z "$long" ] || fault "the users' README has lines over 76 characters (wrap the guide's tables or code):
$long"
[ "$(grep -oE '^(ПО-РУССКИ|ENGLISH):' <<<"$readme" | tr '\n' ' ')" = "ПО-РУССКИ: ENGLISH: " ] ||
  fault "the users' README lacks its Russian part or its English part, or has them out of order"
echo "the users' README: $(wc -l <<<"$readme") lines"

# PROGRAM MAN_PAGE: the same options in both.
options() { grep -oE -- '--[a-z][a-z-]*' | sort -u | grep -vx -- --help; }
for pair in "$1:packaging/zelvane-lcd.1" "$2:packaging/zelvane-monitor.1"; do
  program=${pair%%:*} page=${pair#*:}
  help=$("$program" --help | options)
  man=$(sed -n '/^\.SH OPTIONS/,/^\.SH [^O]/p' "$page" | sed 's/\\-/-/g' | options)
  [ -n "$help" ] || fault "$(basename "$program") --help names no options"
  [ "$help" = "$man" ] || fault "$(basename "$program") --help and $page differ (< only --help, > only the page):
$(diff <(echo "$help") <(echo "$man") | grep '^[<>]')"
  echo "$(basename "$program") and $page: $(echo "$help" | wc -l) options each"
done

echo "docs: ${#docs[@]} Markdown files, $links links and images, $names scripts, stages and presets named, $faults faults"
[ $faults -eq 0 ]
