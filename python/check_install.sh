#!/bin/sh
# Installs the Python package of build tree $1 (component "python") into a temporary prefix
# and checks, with the system Python $2, that the package imports from the install folder
# $3 and that its metadata registers the xarray backend "qvanalog". A relative folder must
# also be one that the system Python searches below the prefixes /usr/local or /usr.
set -eu
BUILD="$1"
PYTHON="$2"
DIR="$3"
PREFIX="$(mktemp -d "${TMPDIR:-/tmp}/qvanalog-python-install.XXXXXX")"
trap 'rm -rf "$PREFIX"' EXIT

cmake --install "$BUILD" --prefix "$PREFIX" --component python >/dev/null
case "$DIR" in
/*) SITE="$PREFIX$DIR" ;;
*) SITE="$PREFIX/$DIR" ;;
esac
fail=0
for f in qvanalog/__init__.py qvanalog/xarray_backend.py; do
    [ -s "$SITE/$f" ] || { echo "FAIL: $SITE/$f missing" >&2; fail=1; }
done
ls "$SITE"/qvanalog-*.dist-info/entry_points.txt >/dev/null 2>&1 || { echo "FAIL: no dist-info with entry_points.txt in $SITE" >&2; fail=1; }
if ls -d "$SITE"/qvanalog/__pycache__ >/dev/null 2>&1; then echo "FAIL: __pycache__ installed" >&2; fail=1; fi

# -s: no user site; the installed copy only (not the source tree), from a neutral folder.
(cd "$PREFIX" && env -u PYTHONPATH PYTHONPATH="$SITE" PYTHONDONTWRITEBYTECODE=1 "$PYTHON" -s -c '
import importlib.metadata as m, sys
import qvanalog
assert qvanalog.__file__.startswith(sys.argv[1]), qvanalog.__file__
eps = [e for e in m.entry_points(group="xarray.backends") if e.name == "qvanalog"]
assert eps and eps[0].load().__name__ == "QvanalogBackendEntrypoint", eps
assert m.version("qvanalog") == qvanalog.__version__
import xarray.backends.plugins as p
assert "qvanalog" in p.list_engines()
' "$SITE") || { echo "FAIL: the installed package does not import or register its backend" >&2; fail=1; }

case "$DIR" in
/*) ;;
*)
    "$PYTHON" -c 'import sys; d = sys.argv[1]; sys.exit(0 if any(p in sys.path for p in ("/usr/local/" + d, "/usr/" + d)) else 1)' "$DIR" ||
        { echo "FAIL: $DIR is on the system python path neither below /usr/local nor below /usr" >&2; fail=1; }
    ;;
esac
[ "$fail" -eq 0 ] && echo "python package installed into $SITE: imports, xarray backend registered"
