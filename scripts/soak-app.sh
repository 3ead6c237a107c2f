#!/usr/bin/env bash
# A long run of the window (not part of CI): QV+Analog --simulate under Xvfb records at 10M with
# rotation on (60 s), a repeat-mode display trigger and the live view at 50 ms/div; every 10 s
# the program's soak probe zooms a step, moves M1 and M2 and scrolls the data list. Once a second
# the script samples the process (RSS, CPU per thread, open file descriptors), the report
# folder (data files, free disk space) and the probe (event-loop latency, the unit's buffer
# use). At the end it stops the trace, ends the program with SIGTERM (the unsaved recording is
# kept for recovery), saves that recording as a session with `qvanalog recover ID --out`,
# checks every stored record with the tree's checker and prints first / median / worst / last
# of each figure and the goals.
#
#   scripts/soak-app.sh [MINUTES]        # default 60
#
# Environment:
#   SOAK_SIGNAL=counter|demo   the simulated unit's signal (default counter). counter: every
#                              record is checked against the counter pattern and the display
#                              trigger is CH1 rising at 0 mV (640 hits/s, the pattern's slowest
#                              edge at 10M); demo: the time stamps of every record are checked
#                              (nothing lost) and the trigger is CH2's 100 Hz square rising at
#                              0 mV (100 hits/s).
#   SOAK_DIR                   work folder (default /tmp/qvx-soak; emptied first; the recording
#                              needs about 11 GB there)
#   BUILD_DIR                  the build to run (default build/; scripts/setup.sh makes it)
#   SOAK_EXERCISE_S            seconds between the user's actions (default 10)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
MINUTES="${1:-60}"
SIGNAL="${SOAK_SIGNAL:-counter}"
WORK="${SOAK_DIR:-/tmp/qvx-soak}"
APP="$BUILD_DIR/QV+Analog/QV+Analog"
CLI="$BUILD_DIR/tools/qvanalog/qvanalog"
CHECK="$BUILD_DIR/qvusb/standin/tests/usb_standin_counter_check"
RATE=10485760  # samples/s of the 10M setting

[[ "$MINUTES" =~ ^[0-9]+(\.[0-9]+)?$ ]] || { echo "usage: scripts/soak-app.sh [MINUTES]" >&2; exit 2; }
[[ "$SIGNAL" == counter || "$SIGNAL" == demo ]] || { echo "SOAK_SIGNAL is counter or demo" >&2; exit 2; }
for program in "$APP" "$CLI" "$CHECK"; do
  [[ -x "$program" ]] || { echo "soak-app.sh: $program is missing (scripts/setup.sh builds it)" >&2; exit 2; }
done
command -v Xvfb >/dev/null || { echo "soak-app.sh: Xvfb is missing (scripts/setup.sh installs it)" >&2; exit 2; }

rm -rf "$WORK"
mkdir -p "$WORK"/{data,config,xdg,saved}
mkdir -m 700 "$WORK/family"  # the family protocol refuses a folder others can use
export QVPLUS_TEMP_DIR="$WORK/data" XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/xdg"
export QVPLUS_FAMILY_DIR="$WORK/family" QVPLUS_SIM_SIGNAL="$SIGNAL" QVPLUS_SOAK_PROBE="$WORK/probe.txt"
export QVPLUS_SOAK_EXERCISE_S="${SOAK_EXERCISE_S:-10}" LC_ALL=C.UTF-8
unset QVPLUS_SIMULATED_UNITS QVPLUS_SIM_SPEED QVPLUS_SIM_FAULTS QT_QPA_PLATFORM

# The trace's settings: 10M, rotation after 60 s, repeat display trigger, 1 ms/px (50 ms/div).
"$CLI" settings init "$WORK/start.qvxa" >/dev/null
python3 - "$WORK/start.qvxa" "$SIGNAL" <<'EOF'
import json, sys
path, signal = sys.argv[1], sys.argv[2]
doc = json.load(open(path, encoding="utf-8"))
s = doc["value0"]
s["samplingFrequency"] = 2
s["enableReportFileRotation"] = True
s["reportFileRotationTimeS"] = 60
s["visualSettings"]["timeScale"] = 1_000_000
s["displayTriggerMode"] = 2
channel = 0 if signal == "counter" else 1
s["displayTriggerSourceChannel"] = channel
trigger = s["displayTriggerSettings"][channel]
trigger.update({"voltageLevel": 0, "slope": 0, "sensitivityCount": 1})
json.dump(doc, open(path, "w", encoding="utf-8"), indent=4)
EOF

