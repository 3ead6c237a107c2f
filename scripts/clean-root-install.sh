#!/usr/bin/env bash
# Installs the Debian package into a clean Debian 12 root and removes it again (needs root,
# the network and a few minutes; not part of CI):
#   1. debootstrap makes a minimal bookworm root in a temporary folder;
#   2. apt-get install ./qvplus-analog_*.deb (with its dependencies from the archive);
#   3. qvanalog --version, one second of the simulated unit recorded, the recording opened
#      with python3 -c 'import qvanalog; qvanalog.open(...)';
#   4. apt-get remove --purge, then autoremove --purge of the dependencies it brought;
#   5. lists every file that differs from the root before the install (nothing is expected
#      outside apt's own state and logs) and the package's files that are still there.
#
#   scripts/clean-root-install.sh [PACKAGE.deb]     # default: the newest build-package/*.deb
#   MIRROR=http://deb.debian.org/debian KEEP_ROOT=1 scripts/clean-root-install.sh
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
MIRROR="${MIRROR:-http://deb.debian.org/debian}"
[[ $(id -u) -eq 0 ]] || { echo "clean-root-install.sh: run it as root (debootstrap, chroot, mount)" >&2; exit 1; }
deb="${1:-$(ls -t "$ROOT"/build-package/qvplus-analog_*.deb 2>/dev/null | head -n 1)}"
[[ -f "$deb" ]] || { echo "clean-root-install.sh: no package; build it with scripts/package.sh" >&2; exit 1; }
command -v debootstrap >/dev/null 2>&1 || SETUP_CLEAN_ROOT=1 SETUP_ONLY_PACKAGES=1 "$ROOT/scripts/setup.sh"

target="$(mktemp -d /var/tmp/qvplus-clean-root.XXXXXX)"
cleanup() {
    umount "$target/dev/pts" 2>/dev/null || true
    umount "$target/proc" 2>/dev/null || true
    if [[ "${KEEP_ROOT:-0}" == 1 ]]; then echo "root kept in $target"; else rm -rf "$target"; fi
}
trap cleanup EXIT
step() { printf '\n=== %s\n' "$*"; }
in_root() { chroot "$target" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"; }
# Every file of the root with its type (and a regular file's size; a folder's size only
# tells how many entries it once held), apart from the folders of the running
# check (proc, tmp, the tester's home) and apt's and dpkg's own state, caches and logs.
snapshot() {
    (cd "$target" && find . -xdev \( -path ./proc -o -path ./tmp -o -path ./home -o -path ./var/cache \
        -o -path ./var/lib/apt -o -path ./var/lib/dpkg -o -path ./var/log \) -prune \
        -o -type f -printf 'f %s %p\n' -o -printf '%y - %p\n' |
        sort -k3)
}

step "debootstrap bookworm ($MIRROR)"
start=$(date +%s)
debootstrap --variant=minbase bookworm "$target" "$MIRROR" >"$target.debootstrap.log" 2>&1 || {
    tail -n 30 "$target.debootstrap.log"
    exit 1
}
rm -f "$target.debootstrap.log"
echo "done in $(($(date +%s) - start)) s: $(du -sh "$target" | cut -f1)"
mount -t proc proc "$target/proc"
# apt logs the maintainer scripts' output through a pseudo-terminal.
mkdir -p "$target/dev/pts"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$target/dev/pts" 2>/dev/null || true
in_root apt-get update -qq
snapshot >"$target/tmp/before.txt"

step "apt-get install ./$(basename "$deb")"
cp "$deb" "$target/tmp/"
start=$(date +%s)
in_root apt-get install -y -q --no-install-recommends "./tmp/$(basename "$deb")" >"$target/tmp/install.log" 2>&1 || {
    cat "$target/tmp/install.log"
    exit 1
}
grep -E '^Setting up qvplus-analog' "$target/tmp/install.log" || true
echo "$(grep -c '^Setting up' "$target/tmp/install.log") packages set up in $(($(date +%s) - start)) s"
in_root dpkg -L qvplus-analog | sort >"$target/tmp/package-files.txt"
echo "files of qvplus-analog: $(wc -l <"$target/tmp/package-files.txt")"

step "qvanalog --version"
in_root qvanalog --version
in_root QV+Analog --version
step "one second of the simulated unit"
mkdir -p "$target/home/tester"
in_root env HOME=/home/tester qvanalog record --out /home/tester/rec/one.qvxa --rate 1M --duration 1 --simulate
step "python3 -c 'import qvanalog' (as root, so byte code lands beside the package)"
in_root python3 -c 'import qvanalog
ds = qvanalog.open("/home/tester/rec/one.qvxa")
print(qvanalog.__file__)
print(ds.sizes["record"], "records,", float(ds.ch1[:1000].mean()), ds.ch1.attrs["units"])'
step "man, completion and desktop files in place"
in_root sh -c 'ls -l /usr/bin/qvanalog /usr/bin/QV+Analog /usr/share/man/man1/qvanalog.1.gz \
    /usr/share/bash-completion/completions/qvanalog /usr/lib/udev/rules.d/99-qvplus.rules'

step "apt-get remove --purge qvplus-analog"
in_root apt-get remove --purge -y -q qvplus-analog | { grep -E '^(Removing|Purging)' || true; }
step "apt-get autoremove --purge (the dependencies the package brought)"
in_root apt-get autoremove --purge -y -q | { grep -c '^Removing' || true; } | sed 's/$/ packages removed/'

step "what is left"
snapshot >"$target/tmp/after.txt"
left="$(diff "$target/tmp/before.txt" "$target/tmp/after.txt" || true)"
if [[ -n "$left" ]]; then echo "differences to the root before the install:"; echo "$left"; else echo "no file differs from the root before the install"; fi
remaining=()
while IFS= read -r f; do
    [[ "$f" == "/." || -z "$f" ]] && continue
    [[ -e "$target$f" && ! -d "$target$f" ]] && remaining+=("$f")
done <"$target/tmp/package-files.txt"
if ((${#remaining[@]})); then echo "files of the package still there: ${remaining[*]}"; else echo "none of the package's files is left"; fi
echo "the tester's own files (the recording, its preferences): $(cd "$target/home/tester" && find . -type f | wc -l)"
[[ -z "$left" && ${#remaining[@]} -eq 0 ]]
