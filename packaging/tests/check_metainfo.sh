#!/bin/sh
# The desktop entry $2 passes desktop-file-validate and the AppStream metadata $1 passes
# appstreamcli validate --no-net; the metadata agrees with the desktop entry (categories,
# launchable), the udev rule $3 (the modalias' vendor id) and the project's version $4, and
# carries its texts in English and Japanese. Exit 77 (skip) when a validator is missing.
set -eu
METAINFO="$1"
DESKTOP="$2"
RULES="$3"
VERSION="$4"

for tool in desktop-file-validate appstreamcli python3; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed" >&2; exit 77; }
done

fail=0
desktop-file-validate "$DESKTOP" || { echo "FAIL: desktop-file-validate $DESKTOP" >&2; fail=1; }
appstreamcli validate --no-net "$METAINFO" || { echo "FAIL: appstreamcli validate $METAINFO" >&2; fail=1; }

python3 - "$METAINFO" "$DESKTOP" "$RULES" "$VERSION" <<'PYTHON' || fail=1
import configparser
import os
import re
import sys
import xml.etree.ElementTree as ET

metainfo, desktop, rules, version = sys.argv[1:]
problems = []
LANG = "{http://www.w3.org/XML/1998/namespace}lang"
root = ET.parse(metainfo).getroot()

entry = configparser.ConfigParser(interpolation=None)
entry.optionxform = str
entry.read(desktop, encoding="utf-8")
categories = [c for c in entry["Desktop Entry"]["Categories"].split(";") if c]
listed = [c.text for c in root.iter("category")]
if sorted(listed) != sorted(categories):
    problems.append(f"categories {listed} differ from the desktop entry's {categories}")
launchable = root.findtext("launchable[@type='desktop-id']")
if launchable != os.path.basename(desktop):
    problems.append(f"launchable {launchable} is not {os.path.basename(desktop)}")
if os.path.basename(metainfo) != root.findtext("id") + ".metainfo.xml":
    problems.append("the file is not named after its id")

for tag in ("summary", "description/p"):
    langs = {e.get(LANG) for e in root.findall(tag)}
    if langs != {None, "ja"}:
        problems.append(f"<{tag}> is not there in English and Japanese (languages: {langs})")
if root.find("screenshots/screenshot/image") is None:
    problems.append("no screenshot")
if root.find("content_rating") is None:
    problems.append("no content rating")

releases = root.findall("releases/release")
if not releases or releases[0].get("version") != version:
    problems.append(f"the newest release is not {version}")
elif not re.fullmatch(r"\d{4}-\d{2}-\d{2}", releases[0].get("date", "")):
    problems.append("the newest release has no date")

binaries = sorted(b.text for b in root.iter("binary"))
if binaries != ["QV+Analog", "qvanalog"]:
    problems.append(f"provides binaries {binaries}")
vendors = re.findall(r'ATTR\{idVendor\}=="([0-9a-fA-F]{4})"', open(rules, encoding="utf-8").read())
modaliases = [m.text for m in root.iter("modalias")]
expected = [f"usb:v{v.upper()}p*" for v in vendors]
if not vendors or sorted(modaliases) != sorted(expected):
    problems.append(f"modalias {modaliases} does not match the udev rule's vendors {expected}")

for p in problems:
    print("FAIL:", p, file=sys.stderr)
sys.exit(1 if problems else 0)
PYTHON

[ "$fail" -eq 0 ] && echo "desktop entry and AppStream metadata valid and consistent"
exit "$fail"
