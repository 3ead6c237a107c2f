#!/bin/sh
# The man pages in $1 (qvanalog.1, QV+Analog.1) render without a warning, and name every
# command and every option that the programs $2 (qvanalog) and $3 (QV+Analog) print with
# --help, and the version that --version prints. Exit 77 (skip) without man.
set -eu
MANDIR="$1"
QVANALOG="$2"
APP="$3"

command -v man >/dev/null 2>&1 || { echo "SKIP: man is not installed" >&2; exit 77; }

fail=0
problem() {
    echo "FAIL: $*" >&2
    fail=1
}

# The page's source as plain text: "\-" is a hyphen, font escapes are dropped.
plain() {
    sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\~/ /g' "$1"
}

# Every "--option" word of a --help text.
options_of() {
    grep -oE -- '--[a-z][a-z0-9-]*' | sort -u
}

# contains TEXT WORD: WORD stands in TEXT with no letter, digit or hyphen on either side.
contains() {
    printf '%s\n' "$1" | grep -qE -- "(^|[^A-Za-z0-9-])$2([^A-Za-z0-9-]|\$)"
}

check_page() { # page program
    page="$MANDIR/$1"
    warnings="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)" || problem "man -l $1 failed"
    [ -z "$warnings" ] || problem "man --warnings -l $1: $warnings"
    text="$(plain "$page")"
    help="$("$2" --help)" || problem "$2 --help failed"
    for option in $(printf '%s\n' "$help" | options_of); do
        contains "$text" "$option" || problem "$1 does not name $option, which --help prints"
    done
    version="$("$2" --version | awk '{ print $NF }')"
    head -n 20 "$page" | grep -q "^\.TH .*\"QV+Analog $version\"" ||
        problem "$1: the .TH line does not carry the version $version of --version"
}

check_page qvanalog.1 "$QVANALOG"
check_page QV+Analog.1 "$APP"

# Each command of "qvanalog --help" ("  qvanalog info REPO..." -> "info", "settings init")
# appears as "qvanalog COMMAND" in qvanalog(1).
text="$(plain "$MANDIR/qvanalog.1")"
commands="$("$QVANALOG" --help | awk '/^  qvanalog / {
    name = ""
    for (i = 2; i <= NF && $i ~ /^[a-z][a-z-]*$/; i++) name = name (name == "" ? "" : " ") $i
    print name }' | sort -u)"
[ -n "$commands" ] || problem "qvanalog --help lists no command"
printf '%s\n' "$commands" | while IFS= read -r name; do
    contains "$text" "qvanalog $name" || { echo "FAIL: qvanalog.1 does not describe 'qvanalog $name'" >&2; exit 1; }
done || fail=1

[ "$fail" -eq 0 ] && echo "man pages: clean, every command and option of --help described"
exit "$fail"
