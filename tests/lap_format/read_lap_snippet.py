"""Runs the Python reader printed in docs/lap-format.md on captured laps and checks every
sample against corvel-lap's own decoding (its CSV), so the document cannot drift from the
format. Usage: read_lap_snippet.py DOC CORVEL_LAP WORK_DIR LAP.bin...
"""
import csv
import math
import re
import subprocess
import sys
from pathlib import Path


def snippet_namespace(doc):
    block = re.search(r"```python\n(.*?)```", Path(doc).read_text(encoding="utf-8"), re.S)
    if not block:
        sys.exit(f"{doc}: no python code block")
    namespace = {}
    exec(compile(block.group(1), doc, "exec"), namespace)
    return namespace


def close(a, b, tolerance):
    if math.isnan(a) and math.isnan(b):
        return True
    return abs(a - b) <= tolerance * max(1.0, abs(b))


def check(ns, corvel_lap, work, lap):
    samples, meta = ns["read_lap"](lap)
    units = ns["physical"](samples)
    out = Path(work) / (Path(lap).stem + ".csv")
    subprocess.run([corvel_lap, "csv", lap, "-o", str(out)], check=True, stdout=subprocess.DEVNULL)
    with open(out, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))

    failures = []
    if meta is not None and meta["sampleCount"] != len(samples):
        failures.append(f"sampleCount {meta['sampleCount']} but {len(samples)} samples")
    if len(rows) != len(samples):
        failures.append(f"corvel-lap decoded {len(rows)} samples, the snippet {len(samples)}")
    # Stored integers agree exactly; scaled values to the CSV's printed digits.
    exact = {"speed_kmh": "speed_kmh", "engine_rpm": "engine_rpm", "lap": "lap"}
    scaled = {"throttle": 5e-5, "brake": 5e-5, "steering": 5e-5, "fuel_l": 1e-9,
              "path_lateral_m": 1e-9, "track_edge_m": 1e-9, "lateral_g": 1e-9}
    for i, row in enumerate(rows[: len(samples)]):
        for field, column in exact.items():
            if int(samples[field][i]) != int(row[column]):
                failures.append(f"sample {i} {field}: {samples[field][i]} != {row[column]}")
        if int(units["gear"][i]) != int(row["gear"]):
            failures.append(f"sample {i} gear: {units['gear'][i]} != {row['gear']}")
        for field, tolerance in scaled.items():
            if not close(float(units[field][i]), float(row[field]), tolerance):
                failures.append(f"sample {i} {field}: {units[field][i]} != {row[field]}")
        for field in ("pos_x", "pos_z", "lap_fraction", "session_time"):
            column = {"pos_x": "pos_x_m", "pos_z": "pos_z_m", "session_time": "session_time_s"}.get(field, field)
            if not close(float(samples[field][i]), float(row[column]), 1e-6):
                failures.append(f"sample {i} {field}: {samples[field][i]} != {row[column]}")
        if bool(units["in_pit_lane"][i]) != (row["in_pit_lane"] == "1"):
            failures.append(f"sample {i} in_pit_lane differs")
        if bool(units["lap_invalid"][i]) != (row["lap_invalid"] == "1"):
            failures.append(f"sample {i} lap_invalid differs")
    if (samples["constant_30"] != 30).any():
        failures.append("a record without its constant 30")
    if ((samples["flags"] & 3) == 0).any() or ((samples["flags"] & 3) == 3).any():
        failures.append("a record whose pit-lane bits are not exactly one")
    return failures[:10]


def main():
    doc, corvel_lap, work, *laps = sys.argv[1:]
    Path(work).mkdir(parents=True, exist_ok=True)
    ns = snippet_namespace(doc)
    failed = False
    for lap in laps:
        failures = check(ns, corvel_lap, work, lap)
        for failure in failures:
            print(f"{lap}: {failure}")
        failed = failed or bool(failures)
        if not failures:
            print(f"{lap}: every sample agrees")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