cleanup() {
  [[ -n "${APP_PID:-}" ]] && kill -KILL "$APP_PID" 2>/dev/null || true
  [[ -n "${XVFB_PID:-}" ]] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

# A display of its own; Xvfb names the number it took.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1920x1080x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
read -r -t 20 -u "$displayfd" number || { echo "soak-app.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$number"

"$APP" --simulate "$WORK/start.qvxa" >"$WORK/app.log" 2>&1 &
APP_PID=$!
wait_for_log() {  # PATTERN SECONDS
  local deadline=$((SECONDS + $2))
  until grep -q "$1" "$WORK/app.log"; do
    if ((SECONDS >= deadline)) || ! kill -0 "$APP_PID" 2>/dev/null; then
      echo "soak-app.sh: no \"$1\" in $WORK/app.log" >&2
      exit 1
    fi
    sleep 0.5
  done
}
wait_for_log "Connected unit: AN0000SIM" 60
"$CLI" family trace start --pid "$APP_PID" >/dev/null
wait_for_log "Trace state: tracing" 30
echo "soak-app.sh: recording for $MINUTES min (pid $APP_PID, display $DISPLAY, $SIGNAL signal, work $WORK)"

# One sample a second into samples.jsonl until the time is up or the program is gone.
python3 - "$APP_PID" "$MINUTES" "$WORK" <<'EOF'
import glob, json, os, sys, time
pid, minutes, work = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3]
tick = os.sysconf("SC_CLK_TCK")

def threads():
    cpu = {}
    for stat in glob.glob(f"/proc/{pid}/task/*/stat"):
        try:
            text = open(stat).read()
        except OSError:
            continue
        name = text[text.index("(") + 1:text.rindex(")")]
        fields = text[text.rindex(")") + 2:].split()
        cpu[name] = cpu.get(name, 0) + int(fields[11]) + int(fields[12])  # utime + stime
    return cpu

def gui_wait_ms():
    # The GUI thread's time runnable but waiting for a CPU (ns), from the scheduler.
    try:
        return int(open(f"/proc/{pid}/task/{pid}/schedstat").read().split()[1]) / 1e6
    except (OSError, IndexError, ValueError):
        return None

def open_descriptors(pid):
    # (all open descriptors, those whose file has been removed)
    total, removed = 0, 0
    for fd in os.listdir(f"/proc/{pid}/fd"):
        total += 1
        try:
            removed += os.readlink(f"/proc/{pid}/fd/{fd}").endswith(" (deleted)")
        except OSError:
            pass  # closed meanwhile
    return total, removed

def probe():
    try:
        with open(f"{work}/probe.txt") as f:
            last = f.readlines()[-1].split()
        return {"latency_ms": int(last[1]), "buffer_pct": float(last[2]), "records": int(last[3]),
                "hits": int(last[4])}
    except (OSError, IndexError, ValueError):
        return {}

out = open(f"{work}/samples.jsonl", "w")
end = time.monotonic() + minutes * 60
before, before_t, before_wait = threads(), time.monotonic(), gui_wait_ms()
next_t = before_t + 1
while time.monotonic() < end and os.path.exists(f"/proc/{pid}"):
    time.sleep(max(0.0, next_t - time.monotonic()))
    next_t += 1
    now = time.monotonic()
    try:
        rss_kb = next(int(l.split()[1]) for l in open(f"/proc/{pid}/status") if l.startswith("VmRSS:"))
        fds, removed_fds = open_descriptors(pid)
    except (OSError, StopIteration):
        break
    cpu = threads()
    per_thread = {n: round(100.0 * (cpu[n] - before.get(n, 0)) / tick / (now - before_t), 1) for n in cpu}
    wait = gui_wait_ms()
    gui_wait = None if wait is None or before_wait is None else round((wait - before_wait) / (now - before_t))
    before, before_t, before_wait = cpu, now, wait
    disk = os.statvfs(f"{work}/data")
    sample = {"t": round(now - (end - minutes * 60), 1), "rss_mb": round(rss_kb / 1024, 1), "fds": fds,
              "removed_fds": removed_fds,
              "report_files": len(glob.glob(f"{work}/data/**/repo/*.DAT", recursive=True)),
              "free_disk_gb": round(disk.f_bavail * disk.f_frsize / 2**30, 1), "cpu": per_thread,
              "gui_cpu_wait_ms": gui_wait, "load": round(os.getloadavg()[0], 1)}
    sample.update(probe())
    out.write(json.dumps(sample) + "\n")
    out.flush()
EOF
kill -0 "$APP_PID" 2>/dev/null || { echo "soak-app.sh: the program ended by itself (see $WORK/app.log)" >&2; exit 1; }

# The end: stop with drain, the end of the trace, then the program ends on SIGTERM and keeps the
# unsaved recording for recovery; it is saved as a session from there.
"$CLI" family trace stop --pid "$APP_PID" >/dev/null
wait_for_log "Trace state: idle" 300
sleep 2
kill -TERM "$APP_PID"
status=0
wait "$APP_PID" || status=$?
APP_PID=""
echo "soak-app.sh: the program ended with status $status"
id="$("$CLI" recover --json | python3 -c 'import json,sys; r=json.load(sys.stdin)["recordings"]; print(r[-1]["id"] if r else "")')"
[[ -n "$id" ]] || { echo "soak-app.sh: no recording was kept for recovery" >&2; exit 1; }
"$CLI" recover "$id" --out "$WORK/saved/soak.qvxa" >/dev/null
checkArgs=("$WORK/saved/repo" "$RATE")
[[ "$SIGNAL" == demo ]] && checkArgs+=(--times-only)
checked=0
check="$("$CHECK" "${checkArgs[@]}" 2>&1)" || checked=$?

python3 - "$WORK" "$status" "$checked" "$check" "$SIGNAL" <<'EOF'
import json, statistics, sys
work, status, checked, check, signal = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
samples = [json.loads(l) for l in open(f"{work}/samples.jsonl")]
if not samples:
    sys.exit("soak-app.sh: no samples")

def row(name, values, worst=max, unit=""):
    values = [v for v in values if v is not None]
    if not values:
        return
    cells = "".join(f"{v:>10.4g}" for v in (values[0], statistics.median(values), worst(values), values[-1]))
    print(f"{name:<28}{cells}  {unit}")

print(f"\n{len(samples)} samples over {samples[-1]['t']:.0f} s ({signal} signal)")
print(f"{'figure':<28}{'first':>10}{'median':>10}{'worst':>10}{'last':>10}")
row("RSS", [s["rss_mb"] for s in samples], unit="MB")
row("open file descriptors", [s["fds"] for s in samples])
row("  of them on removed files", [s.get("removed_fds") for s in samples])
row("report data files", [s["report_files"] for s in samples])
row("free disk", [s["free_disk_gb"] for s in samples], worst=min, unit="GB")
row("event-loop latency (max/s)", [s.get("latency_ms") for s in samples], unit="ms")
row("GUI thread waiting for a CPU", [s.get("gui_cpu_wait_ms") for s in samples], unit="ms per s")
row("unit buffer use", [s.get("buffer_pct") for s in samples], unit="%")
row("machine load (1 min)", [s.get("load") for s in samples])
threads = {}
for s in samples:
    for name, value in s["cpu"].items():
        threads.setdefault(name, []).append(value)
busiest = sorted(threads, key=lambda n: -statistics.mean(threads[n]))[:8]
for name in busiest:
    row(f"CPU {name}", threads[name], unit="% of a core")
rates = [(b["hits"] - a["hits"]) / (b["t"] - a["t"]) for a, b in zip(samples, samples[1:])
         if "hits" in a and "hits" in b and b["t"] > a["t"]]
row("display trigger hits/s", [round(r) for r in rates])

# The goals.
kept = -(-60 * 10485760 // 33554432) + 2
settled = [s for s in samples if s["t"] >= 60] or samples
# Growth from the second minute to the last one, each by its median: a transient peak (a full
# file's overview being stored) is not growth; the worst sample is in the table above.
rss0 = statistics.median(s["rss_mb"] for s in settled[:60])
growth = 100.0 * (statistics.median(s["rss_mb"] for s in settled[-60:]) - rss0) / rss0
latencies = sorted(s.get("latency_ms", 0) for s in samples)
p99 = latencies[min(len(latencies) - 1, int(0.99 * len(latencies)))]
# Rotation hands the oldest files to a thread that closes them after their names are gone (the
# kernel frees their blocks on that close, off the window's thread), so for a moment a removed
# file's descriptor is open. Those are counted apart: the others must stay flat, and removed
# ones must not pile up (a rotation removes one data file and its overview at a time).
fds = [s["fds"] - s.get("removed_fds", 0) for s in settled]
removed = [s.get("removed_fds", 0) for s in samples]
goals = [
    (f"RSS from the second minute to the last grows {growth:.1f} % (at most 10 %)", growth <= 10),
    (f"open file descriptors but those of removed files, after the first minute {min(fds)}..{max(fds)} (flat)",
     max(fds) - min(fds) <= 2),
    (f"descriptors of removed files at most {max(removed)}, at the end {removed[-1]} (at most 4, not piling up)",
     max(removed) <= 4),
    # Rotation keeps ceil(60 s of records / records per file) files, plus the one being written
    # and the one the rotation has not yet removed.
    (f"report data files at most {max(s['report_files'] for s in samples)} (bounded by the rotation: {kept})",
     max(s["report_files"] for s in samples) <= kept),
    (f"event-loop latency p99 {p99} ms (under 100 ms)", p99 < 100),
    (f"unit buffer use at most {max(s.get('buffer_pct', 0) for s in samples):.1f} % (at most 50 %)",
     max(s.get("buffer_pct", 0) for s in samples) <= 50),
    (f"program exit status {status} (0)", status == 0),
    (f"stored records: {check.strip()} ({'every record of the counter pattern' if signal == 'counter' else 'every time stamp'})",
     checked == 0),
]
print()
for text, ok in goals:
    print(f"{'ok  ' if ok else 'FAIL'} {text}")
sys.exit(0 if all(ok for _, ok in goals) else 1)
EOF
