#!/bin/sh
# Installs the build tree $1 into a temporary prefix and checks that every file is
# in place and that the installed programs and libraries find all shared libraries
# (ldd prints no "not found"). $2 is the programs' private folder below the prefix, which
# holds the programs, their two libraries and their data; bin/ links to the programs.
set -eu
BUILD="$1"
LIBDIR="${2:-lib/qvplus-analog}"
PREFIX="$(mktemp -d "${TMPDIR:-/tmp}/qvplus-install.XXXXXX")"
trap 'rm -rf "$PREFIX"' EXIT

fail=0
problem() {
    echo "FAIL: $*" >&2
    fail=1
}

for program in "QV+Analog/QV+Analog" "tools/qvanalog/qvanalog"; do
    if [ ! -x "$BUILD/$program" ]; then
        echo "SKIP: $BUILD/$program is not built" >&2
        exit 77
    fi
done
cmake --install "$BUILD" --prefix "$PREFIX" >"$PREFIX.log" 2>&1 || {
    cat "$PREFIX.log" >&2
    rm -f "$PREFIX.log"
    echo "FAIL: cmake --install" >&2
    exit 1
}
rm -f "$PREFIX.log"

for f in \
    "bin/QV+Analog" \
    "bin/qvanalog" \
    "$LIBDIR/QV+Analog" \
    "$LIBDIR/qvanalog" \
    "$LIBDIR/QVPlus-Analog-Help.html" \
    "$LIBDIR/QVPlus-Analog-Help-en.html" \
    "$LIBDIR/dload/Tessel.bin" \
    "$LIBDIR/libqvusb.so" \
    "$LIBDIR/libQVxCore.so" \
    "$LIBDIR/libQVxWinCommon.so" \
    "$LIBDIR/libQVxWinGUICommon.so" \
    "share/applications/qvplus-analog.desktop" \
    "share/icons/hicolor/scalable/apps/qvplus-analog.svg" \
    "lib/udev/rules.d/99-qvplus.rules" \
    "share/man/man1/qvanalog.1.gz" \
    "share/man/man1/QV+Analog.1.gz" \
    "share/bash-completion/completions/qvanalog" \
    "share/metainfo/example.orvalendata.QVPlusAnalog.metainfo.xml"; do
    [ -s "$PREFIX/$f" ] || problem "$f missing or empty"
done
for f in "bin/QV+Analog" "bin/qvanalog"; do
    [ -x "$PREFIX/$f" ] || problem "$f not executable"
    [ "$(readlink "$PREFIX/$f")" = "../$LIBDIR/${f#bin/}" ] || problem "$f is no link to ../$LIBDIR/${f#bin/}"
done
# The libraries are private: none on the linker's public search path of the prefix.
public="$(find "$PREFIX/lib" -maxdepth 1 -name '*.so*')"
[ -z "$public" ] || problem "libraries outside $LIBDIR: $public"
# The program runs through its link: the run path and the bit-stream are found from the
# resolved link.
[ "$("$PREFIX/bin/qvanalog" --version 2>&1)" = "$("$BUILD/tools/qvanalog/qvanalog" --version)" ] ||
    problem "bin/qvanalog --version: $("$PREFIX/bin/qvanalog" --version 2>&1)"

# The installed files must not lean on the build tree: each binary must resolve
# the project's libraries from the prefix.
for f in "$LIBDIR/QV+Analog" "$LIBDIR/qvanalog" "$LIBDIR/libQVxWinGUICommon.so" "$LIBDIR/libqvusb.so" \
    "$LIBDIR/libQVxCore.so" "$LIBDIR/libQVxWinCommon.so"; do
    [ -e "$PREFIX/$f" ] || continue
    out="$(ldd "$PREFIX/$f" 2>&1)" || problem "ldd $f failed: $out"
    if echo "$out" | grep -q "not found"; then
        problem "$f: $(echo "$out" | grep 'not found' | tr '\n' ' ')"
    fi
    if echo "$out" | grep -E 'libqvusb|libQVx' | grep -q -F "$BUILD"; then
        problem "$f loads a library from the build tree"
    fi
done
for lib in libQVxWinGUICommon.so libQVxWinCommon.so libQVxCore.so libqvusb.so; do
    loaded="$(ldd "$PREFIX/$LIBDIR/QV+Analog" | awk -v lib="$lib" '$1 == lib { print $3 }')"
    [ -n "$loaded" ] && [ "$(readlink -f "$loaded")" = "$(readlink -f "$PREFIX/$LIBDIR/$lib")" ] ||
        problem "QV+Analog loads $lib from '$loaded', not from the prefix"
done

desktop="$PREFIX/share/applications/qvplus-analog.desktop"
if [ -f "$desktop" ]; then
    for key in "Name=QV+Analog" "Exec=QV+Analog" "Icon=qvplus-analog" "Categories=Science;Engineering;"; do
        grep -q -x -F "$key" "$desktop" || problem "desktop entry lacks $key"
    done
    grep -q '^Name\[ja\]=' "$desktop" || problem "desktop entry has no Japanese name"
    if command -v desktop-file-validate >/dev/null 2>&1; then
        desktop-file-validate "$desktop" || problem "desktop-file-validate"
    fi
fi
if command -v xmllint >/dev/null 2>&1; then
    xmllint --noout "$PREFIX/share/icons/hicolor/scalable/apps/qvplus-analog.svg" || problem "icon is no valid XML"
fi

[ "$fail" -eq 0 ] && echo "install into $PREFIX: all files in place, all libraries found"
exit "$fail"
