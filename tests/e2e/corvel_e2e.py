#!/usr/bin/env python3
"""End-to-end tests: the real corvel executable against the stand-in simulator lmu-sim.

Each case starts lmu-sim (when it needs one), runs corvel with a time limit, and checks the
console, the exit status, the two files and their content against lmu-sim's ground-truth log.
The files are decoded by corvel-lap. Windows builds run the same way under Wine (--run-with).

Under Wine, whose own tasklist prints nothing, the programs see the process list of a stand-in
tasklist.exe (--wine-tasklist), put over Wine's in the prefix's system32 and chosen by a DLL
override; the stand-in simulator runs as LMU.exe, so detection and the watchdog find it.

Usage: corvel_e2e.py CASE --corvel EXE --lmu-sim EXE --corvel-lap EXE --work-dir DIR
                     [--windows] [--run-with WORD ...] [--wine-prefix DIR --wine-tasklist EXE]
"""

import argparse
import csv
import ctypes
import datetime
import filecmp
import io
import json
import math
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import traceback

OBJECT_NAMES = ("LMU_Data", "LMU_Data_Event", "LMU_SharedMemoryLockData", "LMU_SharedMemoryLockEvent")
SHM_DIR = "/dev/shm"
PR_SET_PDEATHSIG = 1
LIBC = ctypes.CDLL(None) if sys.platform.startswith("linux") else None

# lmu-sim's --session numbers and the labels corvel writes for them.
SESSION_LABELS = {0: "offline_testing", 9: "warmup"}
SESSION_LABELS.update({n: "practice" for n in range(1, 5)})
SESSION_LABELS.update({n: "qualify" for n in range(5, 9)})
SESSION_LABELS.update({n: "race" for n in range(10, 14)})

METADATA_KEYS = [
    "simulator", "trackName", "trackId", "trackConfig", "trackLengthM", "carName", "carId",
    "carClass", "driverName", "sessionType", "sessionId", "lapNumber", "lapTimeSeconds",
    "sampleCount", "fileName", "createdAt", "startTrackPct", "startedMidLap",
    "fuelAtStartLiters", "fuelAtEndLiters", "fuelUsedLiters", "incidentDelta", "notes",
]
NOTES = [
    "Raw VKTF telemetry only; no DB/session-store rows written",
    "Captured with deferred LMU scoring sync so lap is start-to-finish only",
]
NOT_DETECTED = "LMU process not detected yet. Launch LMU and load into a session."
LOADING = "LMU detected as 'lmu.exe' but LMU_Data is not ready yet. Game is likely still loading or not on track."
DISCONNECTED = "LMU disconnected before a clean lap was captured"
CONNECT_TIMEOUT = 'Error: "Timed out waiting for LMU shared memory after {}s. Start LMU and enter a drivable session."'
HEARTBEAT = re.compile(r"Heartbeat: simLap=-?\d+ activeLap=-?\d+ buffered=\d+ meaningfulDrive=(true|false)")
# corvel sleeps poll_ms after every poll, so it can never sample faster than this.
DEFAULT_POLL_S = 0.016

# Where detection finds tasklist.exe under Wine, and the DLL overrides that choose Wine's own
# (which lists nothing) or the file lying there (the stand-in); mscoree and mshtml stay off,
# as wine-run has them.
SYSTEM_TASKLIST = r"C:\windows\system32\tasklist.exe"
WINE_OVERRIDES = "mscoree,mshtml="
STAND_IN_OVERRIDES = WINE_OVERRIDES + ";tasklist.exe=n"
TASKLIST_MEMORY = re.compile(r"\d{1,3}(,\d{3})* K")


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


# --- the programs and how to start them ---------------------------------------------------


class Programs:
    def __init__(self, options):
        # Absolute: the programs run in the case's folder.
        self.corvel = os.path.abspath(options.corvel)
        self.lmu_sim = os.path.abspath(options.lmu_sim)
        self.corvel_lap = os.path.abspath(options.corvel_lap)
        self.corvel_stint = os.path.abspath(options.corvel_stint) if options.corvel_stint else None
        self.windows = options.windows
        self.runner = options.run_with or []
        self.under_wine = self.windows and bool(self.runner)
        self.wine_prefix = options.wine_prefix
        self.wine_tasklist = options.wine_tasklist

    def command(self, program, args):
        return [*self.runner, program, *args]

    def environment(self, stand_in_tasklist=True):
        """Under Wine, the environment that gives a program (and the tasklist it starts) the
        stand-in's process list, or Wine's own empty one; elsewhere the inherited one."""
        if not self.under_wine:
            return None
        return {**os.environ, "WINEDLLOVERRIDES": STAND_IN_OVERRIDES if stand_in_tasklist else WINE_OVERRIDES}

    def arg_path(self, path):
        """A local path as the program under test takes it (Wine's Z: drive is the root)."""
        path = os.path.abspath(path)
        return "Z:" + path.replace("/", "\\") if self.under_wine else path

    def local_path(self, printed):
        if self.under_wine:
            expect(printed.startswith("Z:\\"), f"path {printed!r} is not on Wine's Z: drive")
            return printed[2:].replace("\\", "/")
        return printed


def end_with_parent():
    """In the child before exec: SIGTERM when the test driver dies (a ctest timeout kills it
    outright), so no stand-in outlives its test and holds LMU's names. Linux only."""
    if LIBC is not None:
        LIBC.prctl(PR_SET_PDEATHSIG, int(signal.SIGTERM))


