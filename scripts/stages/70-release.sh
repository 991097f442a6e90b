#!/usr/bin/env bash
# The release packages, made with the release commands from the trees that
# the earlier stages built and tested (build/win32 and build/win64 by
# 40-windows, build/linux by 10-linux), then checked as a user would unpack
# them:
#   build/release/zelvane_info-<version>-win32.zip
#   build/release/zelvane_info-<version>-win64.zip
#   build/release/zelvane_info-<version>-linux-<processor>.tar.gz
#   build/release/zelvane-info_<version>_<architecture>.deb (and lintian's
#   verdict on it; 75-package installs it)
# each with a .sha256 beside it. The zips must hold the very DLLs the tests
# ran against, so the stage fails if a tree had to be rebuilt. The users'
# README.txt in them is the user's guide (scripts/user-readme.sh), and the
# guide's pictures must be what the programs draw now
# (scripts/check-doc-images.sh).
# zv-stage: 32-bit
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ZV_ROOT"

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
win_dlls=(build/win32/bin/zelvane_info.dll build/win64/bin/zelvane_info.dll)
linux_files=(build/linux/src/zelvane_info.so build/linux/programs/zelvane-lcd build/linux/programs/zelvane-monitor)
before=$(for f in "${win_dlls[@]}" "${linux_files[@]}"; do zv_hash "$f"; done)
for preset in win32 win64; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset --target zelvane_info >/dev/null
done
cmake --preset linux >/dev/null
cmake --build --preset linux --target zelvane_info zelvane-lcd zelvane-monitor >/dev/null
after=$(for f in "${win_dlls[@]}" "${linux_files[@]}"; do zv_hash "$f"; done)
[ "$before" = "$after" ] ||
  fail "build/win32, build/win64 or build/linux was not up to date: run 10-linux and 40-windows (build and tests) first"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
for preset in win64 linux; do
  other=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/$preset/CMakeCache.txt)
  if [ -z "$version" ] || [ "$version" != "$other" ]; then
    fail "version '$version' (win32) and '$other' ($preset) differ"
  fi
done

if ! zv_runs_32bit; then
  zv_note "the win32 zip holds a DLL that was built and checked as a file, but whose test" \
    "programs were skipped on purpose (ZV_SKIP_32BIT=1)"
fi

# The documents' pictures, drawn afresh from the binaries about to be
# packaged and compared with docs/images/.
scripts/check-doc-images.sh linux windows lcd || fail "the pictures in docs/images/ are out of date (above)"

# The release commands, and their Linux counterparts.
rm -rf build/release
cpack --preset win32
cpack --preset win64
cpack --preset linux
cpack --preset deb

zip_name=zelvane_info-$version-win32
zip64_name=zelvane_info-$version-win64
tgz_name=zelvane_info-$version-linux-$(uname -m)
deb_name=zelvane-info_${version}_$(dpkg --print-architecture)
zip=build/release/$zip_name.zip
zip64=build/release/$zip64_name.zip
tgz=build/release/$tgz_name.tar.gz
deb=build/release/$deb_name.deb
for package in "$zip" "$zip64" "$tgz" "$deb"; do
  [ -f "$package" ] || fail "no $package"
  (cd build/release && sha256sum -c --quiet "$(basename "$package").sha256") ||
    fail "$package does not match its .sha256"
done

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

# need TEXT_FILE WHAT PHRASE...: every phrase occurs in the file, also
# where the text's lines break inside it (the README is wrapped anew).
need() {
  local file=$1 what=$2
  shift 2
  local phrase text
  text=$(tr -s ' \r\n' ' ' <"$file")
  for phrase in "$@"; do
    grep -qF -- "$phrase" <<<"$text" || fail "$what lacks \"$phrase\""
  done
}

