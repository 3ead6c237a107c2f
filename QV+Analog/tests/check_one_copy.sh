#!/bin/sh
# Each singleton of the core libraries is defined in one binary of the program: the
# shared library that owns it, and neither in the GUI library nor in the programs
# that link both (a static copy there would give the program a second dispatcher,
# language or notification service).
# usage: check_one_copy.sh CORE_SO WINCOMMON_SO BINARY...   (BINARY: must not define them)
set -u
core="$1"
wincommon="$2"
shift 2
fail=0
problem() {
    echo "FAIL: $*"
    fail=1
}

# defines BINARY SYMBOL: BINARY's symbol table (local symbols too) defines SYMBOL.
defines() {
    nm -C --defined-only "$1" 2>/dev/null | grep -q -F " $2"
}

check() {
    owner="$1"
    symbol="$2"
    defines "$owner" "$symbol" || problem "$(basename "$owner") does not define $symbol"
    for binary in "$@"; do
        [ "$binary" = "$owner" ] || [ "$binary" = "$symbol" ] && continue
        defines "$binary" "$symbol" && problem "$(basename "$binary") has its own copy of $symbol"
    done
}

command -v nm >/dev/null 2>&1 || exit 77
for symbol in "qvx::Dispatcher::s_mainInstance" "qvx::Interaction::m_impl" "qvx::Logger::Init(" \
    "qvx::ReportOverviewStore::SetCacheRoot("; do
    check "$core" "$symbol" "$wincommon" "$@"
done
for symbol in "QVxSetLanguage(QVxLanguage)" "QVxNotification::Set(IQVxNotification*)" "QVxLoadGuiString(int)"; do
    check "$wincommon" "$symbol" "$core" "$@"
done
[ "$fail" -eq 0 ] && echo "one copy of each singleton: $(basename "$core"), $(basename "$wincommon")"
exit "$fail"
