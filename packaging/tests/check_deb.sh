#!/bin/sh
# Builds the Debian package from the build tree $2 (scripts/package.sh of the source tree
# $1, without bringing the tree up to date) and checks it: lintian --fail-on error passes
# (its other tags are printed), the Depends hold the shared libraries' packages and the
# Python modules' ones, the files are where the package promises them, the programs find
# their private libraries through the run path $ORIGIN and run from the unpacked tree.
# $4 is the system python3 that imports the unpacked Python package. Exit 77 (skip) when a
# Debian tool or the programs are missing.
set -eu
SOURCE="$1"
BUILD="$2"
VERSION="$3"
PYTHON="${4:-/usr/bin/python3}"

for tool in cpack dpkg-deb dpkg-shlibdeps lintian readelf; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed" >&2; exit 77; }
done
for program in "QV+Analog/QV+Analog" "tools/qvanalog/qvanalog"; do
    [ -x "$BUILD/$program" ] || { echo "SKIP: $BUILD/$program is not built" >&2; exit 77; }
done

OUT="$(mktemp -d "${TMPDIR:-/tmp}/qvplus-deb.XXXXXX")"
trap 'rm -rf "$OUT"' EXIT
fail=0
problem() {
    echo "FAIL: $*" >&2
    fail=1
}

start=$(date +%s)
deb="$(QVX_PACKAGE_NO_BUILD=1 "$SOURCE/scripts/package.sh" "$BUILD" "$OUT")" || exit 1
echo "package: $deb ($(($(date +%s) - start)) s)"
case "$(basename "$deb")" in
    "qvplus-analog_${VERSION}-1_$(dpkg --print-architecture).deb") ;;
    *) problem "package name $(basename "$deb")" ;;
esac

start=$(date +%s)
lintian --fail-on error --tag-display-limit 0 "$deb" || problem "lintian reports errors"
echo "lintian: $(($(date +%s) - start)) s"

depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for package in libc6 libqt6widgets6 libusb-1.0-0 python3 python3-numpy python3-xarray python3-dask; do
    printf '%s\n' "$depends" | tr ',' '\n' | grep -q "^ *$package\( \|$\)" || problem "Depends lacks $package"
done
for script in postinst prerm postrm; do
    dpkg-deb -I "$deb" "$script" >/dev/null 2>&1 || problem "no $script"
done

root="$OUT/root"
dpkg-deb -x "$deb" "$root"
private=usr/lib/qvplus-analog
for f in "$private/QV+Analog" "$private/qvanalog" "$private/libqvusb.so" "$private/libQVxWinGUICommon.so" \
    "$private/libQVxCore.so" "$private/libQVxWinCommon.so" \
    "$private/dload/Tessel.bin" "$private/QVPlus-Analog-Help.html" "$private/QVPlus-Analog-Help-en.html" \
    usr/share/applications/qvplus-analog.desktop usr/share/icons/hicolor/scalable/apps/qvplus-analog.svg \
    usr/share/metainfo/example.orvalendata.QVPlusAnalog.metainfo.xml \
    usr/share/man/man1/qvanalog.1.gz usr/share/man/man1/QV+Analog.1.gz \
    usr/share/bash-completion/completions/qvanalog usr/lib/udev/rules.d/99-qvplus.rules \
    usr/lib/python3/dist-packages/qvanalog/__init__.py \
    "usr/lib/python3/dist-packages/qvanalog-$VERSION.dist-info/entry_points.txt" \
    usr/share/doc/qvplus-analog/copyright usr/share/doc/qvplus-analog/changelog.Debian.gz \
    usr/share/lintian/overrides/qvplus-analog; do
    [ -s "$root/$f" ] || problem "$f missing or empty"
done
for program in QV+Analog qvanalog; do
    [ "$(readlink "$root/usr/bin/$program")" = "../lib/qvplus-analog/$program" ] ||
        problem "usr/bin/$program is no link to ../lib/qvplus-analog/$program"
done
# Nothing on the linker's public search path, nothing from the build tree, no byte code.
unexpected="$(cd "$root" && find . \( -path './usr/lib/*.so*' -a ! -path "./$private/*" \) -o -name __pycache__ \
    -o -path './usr/local*' -o -path './usr/lib/python3.*')"
[ -z "$unexpected" ] || problem "unexpected files: $unexpected"
for f in "$private/QV+Analog" "$private/qvanalog" "$private/libQVxWinGUICommon.so" "$private/libQVxCore.so" \
    "$private/libQVxWinCommon.so"; do
    runpath="$(readelf -d "$root/$f" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')"
    [ "$runpath" = '$ORIGIN' ] || problem "$f has the run path '$runpath', not \$ORIGIN"
done
[ "$(zcat "$root/usr/share/doc/qvplus-analog/changelog.Debian.gz" | head -n 1 | sed 's/.*(\(.*\)).*/\1/')" = \
    "$VERSION-1" ] || problem "changelog.Debian's newest entry is not $VERSION-1"

# The unpacked programs run through their links and find their libraries and bit-stream.
[ "$("$root/usr/bin/qvanalog" --version)" = "qvanalog $VERSION" ] || problem "usr/bin/qvanalog --version"
[ "$("$root/usr/bin/QV+Analog" --version)" = "QV+Analog $VERSION" ] || problem "usr/bin/QV+Analog --version"
devices="$(QVPLUS_SIMULATED_UNITS=AN0001 "$root/usr/bin/qvanalog" devices --json)" || problem "qvanalog devices"
printf '%s\n' "$devices" | grep -q '"AN0001"' || problem "qvanalog devices lists no simulated unit: $devices"
PYTHONPATH="$root/usr/lib/python3/dist-packages" PYTHONDONTWRITEBYTECODE=1 "$PYTHON" -c 'import qvanalog' || problem "import qvanalog"

[ "$fail" -eq 0 ] && echo "package $(basename "$deb"): lintian without errors, contents as expected"
exit "$fail"
