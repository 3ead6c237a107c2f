#!/usr/bin/env bash
# The bash completion $1 for qvanalog: it loads (bash -n), "qvanalog ex<TAB>" completes to
# "export", every command of "qvanalog $2 --help" is offered with exactly the options that
# --help prints for it, and option values, session files (*.qvxa) and report folders are
# completed. Exit 77 (skip) when bash's programmable completion is not there.
set -u
SCRIPT="$1"
QVANALOG="$2"

type compgen >/dev/null 2>&1 || { echo "SKIP: this bash has no programmable completion" >&2; exit 77; }
bash -n "$SCRIPT" || { echo "FAIL: bash -n $SCRIPT" >&2; exit 1; }
# shellcheck source=/dev/null
source "$SCRIPT"

fail=0
problem() {
    echo "FAIL: $*" >&2
    fail=1
}
[[ "$(complete -p qvanalog 2>/dev/null)" == "complete -F _qvanalog qvanalog" ]] ||
    problem "the script does not register _qvanalog for qvanalog"

# complete WORD...: what TAB offers for the line "qvanalog WORD..." with the cursor at the
# end of its last word, sorted, one per line.
complete_line() {
    COMP_WORDS=(qvanalog "$@")
    COMP_CWORD=$#
    COMP_LINE="qvanalog $*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _qvanalog 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort
}

# expect DESCRIPTION EXPECTED WORD...: the offered words are EXPECTED (space-separated).
expect() {
    local description="$1" expected
    expected="$(printf '%s\n' $2 | sed '/^$/d' | sort)"
    shift 2
    local got
    got="$(complete_line "$@")"
    [[ "$got" == "$expected" ]] || problem "$description: 'qvanalog $*<TAB>' offers [$(echo $got)], not [$(echo $expected)]"
}

# What TAB inserts: the longest common prefix of the offered words.
common_prefix() {
    local prefix="" word
    local first=1
    while IFS= read -r word; do
        if ((first)); then prefix="$word" first=0; continue; fi
        while [[ "${word#"$prefix"}" == "$word" ]]; do prefix="${prefix%?}"; done
    done
    printf '%s' "$prefix"
}

inserted="$(complete_line ex | common_prefix)"
[[ "$inserted" == export ]] || problem "'qvanalog ex<TAB>' completes to '$inserted', not 'export'"

# The commands and their options as "qvanalog --help" prints them: a line "  qvanalog NAME
# ..." (NAME: the leading lowercase words) and its indented continuation lines.
help="$("$QVANALOG" --help)" || problem "$QVANALOG --help failed"
declare -A options=()
name=""
while IFS= read -r line; do
    if [[ "$line" =~ ^\ \ qvanalog\ (.*)$ ]]; then
        name=""
        for word in ${BASH_REMATCH[1]}; do
            [[ "$word" =~ ^[a-z][a-z-]*$ ]] || break
            name+="${name:+ }$word"
        done
        options[$name]=""
    elif [[ -n "$name" && "$line" =~ ^\ {3,} ]]; then
        :
    else
        name=""
        continue
    fi
    options[$name]+=" $(printf '%s\n' "${line%%#*}" | grep -oE -- '--[a-z][a-z0-9-]*' | tr '\n' ' ')"
done <<<"$help"
((${#options[@]} > 10)) || problem "--help lists only ${#options[@]} commands"

firsts="$(printf '%s\n' "${!options[@]}" | awk '{ print $1 }' | sort -u)"
expect "the commands" "$firsts" ''
for group in settings family; do
    expect "the $group commands" "$(printf '%s\n' "${!options[@]}" | awk -v g=$group '$1 == g { print $2 }')" $group ''
done
for name in "${!options[@]}"; do
    expect "the options of '$name'" "$(printf '%s\n' ${options[$name]} | sort -u)" $name --
done

# Options already given are not offered again (each is taken once); --lang anywhere.
expect "options after --json" "--index" read rec --json --
expect "--lang before the command" "info" --lang en inf
expect "option values" "csv hdf5" export a.qvxa --format ''
expect "option values" "rising falling high low" search a.qvxa --slope ''
expect "option values" "100K 1M 10M" record --rate ''
expect "family trace" "start stop" family trace ''

# Files: session files and folders for the report commands, any file for --out of export.
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/rec" "$tmp/rec/repo"
touch "$tmp/a.qvxa" "$tmp/b.csv" "$tmp/rec/s.qvxa"
cd "$tmp" || exit 1
expect "report folders and sessions" "a.qvxa rec" info ''
expect "inside a folder" "rec/repo rec/s.qvxa" measure rec/
expect "the second session of save-as" "a.qvxa rec" save-as a.qvxa ''
expect "no third argument of save-as" "" save-as a.qvxa b.qvxa ''
expect "--out of export" "a.qvxa b.csv rec" export a.qvxa --out ''
expect "--out of record" "a.qvxa rec" record --out ''
expect "no file after the value of --index" "" read a.qvxa --index 3 ''

[[ "$fail" -eq 0 ]] && echo "bash completion: commands, options per command, values and files as expected"
exit "$fail"
