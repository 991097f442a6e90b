#!/usr/bin/env bash
# Writes the users' README.txt of the zips and the Linux packages to
# standard output: the user's guide as plain text, Russian first
# (docs/user-guide.ru.md), then English (docs/user-guide.md), in UTF-8 with
# LF line ends (the build adds the zips' byte-order mark and CRLF).
# Usage: scripts/user-readme.sh [GUIDE_RU GUIDE_EN]
#
# It takes the Markdown those guides use: headings (#, ##, ###),
# paragraphs, lists (- and 1.), indented and fenced code blocks, tables
# (each row a term, its other cells indented below it; the header row is
# left out), images (left out: the text cannot show them), and the inline
# `code` (not broken across lines), **bold** and [links](...) (their text
# is kept). Lines from "<!-- markdown only -->" to "<!-- end -->" are left
# out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
ru=${1:-$root/docs/user-guide.ru.md}
en=${2:-$root/docs/user-guide.md}
for guide in "$ru" "$en"; do
  [ -r "$guide" ] || { echo "user-readme.sh: cannot read $guide" >&2; exit 1; }
done

# Byte-wise in every locale; ulen() counts the characters of UTF-8 text.
export LC_ALL=C
to_text() {
  awk -v language="$1" '
    function ulen(s,   t) { t = s; return length(s) - gsub(continuation, "", t) }
    function rule(c, n,   s) { s = ""; while (n-- > 0) s = s c; return s }
    function inline(s,   link, text, code) {
      # A code span keeps its spaces (\001 until out()).
      while (match(s, /`[^`]*`/)) {
        code = substr(s, RSTART + 1, RLENGTH - 2)
        gsub(/ /, "\001", code)
        s = substr(s, 1, RSTART - 1) code substr(s, RSTART + RLENGTH)
      }
      while (match(s, /\[[^]]*\]\([^)]*\)/)) {
        link = substr(s, RSTART, RLENGTH)
        text = substr(link, 2, index(link, "](") - 2)
        s = substr(s, 1, RSTART - 1) text substr(s, RSTART + RLENGTH)
      }
      gsub(/\*\*/, "", s)
      return s
    }
    # out(LINE): one output line, after the blank line a block boundary asked for.
    function out(line) {
      if (blank && printed) print ""
      blank = 0
      sub(/ +$/, "", line)
      gsub(/\001/, " ", line)
      print line
      printed = 1
    }
    # wrap(TEXT, FIRST, REST): TEXT in lines of at most 76 characters, the
    # first starting with FIRST, the others with REST.
    function wrap(text, first, rest,   n, words, i, line, lead) {
      n = split(text, words, / +/)
      line = first
      lead = 1
      for (i = 1; i <= n; i++) {
        if (words[i] == "") continue
        if (!lead && ulen(line) + 1 + ulen(words[i]) > 76) {
          out(line)
          line = rest
          lead = 1
        }
        line = line (lead ? "" : " ") words[i]
        lead = 0
      }
      if (!lead) out(line)
    }
    function flush() {
      if (text != "") wrap(inline(text), first, rest)
      text = ""
    }
    function heading(level, title) {
      flush()
      blank = 1
      if (level == 1) {
        out(rule("=", 74))
        out(language ": " title)
        out(rule("=", 74))
      } else {
        out(title)
        out(rule(level == 2 ? "=" : "-", ulen(title)))
      }
      blank = 1
    }
    BEGIN { continuation = "[" sprintf("%c", 128) "-" sprintf("%c", 191) "]" }
    { sub(/\r$/, "") }
    /^<!-- markdown only -->$/ { flush(); skipping = 1; next }
    skipping { if ($0 ~ /^<!-- end -->$/) { skipping = 0; blank = 1 } next }
    fenced {
      if ($0 ~ /^ *```/) { fenced = 0; blank = 1 } else out("    " $0)
      next
    }
    /^ *```/ { flush(); fenced = 1; next }
    /^[ \t]*$/ {
      flush()
      if (code) code_blanks++
      else blank = 1
      table = 0
      previous_blank = 1
      next
    }
    # An indented code block: four spaces after a blank line, and on to the
    # next line that is not indented (blank lines inside it are kept).
    /^    / && (previous_blank || code) && !(code == 0 && text != "") {
      if (code && code_blanks) { while (code_blanks-- > 0) print ""; code_blanks = 0 }
      else if (!code) blank = 1
      code = 1
      previous_blank = 0
      out($0)
      next
    }
    {
      if (code) { code = 0; code_blanks = 0; blank = 1 }
      was_blank = previous_blank
      previous_blank = 0
    }
    /^#+ / {
      match($0, /^#+/)
      heading(RLENGTH, inline(substr($0, RLENGTH + 2)))
      next
    }
    /^!\[/ { flush(); blank = 1; next }
    /^\|/ {
      flush()
      if (!table) { table = 1; blank = 1; next }   # the header row
      if ($0 ~ /^\|[-|: ]+\|$/) next
      n = split(substr($0, 3, length($0) - 4), cells, / \| /)
      wrap(inline(cells[1]), "  ", "  ")
      cell = inline(cells[2])
      for (i = 3; i <= n; i++) cell = cell "; " inline(cells[i])
      wrap(cell, "      ", "      ")
      next
    }
    /^ *([-*]|[0-9]+\.) / {
      flush()
      if (was_blank) blank = 1
      match($0, /^ *([-*]|[0-9]+\.) /)
      first = substr($0, 1, RLENGTH)
      rest = rule(" ", RLENGTH)
      text = substr($0, RLENGTH + 1)
      in_item = 1
      next
    }
    {
      line = $0
      sub(/^ +/, "", line)
      if (text == "") {
        if (was_blank) { blank = 1; in_item = 0 }
        if (!in_item) { first = ""; rest = "" }
        text = line
      } else text = text " " line
    }
    END { flush() }
  ' "$2"
}

echo 'По-русски: ниже. In English: see the second half of this file ("ENGLISH").'
echo
to_text 'ПО-РУССКИ' "$ru"
echo
to_text ENGLISH "$en"
