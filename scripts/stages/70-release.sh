#!/usr/bin/env bash
# The release packages, made with the release command from the trees that
# the earlier stages built and tested (build/win32 by 40-windows,
# build/linux by 10-linux), then checked as a user would unpack them:
#   build/release/zelvane_info-<version>-win32.zip
#   build/release/zelvane_info-<version>-linux-<processor>.tar.gz
# each with a .sha256 beside it. The zip must hold the very DLL the tests
# ran against, so the stage fails if either tree had to be rebuilt.
set -euo pipefail
cd "$(dirname "$0")/../.."

fail() {
  echo "70-release: $*" >&2
  exit 1
}

# zv_hash FILE: its SHA-256, or "none".
zv_hash() {
  if [ -f "$1" ]; then sha256sum "$1" | cut -d' ' -f1; else echo none; fi
}

# Building is a no-op after the earlier stages; a target it had to rebuild
# would be packaged untested.
win_dll=build/win32/bin/zelvane_info.dll
linux_files=(build/linux/src/zelvane_info.so build/linux/tools/zv_host build/linux/tools/zv_monitor)
before=$(for f in "$win_dll" "${linux_files[@]}"; do zv_hash "$f"; done)
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target zelvane_info >/dev/null
cmake --preset linux >/dev/null
cmake --build --preset linux --target zelvane_info zv_host zv_monitor >/dev/null
after=$(for f in "$win_dll" "${linux_files[@]}"; do zv_hash "$f"; done)
[ "$before" = "$after" ] ||
  fail "build/win32 or build/linux was not up to date: run 10-linux and 40-windows (build and tests) first"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
linux_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/linux/CMakeCache.txt)
if [ -z "$version" ] || [ "$version" != "$linux_version" ]; then
  fail "version '$version' (win32) and '$linux_version' (linux) differ"
fi

# The release command, and its Linux counterpart.
rm -rf build/release
cpack --preset win32
cpack --preset linux

zip_name=zelvane_info-$version-win32
tgz_name=zelvane_info-$version-linux-$(uname -m)
zip=build/release/$zip_name.zip
tgz=build/release/$tgz_name.tar.gz
[ -f "$zip" ] || fail "no $zip"
[ -f "$tgz" ] || fail "no $tgz"
(cd build/release && sha256sum -c --quiet "$zip_name.zip.sha256" "$tgz_name.tar.gz.sha256") ||
  fail "a package does not match its .sha256"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# expect_names LISTING EXPECTED...: the archive's files (no folders) are
# exactly EXPECTED.
expect_names() {
  local listing=$1
  shift
  local actual expected
  actual=$(grep -v '/$' <<<"$listing" | sort)
  expected=$(printf '%s\n' "$@" | sort)
  [ "$actual" = "$expected" ] || fail "files differ from the expected ones:
$(diff <(echo "$expected") <(echo "$actual") || true)"
}

# need TEXT_FILE WHAT PHRASE...: every phrase occurs in the file.
need() {
  local file=$1 what=$2
  shift 2
  local phrase
  for phrase in "$@"; do
    grep -qF -- "$phrase" "$file" || fail "$what lacks \"$phrase\""
  done
}

# The zip, read with Info-ZIP (not the library that wrote it).
unzip -tq "$zip" >/dev/null || fail "$zip is damaged"
expect_names "$(unzip -Z1 "$zip")" \
  "$zip_name/zelvane_info.dll" "$zip_name/README.txt" \
  "$zip_name/LICENSE.txt" "$zip_name/SHA256SUMS.txt"
[ "$(unzip -p "$zip" "$zip_name/zelvane_info.dll" | sha256sum | cut -d' ' -f1)" = "$(zv_hash "$win_dll")" ] ||
  fail "the zip's DLL differs from the tested $win_dll"
unzip -q "$zip" -d "$work/zip"
(cd "$work/zip/$zip_name" && sha256sum -c --quiet SHA256SUMS.txt) || fail "SHA256SUMS.txt does not check"
[ "$(cut -d' ' -f3 "$work/zip/$zip_name/SHA256SUMS.txt" | tr -d '\r' | sort | tr '\n' ' ')" = \
  "LICENSE.txt README.txt zelvane_info.dll " ] || fail "SHA256SUMS.txt does not list exactly the other files"
cmake -DOBJDUMP=i686-w64-mingw32-objdump -DDLL="$work/zip/$zip_name/zelvane_info.dll" \
  -DVERSION="$version" -P tests/check_dll_version.cmake >/dev/null ||
  fail "the zip's DLL does not carry version $version"