class Child:
    """A started program whose output goes to files (Wine's helper processes inherit the
    descriptors and may outlive it; a pipe would stay open)."""

    def __init__(self, programs, program, args, work_dir, name, stand_in_tasklist=True):
        self.name = name
        self.out_path = os.path.join(work_dir, name + ".out")
        self.err_path = os.path.join(work_dir, name + ".err")
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            self.started = time.monotonic()
            self.process = subprocess.Popen(programs.command(program, args), stdin=subprocess.DEVNULL,
                                            stdout=out, stderr=err, cwd=work_dir,
                                            env=programs.environment(stand_in_tasklist),
                                            preexec_fn=end_with_parent)
        self.exited_at = None

    def poll(self):
        if self.exited_at is None and self.process.poll() is not None:
            self.exited_at = time.monotonic()
        return self.process.returncode if self.exited_at is not None else None

    def stdout_lines(self):
        with open(self.out_path, "rb") as f:
            return f.read().decode("utf-8", "replace").splitlines()

    def stderr_lines(self):
        with open(self.err_path, "rb") as f:
            return f.read().decode("utf-8", "replace").splitlines()

    def wait_for_output(self, needle, timeout_s):
        deadline = time.monotonic() + timeout_s
        while time.monotonic() < deadline:
            if any(needle in line for line in self.stdout_lines()):
                return
            expect(self.poll() is None,
                   f"{self.name} ended with status {self.process.returncode} before printing "
                   f"{needle!r}: {self.stdout_lines() + self.stderr_lines()}")
            time.sleep(0.05)
        raise Failure(f"{self.name} did not print {needle!r} within {timeout_s} s")

    def stop(self, grace_s=10.0):
        """SIGTERM by process id, then SIGKILL if it does not end. True when it ended on its own
        or on SIGTERM."""
        if self.poll() is not None:
            return True
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(grace_s)
            self.poll()
            return True
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            self.poll()
            return False


class CorvelRun:
    def __init__(self, child, sim):
        self.rc = child.process.returncode
        self.stdout = child.stdout_lines()
        self.stderr = child.stderr_lines()
        self.elapsed_s = child.exited_at - child.started
        self.ended = child.exited_at
        self.sim_exited_at = sim.exited_at if sim else None

    def __str__(self):
        return (f"corvel exit status {self.rc} after {self.elapsed_s:.1f} s\n  stdout: {self.stdout}\n"
                f"  stderr: {self.stderr}")