# check_zip ZIP NAME DLL OBJDUMP: the zip, read with Info-ZIP (not the
# library that wrote it), holds folder NAME with the tested DLL (carrying
# the version), the README, the licence and their sums; unpacked into
# $work/NAME.
check_zip() {
  local zip=$1 name=$2 dll=$3 objdump=$4
  unzip -tq "$zip" >/dev/null || fail "$zip is damaged"
  expect_names "$(unzip -Z1 "$zip")" \
    "$name/zelvane_info.dll" "$name/README.txt" "$name/LICENSE.txt" "$name/SHA256SUMS.txt"
  [ "$(unzip -p "$zip" "$name/zelvane_info.dll" | sha256sum | cut -d' ' -f1)" = "$(zv_hash "$dll")" ] ||
    fail "the DLL of $zip differs from the tested $dll"
  unzip -q "$zip" -d "$work"
  (cd "$work/$name" && sha256sum -c --quiet SHA256SUMS.txt) || fail "SHA256SUMS.txt of $zip does not check"
  [ "$(cut -d' ' -f3 "$work/$name/SHA256SUMS.txt" | tr -d '\r' | sort | tr '\n' ' ')" = \
    "LICENSE.txt README.txt zelvane_info.dll " ] || fail "SHA256SUMS.txt of $zip does not list exactly the other files"
  cmake -DOBJDUMP="$objdump" -DDLL="$work/$name/zelvane_info.dll" \
    -DVERSION="$version" -P tests/check_dll_version.cmake >/dev/null ||
    fail "the DLL of $zip does not carry version $version"
}
check_zip "$zip" "$zip_name" "${win_dlls[0]}" i686-w64-mingw32-objdump
check_zip "$zip64" "$zip64_name" "${win_dlls[1]}" x86_64-w64-mingw32-objdump
# Both zips have the same README and licence.
for file in README.txt LICENSE.txt; do
  cmp -s "$work/$zip_name/$file" "$work/$zip64_name/$file" || fail "the zips' $file differ"
done

# The users' README for Windows: the guides' text (scripts/user-readme.sh),
# UTF-8 with a byte-order mark and CRLF line ends, plain text (no Markdown
# left, lines that fit Notepad's window); both languages, each with every
# topic.
readme=$work/$zip_name/README.txt
cmp -s <(tail -c +4 "$readme" | tr -d '\r') <(scripts/user-readme.sh) ||
  fail "README.txt is not the text scripts/user-readme.sh makes of docs/user-guide.ru.md and docs/user-guide.md"
if grep -n '' "$readme" | grep -vE '^[0-9]+:    ' | grep -E '`|\]\(|<!--|^[0-9]+:#+ |\*\*'; then
  fail "README.txt has Markdown left in it (above)"
fi
# (Characters: the bytes that do not continue a UTF-8 sequence.)
long=$(tr -d '\r' <"$readme" | LC_ALL=C awk '{ t = $0; n = length($0) - gsub(/[\200-\277]/, "", t) }
  n > 76 { print "line " NR ": " n " characters" }')
[ -z "$long" ] || fail "README.txt has lines longer than 76 characters: $long"
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
    "Try to run=" "Path=" "Не удается запустить Zelvane!" "$version" "SHA256SUMS.txt" \
    "$zip_name.zip" "$zip64_name.zip" "error 193" "ERROR_BAD_EXE_FORMAT" \
    "%1 is not a valid Win32 application" "$deb_name.deb" "/etc/zelvane-lcd.conf" \
    "systemctl enable --now zelvane-lcd.service"
done
need "$work/readme-ru.txt" "README.txt (ru)" "Установка" "Какой архив нужен" "папку плагинов" "Макросы" \
  "Что значит #skip" "Когда Zelvane закрывают, перезапускают или он зависает" \
  "«Пробовать запустить Zelvane»" "папке «Документы»" "«Да»" "«Нет»" \
  "Сообщая о проблеме, пришлите" "Окно настроек" "Окно «Не удается запустить Zelvane!»" "man zelvane-lcd"
need "$work/readme-en.txt" "README.txt (en)" "Installing" "Which zip you need" "plugins folder" "Macros" \
  'What "#skip" means' "When Zelvane stops, restarts, hangs or is killed" "Documents folder" \
  '"Да" (yes)' '"Нет" (no)' "Reporting a problem" "The settings dialog" "The retry prompt" \
  "Installing and setting up LCDd" "The screens: /etc/zelvane-lcd.conf" "The services" "The journal" \
  "Removing it" "|CPU 45°C"
need "$work/$zip_name/LICENSE.txt" LICENSE.txt "MIT License" \
  "Copyright (c) 2026 the zelvane_info developers"

# The tarball: the same files as `cmake --install`, the binaries as built.
expect_names "$(tar -tzf "$tgz")" \
  "$tgz_name/lib/zelvane_info/zelvane_info.so" "$tgz_name/bin/zelvane-lcd" "$tgz_name/bin/zelvane-monitor" \
  "$tgz_name/include/zelvane_info.h" "$tgz_name/share/doc/zelvane_info/README.txt" \
  "$tgz_name/share/doc/zelvane_info/LICENSE" \
  "$tgz_name/share/doc/zelvane_info/SHA256SUMS"
mkdir "$work/tgz"
tar -xzf "$tgz" -C "$work/tgz"
root=$work/tgz/$tgz_name
for pair in lib/zelvane_info/zelvane_info.so:build/linux/src/zelvane_info.so \
  bin/zelvane-lcd:build/linux/programs/zelvane-lcd bin/zelvane-monitor:build/linux/programs/zelvane-monitor; do
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
"$root/bin/zelvane-lcd" describe "$root/lib/zelvane_info/zelvane_info.so" | grep -qF "zelvane_info $version: " ||
  fail "the tarball's zelvane-lcd does not show version $version from its module"

# The Debian package: its files, the binaries the build's own as Debian
# strips them, the conffile, the dependencies dpkg-shlibdeps found, the
# default configuration valid, and no error from lintian.
deb_files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort)
expected_deb_files=$(sort <<FILES
/etc/zelvane-lcd.conf
/lib/systemd/system/zelvane-lcd.service
/lib/systemd/system/zelvane-monitor.service
/usr/bin/zelvane-lcd
/usr/bin/zelvane-monitor
/usr/include/zelvane_info.h
/usr/lib/sysusers.d/zelvane-info.conf
/usr/lib/zelvane_info/zelvane_info.so
/usr/share/doc/zelvane-info/README.txt
/usr/share/doc/zelvane-info/changelog.gz
/usr/share/doc/zelvane-info/copyright
/usr/share/man/man1/zelvane-lcd.1.gz
/usr/share/man/man1/zelvane-monitor.1.gz
FILES
)
[ "$deb_files" = "$expected_deb_files" ] || fail "the Debian package's files differ from the expected ones:
$(diff <(echo "$expected_deb_files") <(echo "$deb_files") || true)"
[ "$(dpkg-deb -f "$deb" Package Version | tr '\n' ' ')" = "Package: zelvane-info Version: $version " ] ||
  fail "the Debian package's name or version is wrong: $(dpkg-deb -f "$deb" Package Version)"