# The users' README for Windows: UTF-8 with a byte-order mark and CRLF line
# ends; both languages, each with every topic.
readme=$work/zip/$zip_name/README.txt
[ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "README.txt has no UTF-8 byte-order mark"
iconv -f UTF-8 -t UTF-8 "$readme" >/dev/null || fail "README.txt is not valid UTF-8"
[ "$(grep -c $'\r$' "$readme")" = "$(wc -l <"$readme")" ] || fail "README.txt has lines without CRLF"
english_from=$(grep -n '^ENGLISH' "$readme" | head -n1 | cut -d: -f1)
[ -n "$english_from" ] || fail "README.txt has no English part"
head -n $((english_from - 1)) "$readme" >"$work/readme-ru.txt"
tail -n +"$english_from" "$readme" >"$work/readme-en.txt"
for part in ru en; do
  # shellcheck disable=SC2016 # the macros are literal texts
  need "$work/readme-$part.txt" "README.txt ($part)" "zelvane_info.dll" \
    '$zvCheck$' '$zvTemp[0]$' '$zvFan[1]$' '$zvVolt[2]$' "#skip" "Lumora3.ini" "[ZV4]" \
    "Try to run=" "Path=" "Не удается запустить Zelvane!" "$version" "SHA256SUMS.txt"
done
need "$work/readme-ru.txt" "README.txt (ru)" "Установка" "папку плагинов" "Макросы" \
  "Что значит #skip" "Когда Zelvane закрывают, перезапускают или он зависает" \
  "«Пробовать запустить Zelvane»" "папке «Документы»" "«Да»" "«Нет»" \
  "Сообщая о проблеме, пришлите"
need "$work/readme-en.txt" "README.txt (en)" "Installing" "plugins folder" "Macros" \
  'What "#skip" means' "When Zelvane stops, restarts, hangs or is killed" "Documents folder" \
  '"Да" (yes)' '"Нет" (no)' "Reporting a problem"
need "$work/zip/$zip_name/LICENSE.txt" LICENSE.txt "MIT License" \
  "Copyright (c) 2026 the zelvane_info developers"

# The tarball: the same files as `cmake --install`, the binaries as built.
expect_names "$(tar -tzf "$tgz")" \
  "$tgz_name/lib/zelvane_info/zelvane_info.so" "$tgz_name/bin/zv_host" "$tgz_name/bin/zv_monitor" \
  "$tgz_name/include/zelvane_info.h" "$tgz_name/share/doc/zelvane_info/README.txt" \
  "$tgz_name/share/doc/zelvane_info/README.md" "$tgz_name/share/doc/zelvane_info/LICENSE" \
  "$tgz_name/share/doc/zelvane_info/SHA256SUMS"
mkdir "$work/tgz"
tar -xzf "$tgz" -C "$work/tgz"
root=$work/tgz/$tgz_name
for pair in lib/zelvane_info/zelvane_info.so:build/linux/src/zelvane_info.so \
  bin/zv_host:build/linux/tools/zv_host bin/zv_monitor:build/linux/tools/zv_monitor; do
  cmp -s "$root/${pair%%:*}" "${pair#*:}" || fail "the tarball's ${pair%%:*} differs from ${pair#*:}"
done
(cd "$root" && sha256sum -c --quiet share/doc/zelvane_info/SHA256SUMS) || fail "the tarball's SHA256SUMS does not check"
# The same README text, with Linux line ends and no byte-order mark.
cmp -s <(tail -c +4 "$readme" | tr -d '\r') "$root/share/doc/zelvane_info/README.txt" ||
  fail "the tarball's README.txt is not the zip's text"
# `cmake --install` (here under DESTDIR, as a distribution package would)
# installs the same files.
DESTDIR=$work/destdir cmake --install build/linux --prefix /usr/local >/dev/null
installed=$(cd "$work/destdir/usr/local" && find . -type f | sed 's|^\./||' | sort)
[ "$installed" = "$(tar -tzf "$tgz" | grep -v '/$' | sed "s|^$tgz_name/||" | sort)" ] ||
  fail "cmake --install installs other files than the tarball holds: $installed"
(cd "$work/destdir/usr/local" && sha256sum -c --quiet share/doc/zelvane_info/SHA256SUMS) ||
  fail "the installed SHA256SUMS does not check"
# The unpacked module loads and names its version.
"$root/bin/zv_host" describe "$root/lib/zelvane_info/zelvane_info.so" | grep -qF "zelvane_info $version: " ||
  fail "the tarball's zv_host does not show version $version from its module"

ls -l "$zip" "$tgz"
echo "zip: $(stat -c %s "$zip") bytes"
unzip -Z1 "$zip" | sed 's/^/  /'
echo "tarball: $(stat -c %s "$tgz") bytes"
tar -tzf "$tgz" | grep -v '/$' | sed 's/^/  /'
echo "70-release: packages checked"