class Case:
    """One test case's folder, programs and children; stops every child it started."""

    def __init__(self, programs, work_dir):
        self.programs = programs
        self.work_dir = work_dir
        self.children = []
        self.truth_path = os.path.join(work_dir, "truth.jsonl")
        self.output_dir = os.path.join(work_dir, "captures")
        self.sim_fuel_l = 62.0  # lmu-sim's default; the truth log does not repeat it
        self.wall_start = time.time()

    def start_sim(self, *args, wait_for="lmu-sim: publishing", image_name="LMU.exe"):
        """Starts the stand-in and waits for its line `wait_for` (None: not at all). It runs as
        LMU.exe (on Linux it renames itself; on Windows it is a copy, named `image_name`), and
        under Wine the process list must show it so before the case goes on."""
        program = self.programs.lmu_sim
        if self.programs.windows:
            program = os.path.join(self.work_dir, image_name)
            shutil.copy(self.programs.lmu_sim, program)
        else:
            # Another stand-in (or test) under LMU's names would feed corvel instead of ours.
            expect(not lmu_process_running(), "another process named LMU.exe runs; it would be recorded")
        # --duration: a stand-in that outlives a killed test run still ends by itself.
        sim_args = ["--truth", self.programs.arg_path(self.truth_path), "--duration", "300", *args]
        sim = Child(self.programs, program, sim_args, self.work_dir, "lmu-sim")
        self.children.append(sim)
        if wait_for:
            sim.wait_for_output(wait_for, 30.0)
            self.expect_listed(image_name if self.programs.windows else "LMU.exe")
        return sim

    def expect_listed(self, image_name):
        """Under Wine: the process list the programs see names `image_name`. A broken stand-in
        setup then fails here, instead of passing on Wine's empty list."""
        if self.programs.under_wine:
            names = listed_processes(self.programs, self.work_dir)
            expect(image_name.lower() in names, f"the process list lacks {image_name}: {sorted(names)}")

    def run_corvel(self, *args, timeout_s, sim=None, program=None, stand_in_tasklist=True):
        corvel = Child(self.programs, program or self.programs.corvel, list(args), self.work_dir, "corvel",
                       stand_in_tasklist)
        self.children.append(corvel)
        deadline = corvel.started + timeout_s
        next_scan, intruders = 0.0, set()
        while corvel.poll() is None:
            if sim is not None:
                sim.poll()
            if not self.programs.windows and time.monotonic() >= next_scan:
                # A stand-in of another run under LMU's names would be read instead of ours.
                intruders |= lmu_processes() - ({sim.process.pid} if sim else set())
                next_scan = time.monotonic() + 0.25
            if time.monotonic() > deadline:
                corvel.stop(grace_s=2.0)
                raise Failure(f"corvel did not end within {timeout_s} s: {corvel.stdout_lines()}")
            time.sleep(0.02)
        expect(not intruders, f"other processes named LMU.exe ({sorted(intruders)}) ran during this "
                              "test; corvel may have read them, so its result proves nothing")
        run = CorvelRun(corvel, sim)
        expect(run.rc in (0, 1), f"corvel ended abnormally (a signal or crash):\n{run}")
        return run

    def stop_sim(self, sim):
        expect(sim.stop(), "lmu-sim ignored SIGTERM and had to be killed")
        if not self.programs.windows:
            # A Windows stand-in is ended from outside (Wine turns SIGTERM into a kill), so its
            # exit status says nothing there.
            expect(sim.process.returncode == 0,
                   f"lmu-sim ended with status {sim.process.returncode}: {sim.stderr_lines()}")

    def truth(self):
        with open(self.truth_path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    def corvel_lap(self, *args):
        result = subprocess.run(self.programs.command(self.programs.corvel_lap, list(args)),
                                stdin=subprocess.DEVNULL, capture_output=True, cwd=self.work_dir, timeout=120)
        return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")

    def close(self):
        """Stops every child; on Linux, fails when the stand-in left LMU's objects behind (and
        removes them, so that the next run starts clean)."""
        for child in self.children:
            child.stop(grace_s=5.0)
        started_sim = any(child.name == "lmu-sim" for child in self.children)
        # Objects while another LMU.exe runs are that process's, not ours: leave them alone.
        if self.programs.windows or not started_sim or lmu_process_running():
            return
        leftovers = lmu_objects_present()
        for name in leftovers:
            os.unlink(os.path.join(SHM_DIR, name))
        expect(not leftovers, f"objects left behind in {SHM_DIR}: {leftovers}")


def lmu_objects_present():
    if not os.path.isdir(SHM_DIR):
        return []
    return sorted(name for name in os.listdir(SHM_DIR)
                  if any(name == n or name.startswith(n + ".new-") for n in OBJECT_NAMES))


def lmu_processes():
    """Process ids of everything named LMU.exe (the stand-ins show themselves so)."""
    found = set()
    for pid in os.listdir("/proc"):
        try:
            with open(f"/proc/{pid}/comm") as f:
                if f.read().strip().lower() == "lmu.exe":
                    found.add(int(pid))
        except (OSError, ValueError):
            continue
    return found


def lmu_process_running():
    return bool(lmu_processes())


def listed_processes(programs, work_dir):
    """The lower-cased image names in `tasklist /FO CSV /NH` as a program under Wine runs it;
    every line must have tasklist's five fields, in UTF-8, ending in CR LF."""
    result = subprocess.run(programs.command(SYSTEM_TASKLIST, ["/FO", "CSV", "/NH"]), stdin=subprocess.DEVNULL,
                            capture_output=True, cwd=work_dir, env=programs.environment(),
                            timeout=60)
    text = result.stdout.decode("utf-8")
    expect(not text or (text.endswith("\r\n") and text.count("\n") == text.count("\r\n")),
           f"tasklist's lines do not end in CR LF: {text[:200]!r}")
    rows = list(csv.reader(io.StringIO(text, newline="")))
    for row in rows:
        expect(len(row) == 5 and row[1].isdigit() and row[3].isdigit() and TASKLIST_MEMORY.fullmatch(row[4]),
               f"not a line of tasklist /FO CSV /NH: {row}")
    return {row[0].lower() for row in rows}


def install_wine_tasklist(programs):
    """Puts the stand-in over Wine's tasklist.exe in the prefix's system32, where detection runs
    it from. Replaced by a rename, and only when it differs: other tests may list processes
    meanwhile (they get Wine's own unless they ask for the override)."""
    subprocess.run([*programs.runner, "--boot"], stdin=subprocess.DEVNULL, check=True, timeout=600)
    target = os.path.join(programs.wine_prefix, "drive_c", "windows", "system32", "tasklist.exe")
    if os.path.exists(target) and filecmp.cmp(programs.wine_tasklist, target, shallow=False):
        return
    shutil.copyfile(programs.wine_tasklist, target + ".new")
    os.replace(target + ".new", target)


# --- what corvel should produce ---------------------------------------------------------


def slugify(text):
    mapped = "".join(c.lower() if c.isascii() and c.isalnum() else "-" for c in text)
    return "-".join(piece for piece in mapped.split("-") if piece)


def split_track_name(text):
    """Base name and layout: "Name (Layout)", else the last " - ", " / ", " | " or ", "."""
    open_at = text.rfind("(")
    if open_at >= 0 and open_at < len(text) - 1 and text.endswith(")"):
        base, layout = text[:open_at].strip(), text[open_at + 1:-1].strip()
        if base and layout:
            return base, layout
    for separator in (" - ", " / ", " | ", ", "):
        at = text.rfind(separator)
        if at >= 0:
            base, layout = text[:at].strip(), text[at + len(separator):].strip()
            if base and layout:
                return base, layout
    return text, None


def truth_event(truth, kind):
    events = [e for e in truth if e["event"] == kind]
    expect(events, f"the truth log has no {kind!r} event")
    return events[0]


def truth_lap(truth, lap):
    laps = [e for e in truth if e["event"] == "lap" and e["lap"] == lap]
    expect(laps, f"lmu-sim never completed lap {lap}: {[e for e in truth if e['event'] == 'lap']}")
    return laps[0]


def check_success_console(run, texts):
    """The report lines in order, heartbeats allowed while recording; returns the lap number
    and the two printed paths."""
    expect(run.rc == 0, f"capture failed:\n{run}")
    expect(run.stderr == [], f"unexpected standard error:\n{run}")
    recording = False
    for line in run.stdout:
        if line.startswith("Heartbeat:"):
            expect(recording and HEARTBEAT.fullmatch(line), f"heartbeat {line!r} out of place:\n{run}")
        recording = (recording or line.startswith("Recording until")) and not line.startswith("Captured")
    lines = [line for line in run.stdout if not line.startswith("Heartbeat:")]
    base, layout = split_track_name(texts["track"])
    full_name = f"{base} - {layout}" if layout else base
    session = SESSION_LABELS.get(texts["session"], "unknown")
    expected_head = [
        "Connected to LMU shared memory.",
        "Waiting for an active on-track LMU session...",
        f"Session detected: {texts['model_name']} @ {full_name} ({session})",
        "Recording until one full clean lap completes...",
    ]
    expect(lines[:4] == expected_head and len(lines) == 7,
           f"console lines differ:\n  want {expected_head} + report\n  got  {lines}")
    expect(re.fullmatch(r"Captured clean lap -?\d+", lines[4]), f"bad report line {lines[4]!r}")
    expect(lines[5].startswith("Telemetry: "), f"bad report line {lines[5]!r}")
    expect(lines[6].startswith("Metadata:  "), f"bad report line {lines[6]!r}")
    return int(lines[4].rsplit(" ", 1)[1]), lines[5][len("Telemetry: "):], lines[6][len("Metadata:  "):]


def check_file_names(case, bin_printed, json_printed, prefix, texts, lap):
    base, layout = split_track_name(texts["track"])
    full_name = f"{base} - {layout}" if layout else base
    stem = f"{slugify(prefix)}-{slugify(full_name)}-{slugify(texts['model_name'])}-lap{lap}-"
    printed_dir = case.programs.arg_path(case.output_dir)
    separator = "\\" if case.programs.windows else "/"
    pattern = re.escape(printed_dir + separator + stem) + r"(\d+)\.bin"
    match = re.fullmatch(pattern, bin_printed)
    expect(match, f"telemetry path {bin_printed!r} does not match {pattern!r}")
    expect(json_printed == bin_printed[:-len(".bin")] + ".json", f"metadata path {json_printed!r}")
    seconds = int(match.group(1))
    expect(case.wall_start - 2 <= seconds <= time.time() + 2, f"clock {seconds} in the file name is off")
    bin_path, json_path = case.programs.local_path(bin_printed), case.programs.local_path(json_printed)
    expect(sorted(os.listdir(case.output_dir)) == sorted([os.path.basename(bin_path), os.path.basename(json_path)]),
           f"unexpected files in the output folder: {os.listdir(case.output_dir)}")
    return bin_path, json_path


def read_metadata(json_path):
    with open(json_path, "rb") as f:
        raw = f.read()
    text = raw.decode("utf-8")  # strict: the document must be valid UTF-8
    expect(text.endswith("}") and len(text.splitlines()) == 28, "metadata is not the 28-line document")
    pairs = json.loads(text, object_pairs_hook=list)
    expect([k for k, _ in pairs] == METADATA_KEYS, f"metadata keys differ: {[k for k, _ in pairs]}")
    return dict(pairs)


def read_header_count(bin_path):
    with open(bin_path, "rb") as f:
        head = f.read(20)
    expect(len(head) == 20, "lap file shorter than its header")
    expect(head[:8] == b"VKTF\x05\x01\x3c\x00", f"lap file header starts {head[:8].hex()}")
    expect(head[12:16] == b"\0\0\0\0", "lap file header's reserved bytes are not zero")
    expect(head[16:20] == b"\x28\xb5\x2f\xfd", "no zstd frame after the header")
    return int.from_bytes(head[8:12], "little")


def decode_samples(case, bin_path):
    rc, out, err = case.corvel_lap("verify", case.programs.arg_path(bin_path))
    expect(rc == 0 and out.startswith("OK: "), f"corvel-lap verify failed ({rc}): {out}{err}")
    rc, out, err = case.corvel_lap("csv", case.programs.arg_path(bin_path), "-o", "-")
    expect(rc == 0, f"corvel-lap csv failed ({rc}): {err}")
    rows = list(csv.DictReader(io.StringIO(out, newline="")))
    return [{k: (float(v) if k not in ("gear",) and v not in ("", "nan", "inf", "-inf") else v)
             for k, v in row.items()} for row in rows]


def check_samples(samples, metadata, lap_truth, truth_start, header_count):
    count = metadata["sampleCount"]
    expect(header_count == count == len(samples), f"sample counts: header {header_count}, "
           f"metadata {count}, decoded {len(samples)}")
    expect(count >= 300, f"only {count} samples")
    expect([s["sample"] for s in samples] == list(range(count)), "sample indices out of order")
    expect(all(s["lap"] == metadata["lapNumber"] & 0xFFFF for s in samples), "samples of another lap")

    times = [s["session_time_s"] for s in samples]
    expect(all(b >= a for a, b in zip(times, times[1:])), "session time runs backwards")
    span = times[-1] - times[0]
    lap_span = lap_truth["ended_s"] - max(lap_truth["started_s"], 0.0)
    expect(span <= lap_span + 0.5, f"samples span {span:.2f} s, longer than the lap's {lap_span:.2f} s")
    # The session time moves with the 5 Hz scoring, so allow one scoring step either side.
    expect(count <= (span + 0.5) / DEFAULT_POLL_S + 2, f"{count} samples in {span:.2f} s: faster than polled")
    expect(count >= span / 0.1, f"{count} samples in {span:.2f} s: fewer than 10 a second")

    # The first sample may be the one that ended the previous lap (scoring still shows its
    # end); from there on the car only moves forward.
    fractions = [s["lap_fraction"] for s in samples]
    body = fractions[next(i for i, f in enumerate(fractions) if f < 0.9 or i >= 40):]
    expect(all(0.0 <= f < 1.0 for f in fractions), "lap fraction out of 0..1")
    expect(all(b >= a for a, b in zip(body, body[1:])), "lap fraction runs backwards within the lap")
    expect(body[-1] > 0.9, f"the lap ends at fraction {body[-1]}")

    speeds = [s["speed_kmh"] for s in samples]
    expect(all(0 <= v < 500 for v in speeds) and max(speeds) > 30, f"speeds {min(speeds)}..{max(speeds)}")
    fuel = [s["fuel_l"] for s in samples]
    expect(all(b <= a for a, b in zip(fuel, fuel[1:])), "fuel rises during the lap")
    expect(fuel[0] <= truth_start["fuel_l"] + 0.05, "more fuel than the tank held")
    expect(abs(fuel[0] - metadata["fuelAtStartLiters"]) <= 0.11, "first sample's fuel differs from the metadata")
    for coordinate in ("pos_x_m", "pos_z_m"):
        expect(all(isinstance(s[coordinate], float) and math.isfinite(s[coordinate]) for s in samples),
               f"{coordinate} not finite")
    expect(all(s["in_pit_lane"] == 0 and s["limiter_active"] == 0 for s in samples),
           "pit-lane or limiter flag set on a flying lap")

    invalid = [s["lap_invalid"] for s in samples]
    if lap_truth["invalid"]:
        # lmu-sim invalidates from 40 % of the lap on; the flag follows the scoring's fraction.
        expect(all(s["lap_invalid"] == 0 for s in samples if s["lap_fraction"] < 0.38),
               "invalid flag set before the car went off")
        expect(all(s["lap_invalid"] == 1 for s in samples if 0.43 < s["lap_fraction"] < 0.95),
               "invalid flag missing after the car went off")
    else:
        expect(not any(invalid), "invalid flag set on a valid lap")


def check_metadata(metadata, texts, truth_start, lap_truth, bin_path, case):
    base, layout = split_track_name(texts["track"])
    want = {
        "simulator": "lmu", "trackName": base, "trackId": texts["track"], "trackConfig": layout,
        "carName": texts["model_name"], "carId": texts["vehicle_file"], "carClass": texts["vehicle_class"],
        "driverName": texts["driver"], "sessionType": SESSION_LABELS.get(texts["session"], "unknown"),
        "sessionId": None, "lapNumber": lap_truth["lap"], "lapTimeSeconds": lap_truth["lap_time_s"],
        "fileName": os.path.basename(bin_path), "incidentDelta": 0, "notes": NOTES,
    }
    for key, value in want.items():
        expect(metadata[key] == value, f"metadata {key}: want {value!r}, got {metadata[key]!r}")
    expect(abs(metadata["trackLengthM"] - truth_start["track_length_m"]) < 0.01, "trackLengthM")
    pct = metadata["startTrackPct"]
    expect(metadata["startedMidLap"] == (0.05 <= pct < 0.95), f"startedMidLap with start fraction {pct}")
    start, end, used = metadata["fuelAtStartLiters"], metadata["fuelAtEndLiters"], metadata["fuelUsedLiters"]
    expect(0 < end <= start <= truth_start["fuel_l"], f"fuel {start} -> {end}")
    expect(abs(used - max(0.0, start - end)) < 1e-9, f"fuelUsedLiters {used}")
    created = re.fullmatch(r"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)(\.\d{3}|\.\d{6}|\.\d{9})?\+00:00",
                           metadata["createdAt"])
    expect(created, f"createdAt {metadata['createdAt']!r}")
    stamp = datetime.datetime.strptime(created.group(1), "%Y-%m-%dT%H:%M:%S").replace(
        tzinfo=datetime.timezone.utc).timestamp()
    expect(case.wall_start - 2 <= stamp <= time.time() + 2, f"createdAt {metadata['createdAt']} is off")


def check_clean_capture(case, run, prefix, expected_lap):
    """Everything a clean capture promises, against the ground truth; returns the metadata."""
    truth = case.truth()
    start, texts = truth_event(truth, "start"), truth_event(truth, "texts")
    start["fuel_l"] = case.sim_fuel_l
    lap, bin_printed, json_printed = check_success_console(run, texts)
    expect(lap == expected_lap, f"captured lap {lap}, want {expected_lap}")
    lap_truth = truth_lap(truth, lap)
    expect(lap_truth["lap_time_s"] is not None, f"lap {lap} has no published time but was captured")
    bin_path, json_path = check_file_names(case, bin_printed, json_printed, prefix, texts, lap)
    metadata = read_metadata(json_path)
    check_metadata(metadata, texts, start, lap_truth, bin_path, case)
    samples = decode_samples(case, bin_path)
    check_samples(samples, metadata, lap_truth, start, read_header_count(bin_path))
    case.lap_file = bin_path
    return metadata


def check_failure(run, error_line, stdout=None):
    expect(run.rc == 1, f"want exit status 1:\n{run}")
    expect(run.stderr == [error_line], f"want the single line {error_line!r} on standard error:\n{run}")
    if stdout is not None:
        expect(run.stdout == stdout, f"want standard output {stdout}:\n{run}")


# --- the cases ------------------------------------------------------------------------------


def clean_capture_from_pits(case):
    """Recording starts in the pit box: the out-lap has no time and is dropped; the flying lap
    after it, from the line, is the one written. Custom texts, a race session and a prefix."""
    case.sim_fuel_l = 48.0
    sim = case.start_sim("--out-lap", "--lap-time", "14", "--start-lap", "2", "--session", "11",
                         "--fuel", "48", "--track-name", "E2E Raceway (Short)", "--driver-name", "Test Driver",
                         "--model-name", "E2E Prototype 99", "--vehicle-class", "LMP2",
                         "--vehicle-file", "E2E_P2_99.VEH")
    nested = os.path.join(case.output_dir, "nested")
    case.output_dir = nested  # corvel creates the missing parents
    run = case.run_corvel("--output-dir", case.programs.arg_path(nested), "--prefix", "E2E_Run",
                          "--max-wait-secs", "90", timeout_s=120, sim=sim)
    case.stop_sim(sim)
    metadata = check_clean_capture(case, run, "E2E_Run", expected_lap=4)
    expect(truth_lap(case.truth(), 3)["out_lap"], "lap 3 should be the out-lap")
    expect(not metadata["startedMidLap"], "the flying lap began at the line")


def clean_capture_mid_lap(case):
    """Recording starts at 30 % of a lap; the partial lap has its time published and enough
    samples, so it is accepted and marked as begun mid-lap. It is invalidated from 40 % on."""
    sim = case.start_sim("--start-fraction", "0.3", "--lap-time", "16", "--invalid-lap", "1")
    run = case.run_corvel("--output-dir", case.programs.arg_path(case.output_dir), "--max-wait-secs", "60",
                          timeout_s=90, sim=sim)
    case.stop_sim(sim)
    metadata = check_clean_capture(case, run, "lmu-clean-lap", expected_lap=1)
    expect(metadata["startedMidLap"], "recording began mid-lap")
    expect(abs(metadata["startTrackPct"] - 0.3) < 0.05, f"startTrackPct {metadata['startTrackPct']}")
    expect(truth_lap(case.truth(), 1)["invalid"], "lap 1 should be invalidated")


def clean_capture_from_menus(case):
    """The stand-in sits in the menus first, so corvel waits for the session; the car then
    appears on the line and its first lap is captured whole. (The Windows clean capture.)"""
    sim = case.start_sim("--menu-secs", "3", "--lap-time", "12", "--session", "6")
    run = case.run_corvel("--output-dir", case.programs.arg_path(case.output_dir), "--max-wait-secs", "60",
                          timeout_s=120, sim=sim)
    case.stop_sim(sim)
    metadata = check_clean_capture(case, run, "lmu-clean-lap", expected_lap=1)
    expect(not metadata["startedMidLap"], "the lap began at the line")


def real_circuit_lap(case):
    """A flying lap of Monza in real time, telemetry at 50 Hz (one poll in five sees a telemetry
    it has seen before): the capture against the truth's lap time, ticks and model."""
    sim = case.start_sim("--track", "monza", "--telemetry-hz", "50", "--seed", "3")
    run = case.run_corvel("--output-dir", case.programs.arg_path(case.output_dir), "--max-wait-secs", "150",
                          timeout_s=170, sim=sim)
    case.stop_sim(sim)
    metadata = check_clean_capture(case, run, "lmu-clean-lap", expected_lap=1)
    truth = case.truth()
    start = truth_event(truth, "start")
    expect(metadata["trackName"] == "Autodromo Nazionale Monza" and metadata["trackConfig"] == "Grand Prix",
           f"track {metadata['trackName']!r}, layout {metadata['trackConfig']!r}")
    expect(85 < metadata["lapTimeSeconds"] < 105, f"lap time {metadata['lapTimeSeconds']}")
    corners = truth_event(truth, "lap_truth")["corners"]
    expect(len(corners) >= 8, f"{len(corners)} corners at Monza")

    samples = decode_samples(case, case.lap_file)
    distances = [s["lap_distance_m"] for s in samples if isinstance(s["lap_distance_m"], float)]
    expect(all(b >= a for a, b in zip(distances[1:], distances[2:])), "lap distance runs backwards")
    expect(distances[-1] > start["track_length_m"] - 150, f"the lap ends at {distances[-1]} m")
    repeats = sum(1 for a, b in zip(samples, samples[1:]) if (a["pos_x_m"], a["pos_z_m"]) == (b["pos_x_m"], b["pos_z_m"]))
    expect(0.1 < repeats / len(samples) < 0.3, f"{repeats} of {len(samples)} polls saw an old telemetry")
    gears = [int(s["gear"]) for s in samples]
    expect(min(gears) >= 1 and max(gears) == 7, f"gears {min(gears)}..{max(gears)}")
    expect(not any(s["throttle"] > 0.2 and s["brake"] > 0.2 for s in samples), "throttle and brake together")

    # Each sample is a published telemetry tick: found by its position, its speed is the model's.
    ticks = [e for e in truth if e["event"] == "tick" and e["lap"] == 1]
    k, off = 0, 0
    for s in samples:
        def gap(t):
            return math.hypot(t["x_m"] - s["pos_x_m"], t["z_m"] - s["pos_z_m"])
        while k + 1 < len(ticks) and gap(ticks[k + 1]) <= gap(ticks[k]):
            k += 1
        if gap(ticks[k]) > 0.5 or abs(ticks[k]["speed_mps"] * 3.6 - s["speed_kmh"]) > 1.0:
            off += 1
    expect(off <= len(samples) // 100, f"{off} of {len(samples)} samples differ from the truth's ticks")


def menus_only(case):
    sim = case.start_sim("--in-menus")
    run = case.run_corvel("--output-dir", case.programs.arg_path(case.output_dir), "--max-wait-secs", "2",
                          timeout_s=30, sim=sim)
    case.stop_sim(sim)
    check_failure(run, 'Error: "Timed out waiting for an active LMU session after 2s"',
                  ["Connected to LMU shared memory.", "Waiting for an active on-track LMU session..."])
    expect(run.elapsed_s < 12, f"took {run.elapsed_s:.1f} s")
    expect(os.listdir(case.output_dir) == [], "files written without a lap")


def check_disconnect_delay(case, run):
    """The watchdog's five 2-second passes over frozen data, then a process list without LMU:
    the run ends about 10 to 14 s after the stand-in's last update (Wine's process start is
    slower)."""
    expect(run.sim_exited_at is not None, "lmu-sim was still running when corvel ended")
    delay = run.ended - run.sim_exited_at
    low, high = (9.0, 16.0) if case.programs.windows else (9.5, 14.5)
    expect(low <= delay <= high, f"corvel gave up {delay:.1f} s after the last update; want {low} to {high} s")


def exit_mid_lap(case):
    """The stand-in exits part-way round its first lap, leaving corvel's view of the data
    frozen (on Windows the mapping lives on while corvel holds it open): the watchdog finds no
    LMU process about 10 s later and recording ends."""
    sim = case.start_sim("--lap-time", "12", "--exit-at-fraction", "0.35")
    run = case.run_corvel("--output-dir", case.programs.arg_path(case.output_dir), "--max-wait-secs", "60",
                          timeout_s=90, sim=sim)
    case.stop_sim(sim)
    check_failure(run, f'Error: "{DISCONNECTED}"')
    check_disconnect_delay(case, run)
    head = [line for line in run.stdout if not line.startswith("Heartbeat:")]
    expect(head[-1] == "Recording until one full clean lap completes...", f"console: {run.stdout}")
    expect(os.listdir(case.output_dir) == [], "files written without a lap")
    expect(truth_event(case.truth(), "exit")["reason"] == "exit fraction reached", "lmu-sim's exit reason")


def frozen_simulator(case):
    """Data that stops changing while the process still runs is not a disconnect: the
    watchdog's process checks find LMU, and only the time limit ends the run."""
    sim = case.start_sim("--lap-time", "20", "--freeze-after", "2")
    run = case.run_corvel("--output-dir", case.programs.arg_path(case.output_dir), "--max-wait-secs", "18",
                          timeout_s=60, sim=sim)
    expect(sim.poll() is None, "lmu-sim ended while frozen")
    case.stop_sim(sim)
    check_failure(run, 'Error: "Timed out waiting for a clean lap after 18s"')
    expect(os.listdir(case.output_dir) == [], "files written without a lap")


def small_mapping(case):
    """A mapping that holds only the start of the block is never read past its end: corvel
    treats it as not ready and times out cleanly. On Windows the stand-in runs under a name
    beyond ASCII, which the process list carries in UTF-8 and detection lower-cases."""
    image_name = "Le Mans Ultimate É.exe" if case.programs.windows else "LMU.exe"
    sim = case.start_sim("--map-size", "4096", image_name=image_name)
    run = case.run_corvel("--output-dir", case.programs.arg_path(case.output_dir), "--max-wait-secs", "1",
                          timeout_s=30, sim=sim)
    case.stop_sim(sim)
    check_failure(run, CONNECT_TIMEOUT.format(1),
                  [f"LMU detected as '{image_name.lower()}' and shared memory is ready, retrying connect..."])
    expect(run.elapsed_s < 12, f"took {run.elapsed_s:.1f} s")


def held_lock(case):
    """The stand-in takes its lock after the first block and never lets go (nor writes):
    corvel must neither hang nor crash, and end within its limits with one error."""
    sim = case.start_sim("--hold-lock", "0")
    run = case.run_corvel("--output-dir", case.programs.arg_path(case.output_dir), "--max-wait-secs", "3",
                          timeout_s=40, sim=sim)
    case.stop_sim(sim)
    expect(run.rc == 1 and len(run.stderr) == 1, f"want one error:\n{run}")
    expect(re.fullmatch(r'Error: "Timed out waiting for (LMU shared memory after 3s\. Start LMU and enter a '
                        r'drivable session\.|an active LMU session after 3s|a clean lap after 3s)"',
                        run.stderr[0]), f"unexpected error:\n{run}")
    # One connect round (about 6.5 s) past the connect limit, then the session limit.
    expect(run.elapsed_s < 3 + 8 + 3 + 3, f"took {run.elapsed_s:.1f} s")


def hostile_data(case):
    """Counts out of range, texts without terminators and with invalid UTF-8, NaNs and lap
    numbers past the 32-bit limit: a capture or one clean error, never a crash or a hang."""
    sim = case.start_sim("--hostile", "all", "--lap-time", "10")
    run = case.run_corvel("--output-dir", case.programs.arg_path(case.output_dir), "--max-wait-secs", "25",
                          timeout_s=70, sim=sim)
    case.stop_sim(sim)
    if run.rc == 1:
        expect(len(run.stderr) == 1 and run.stderr[0].startswith("Error: "), f"want one error line:\n{run}")
        return
    expect(run.stderr == [], f"standard error on success:\n{run}")
    files = sorted(os.listdir(case.output_dir))
    expect(len(files) == 2, f"output files: {files}")
    bin_path = os.path.join(case.output_dir, files[0])
    metadata = read_metadata(os.path.join(case.output_dir, files[1]))
    expect(metadata["sampleCount"] == read_header_count(bin_path) >= 300, "sample count")
    rc, out, err = case.corvel_lap("verify", case.programs.arg_path(bin_path))
    expect(rc == 0, f"corvel-lap verify: {out}{err}")
    rc, out, err = case.corvel_lap("info", case.programs.arg_path(bin_path))
    expect(rc == 0, f"corvel-lap info: {out}{err}")


def loading_simulator(case):
    """LMU.exe runs but has not created its shared memory yet, as while the game loads: the
    status line says so, then the connect timeout. Under Wine the same run with Wine's own
    process list sees no LMU at all, so it is the stand-in list that makes this testable."""
    sim = case.start_sim("--loading-secs", "120", wait_for="lmu-sim: loading")
    output_dir = case.programs.arg_path(case.output_dir)
    run = case.run_corvel("--output-dir", output_dir, "--max-wait-secs", "1", timeout_s=40, sim=sim)
    check_failure(run, CONNECT_TIMEOUT.format(1), [LOADING])
    check_one_connect_round(case, run)
    if case.programs.under_wine:
        blind = case.run_corvel("--output-dir", output_dir, "--max-wait-secs", "1", timeout_s=40, sim=sim,
                                stand_in_tasklist=False)
        check_failure(blind, CONNECT_TIMEOUT.format(1), [NOT_DETECTED])
    expect(sim.poll() is None, "lmu-sim ended while loading")
    case.stop_sim(sim)
    expect(os.listdir(case.output_dir) == [], "files written without a lap")


def check_one_connect_round(case, run):
    # Ten attempts half a second apart, the detection and the 2 s pause.
    low, high = (5.5, 10.0) if not case.programs.windows else (5.5, 15.0)
    expect(low <= run.elapsed_s <= high, f"took {run.elapsed_s:.1f} s; want one connect round (about 6.5 s)")


def no_simulator(case):
    """Nothing publishes: one status line, one full connect round, then the timeout."""
    if not case.programs.windows:
        expect(not lmu_objects_present(), f"LMU objects of another run exist: {lmu_objects_present()}")
        expect(not lmu_process_running(), "another process named LMU.exe runs")
    case.expect_listed("tasklist.exe")
    run = case.run_corvel("--output-dir", case.programs.arg_path(case.output_dir), "--max-wait-secs", "1",
                          timeout_s=40)
    check_failure(run, CONNECT_TIMEOUT.format(1), [NOT_DETECTED])
    check_one_connect_round(case, run)
    expect(os.listdir(case.output_dir) == [], "files written without a lap")


# --- corvel-stint -----------------------------------------------------------------------

LAP_TIME_LINE = re.compile(r"Lap time: \d+:\d\d\.\d{3} \(best of the stint: \d+:\d\d\.\d{3}, lap \d+\)")


def stint_report(run):
    """The stint's console after the session line: per lap the three report lines and the lap
    time line, then the summary; returns [(lap, bin path, json path)]."""
    lines = [line for line in run.stdout if not line.startswith("Heartbeat:")]
    expect(lines[:2] == ["Connected to LMU shared memory.", "Waiting for an active on-track LMU session..."]
           and lines[2].startswith("Session detected: ") and lines[3].startswith("Recording every clean lap until"),
           f"console head differs:\n{run}")
    laps, body = [], lines[4:]
    while body and body[0].startswith("Captured clean lap "):
        expect(len(body) >= 4 and body[1].startswith("Telemetry: ") and body[2].startswith("Metadata:  ")
               and LAP_TIME_LINE.fullmatch(body[3]), f"lap report differs: {body[:4]}")
        laps.append((int(body[0].rsplit(" ", 1)[1]), run_path(body[1]), run_path(body[2])))
        body = body[4:]
    return laps, body


def run_path(line):
    return line.split(": ", 1)[1].lstrip()


def check_pairs_complete(case):
    """Only whole pairs in the output folder: every .bin with its .json, nothing temporary."""
    names = sorted(os.listdir(case.output_dir))
    stems = {n[:-4] for n in names if n.endswith(".bin")}
    expect(names == sorted([s + ".bin" for s in stems] + [s + ".json" for s in stems]),
           f"not only complete pairs in the output folder: {names}")
    return sorted(stems)


def position_gaps(samples):
    return [math.hypot(b["pos_x_m"] - a["pos_x_m"], b["pos_z_m"] - a["pos_z_m"]) for a, b in zip(samples, samples[1:])]


def stint_three_laps(case):
    """--laps 3: three pairs, each a verified lap with lmu-sim's number and time, one after the
    other with no sample lost or shared between them."""
    sim = case.start_sim("--lap-time", "8")
    run = case.run_corvel("--output-dir", case.programs.arg_path(case.output_dir), "--laps", "3",
                          "--max-wait-secs", "30", timeout_s=90, sim=sim, program=case.programs.corvel_stint)
    case.stop_sim(sim)
    expect(run.rc == 0 and run.stderr == [], f"stint failed:\n{run}")
    laps, rest = stint_report(run)
    expect(len(laps) == 3, f"want three laps:\n{run}")
    truth = case.truth()
    best = min(laps, key=lambda lap: truth_lap(truth, lap[0])["lap_time_s"])
    expect(rest == [f"Stint over: 3 laps written, best lap {best[0]} in "
                    f"{int(truth_lap(truth, best[0])['lap_time_s'] // 60)}:"
                    f"{truth_lap(truth, best[0])['lap_time_s'] % 60:06.3f}"], f"summary differs: {rest}")
    expect([lap for lap, _, _ in laps] == list(range(laps[0][0], laps[0][0] + 3)), f"laps not consecutive: {laps}")
    expect(len(check_pairs_complete(case)) == 3, "three pairs")
    decoded = []
    for lap, bin_printed, json_printed in laps:
        bin_path, json_path = case.programs.local_path(bin_printed), case.programs.local_path(json_printed)
        lap_truth = truth_lap(truth, lap)
        metadata = read_metadata(json_path)
        expect(metadata["lapNumber"] == lap and metadata["lapTimeSeconds"] == lap_truth["lap_time_s"],
               f"lap {lap}: metadata {metadata['lapNumber']} / {metadata['lapTimeSeconds']}, truth {lap_truth}")
        samples = decode_samples(case, bin_path)
        expect(metadata["sampleCount"] == len(samples) == read_header_count(bin_path) >= 300, f"lap {lap} count")
        expect(all(s["lap"] == lap for s in samples), f"lap {lap} holds samples of another lap")
        decoded.append(samples)
    for earlier, later in zip(decoded, decoded[1:]):
        # One poll apart: the step from the one lap to the next is no longer than the steps
        # within them (a lost poll would double it), and not zero (a shared one).
        inner = max(position_gaps(earlier) + position_gaps(later))
        step = position_gaps([earlier[-1], later[0]])[0]
        expect(0 < step <= inner * 1.05, f"laps not contiguous: step {step:.3f} m, longest inner {inner:.3f} m")
        expect(later[0]["session_time_s"] >= earlier[-1]["session_time_s"], "session time runs backwards")


def stint_simulator_exits(case):
    """The stand-in exits part-way round the lap after the stint's first: the watchdog ends the
    stint about 10 s later, the lap written stays, and the end is said plainly (status 0)."""
    sim = case.start_sim("--menu-secs", "2", "--lap-time", "8", "--laps", "1", "--exit-at-fraction", "0.15")
    run = case.run_corvel("--output-dir", case.programs.arg_path(case.output_dir), "--max-wait-secs", "60",
                          timeout_s=90, sim=sim, program=case.programs.corvel_stint)
    case.stop_sim(sim)
    expect(run.rc == 0 and run.stderr == [], f"stint failed:\n{run}")
    laps, rest = stint_report(run)
    lap_time = truth_lap(case.truth(), 1)["lap_time_s"]
    expect([lap for lap, _, _ in laps] == [1], f"want lap 1 alone:\n{run}")
    summary = f"Stint over: 1 lap written, best lap 1 in {int(lap_time // 60)}:{lap_time % 60:06.3f}"
    expect(rest == [DISCONNECTED, summary], f"end of the stint differs: {rest}")
    check_disconnect_delay(case, run)
    expect(len(check_pairs_complete(case)) == 1, "one pair")


def stint_interrupted(case):
    """SIGINT in the middle of a lap: the laps written stay complete pairs, the lap in
    progress leaves nothing, and the summary says what was kept."""
    sim = case.start_sim("--lap-time", "8")
    stint = Child(case.programs, case.programs.corvel_stint,
                  ["--output-dir", case.programs.arg_path(case.output_dir)], case.work_dir, "corvel-stint")
    case.children.append(stint)
    stint.wait_for_output("Lap time: ", 45.0)
    time.sleep(3.0)  # well into the next lap
    stint.process.send_signal(signal.SIGINT)
    try:
        stint.process.wait(10)
    except subprocess.TimeoutExpired:
        raise Failure("corvel-stint did not end within 10 s of SIGINT")
    stint.poll()
    case.stop_sim(sim)
    run = CorvelRun(stint, sim)
    expect(run.rc == 0 and run.stderr == [], f"interrupted stint:\n{run}")
    laps, rest = stint_report(run)
    expect(len(laps) >= 1 and len(rest) == 1 and rest[0].startswith(f"Stint over: {len(laps)} lap"),
           f"summary:\n{run}")
    expect(len(check_pairs_complete(case)) == len(laps), "a pair for every reported lap, and no other")
    for _, bin_printed, _ in laps:
        rc, out, err = case.corvel_lap("verify", case.programs.arg_path(case.programs.local_path(bin_printed)))
        expect(rc == 0, f"corvel-lap verify: {out}{err}")


CASES = {f.__name__: f for f in (clean_capture_from_pits, clean_capture_mid_lap, clean_capture_from_menus,
                                 real_circuit_lap,
                                 menus_only, exit_mid_lap, frozen_simulator, small_mapping, held_lock,
                                 hostile_data, loading_simulator, no_simulator, stint_three_laps,
                                 stint_simulator_exits, stint_interrupted)}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--corvel", required=True)
    parser.add_argument("--lmu-sim", required=True)
    parser.add_argument("--corvel-lap", required=True)
    parser.add_argument("--corvel-stint")
    parser.add_argument("--work-dir", required=True, help="a folder for this case (emptied first)")
    parser.add_argument("--windows", action="store_true", help="the programs are Windows programs")
    parser.add_argument("--run-with", action="append", help="a word of the command that runs each program")
    parser.add_argument("--wine-prefix", help="the Wine prefix the programs run in")
    parser.add_argument("--wine-tasklist", help="the stand-in tasklist.exe to put into the Wine prefix")
    options = parser.parse_args()
    if options.windows and options.run_with and not (options.wine_prefix and options.wine_tasklist):
        parser.error("under Wine, --wine-prefix and --wine-tasklist are needed")

    work_dir = os.path.abspath(os.path.join(options.work_dir, options.case))
    shutil.rmtree(work_dir, ignore_errors=True)
    os.makedirs(os.path.join(work_dir, "captures"))
    case = Case(Programs(options), work_dir)
    started = time.monotonic()
    failures = []

    def run_case():
        if case.programs.under_wine:
            install_wine_tasklist(case.programs)
        CASES[options.case](case)

    for step in (run_case, case.close):
        try:
            step()
        except Failure as failure:
            failures.append(str(failure))
        except Exception:  # a fault of the test itself: report it, and still clean up
            failures.append(traceback.format_exc())
    if failures:
        print(f"FAIL {options.case}: " + "\n".join(failures) + f"\n(files kept in {work_dir})", file=sys.stderr)
        return 1
    print(f"PASS {options.case} in {time.monotonic() - started:.1f} s")
    shutil.rmtree(work_dir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