for library in libsensors5 libfltk1.3 libstdc++6; do
  dpkg-deb -f "$deb" Depends | grep -q "$library" || fail "the Debian package does not depend on $library"
done
[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)" = /etc/zelvane-lcd.conf ] ||
  fail "/etc/zelvane-lcd.conf is not the Debian package's only conffile"
dpkg-deb -x "$deb" "$work/deb"
for pair in usr/lib/zelvane_info/zelvane_info.so:build/linux/src/zelvane_info.so \
  usr/bin/zelvane-lcd:build/linux/programs/zelvane-lcd usr/bin/zelvane-monitor:build/linux/programs/zelvane-monitor; do
  strip --remove-section=.comment --remove-section=.note --strip-unneeded \
    -o "$work/stripped" "${pair#*:}"
  cmp -s "$work/deb/${pair%%:*}" "$work/stripped" || fail "the Debian package's ${pair%%:*} is not ${pair#*:}, stripped"
done
cmp -s "$work/deb/usr/share/doc/zelvane-info/README.txt" "$root/share/doc/zelvane_info/README.txt" ||
  fail "the Debian package's README.txt is not the tarball's"
# The default configuration is one the installed program takes.
zv_locked "$work/deb/usr/bin/zelvane-lcd" once --config "$work/deb/etc/zelvane-lcd.conf" --no-init \
  --plugin "$work/deb/usr/lib/zelvane_info/zelvane_info.so" >"$work/default-screen" ||
  fail "the default configuration does not load: $(cat "$work/default-screen")"
grep -qx '\[screen sensors\]' "$work/default-screen" || fail "the default configuration has no screen \"sensors\""
lintian_status=0
lintian -I --fail-on error "$deb" >"$work/lintian" 2>&1 || lintian_status=$?
echo "lintian -I $deb_name.deb (warnings and notes; no errors allowed):"
grep -v '^running with root privileges' "$work/lintian" | sed 's/^/  /' || echo "  (nothing)"
[ $lintian_status -eq 0 ] || fail "lintian reports errors"

ls -l "$zip" "$zip64" "$tgz" "$deb"
for package in "$zip" "$zip64"; do
  echo "$(basename "$package"): $(stat -c %s "$package") bytes"
  unzip -Z1 "$package" | sed 's/^/  /'
done
echo "tarball: $(stat -c %s "$tgz") bytes"
tar -tzf "$tgz" | grep -v '/$' | sed 's/^/  /'
echo "$deb_name.deb: $(stat -c %s "$deb") bytes"
dpkg-deb -c "$deb" | sed 's/^/  /'
echo "70-release: packages checked"
