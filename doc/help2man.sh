#!/usr/bin/env bash
# Makes a man page from a program's --help, so that the page and the help never say
# different things: the first line is the description, "Usage:" the synopsis, and each
# "Title:" line a section (options, positionals, subcommands, files, examples, exit
# status) whose "  term   text" entries become tagged paragraphs.
#
#   doc/help2man.sh PROGRAM NAME SUMMARY DATE > NAME.1
set -euo pipefail
program=$1 name=$2 summary=$3 date=$4
version=$("$program" --version)
"$program" --help | LC_ALL=C awk -v name="$name" -v summary="$summary" -v date="$date" -v version="$version" '
function esc(s) {
    gsub(/\\/, "\\e", s)
    gsub(/-/, "\\-", s)
    sub(/^[.'\'']/, "\\\\\\&&", s)
    return s
}
function flush() {
    if (term != "") { print ".TP"; print ".B " esc(term); print esc(text) }
    term = ""; text = ""
}
BEGIN {
    printf ".TH %s 1 \"%s\" \"%s\" \"User Commands\"\n", toupper(name), date, version
    print ".SH NAME"
    print esc(name) " \\- " esc(summary)
}
NR == 1 { description = $0; next }
/^Usage: / { sub(/^Usage: /, ""); print ".SH SYNOPSIS"; print ".B " esc($0); print ".SH DESCRIPTION"; print esc(description); next }
/^[A-Z][A-Za-z ]*:$/ {
    flush(); if (literal) { print ".fi"; literal = 0 }
    section = substr($0, 1, length($0) - 1)
    print ".SH " toupper(section)
    if (section == "Examples") { print ".nf"; literal = 1 }
    next
}
/^$/ { flush(); next }
literal { sub(/^  /, ""); print esc($0); next }
/^    / { t = $0; sub(/^ +/, "", t); text = (text == "" ? t : text " " t); next }
/^  [^ ]/ {
    flush()
    line = substr($0, 3)
    if (match(line, /  +/)) { term = substr(line, 1, RSTART - 1); text = substr(line, RSTART + RLENGTH) }
    else { term = line; text = "" }
    next
}
{ flush(); print esc($0) }
END { flush(); if (literal) print ".fi" }
'
