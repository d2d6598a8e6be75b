#!/usr/bin/env python3
"""Loads a lap's CSV export with Python's csv module: the header and every row have the
same columns, there is one row per sample (the metadata's sampleCount), lines end in CRLF,
the numeric columns parse as numbers, and the timeline columns never step back.  Usage: check_csv.py LAP.csv LAP.json"""
import csv
import json
import sys

EXPECTED_COLUMNS = [
    "sample", "elapsed_s", "session_time_s", "lap_fraction", "lap_distance_m", "lap", "speed_kmh",
    "throttle", "brake", "clutch", "steering", "gear", "engine_rpm", "fuel_l", "pos_x_m", "pos_z_m",
    "lateral_g", "longitudinal_g", "path_lateral_m", "track_edge_m", "aux_counter", "in_pit_lane",
    "yellow_flag", "abs_active", "tc_active", "drs_active", "limiter_active", "lap_invalid",
    "lap_time_s", "distance_m",
]


def main(csv_path, json_path):
    with open(json_path, encoding="utf-8") as f:
        sample_count = json.load(f)["sampleCount"]
    with open(csv_path, "rb") as f:
        raw = f.read()
    if raw.count(b"\n") != raw.count(b"\r\n"):
        return "some lines do not end in CRLF"
    with open(csv_path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f, strict=True))
    header, body = rows[0], rows[1:]
    if header != EXPECTED_COLUMNS:
        return f"unexpected header {header}"
    if len(body) != sample_count:
        return f"{len(body)} rows, expected {sample_count}"
    previous = {"lap_time_s": float("-inf"), "distance_m": float("-inf")}
    for number, row in enumerate(body, start=2):
        if len(row) != len(header):
            return f"row {number} has {len(row)} fields, expected {len(header)}"
        for name, value in zip(header, row):
            if name == "gear":
                if value not in ("R", "N") and not value.isdigit():
                    return f"row {number}: gear {value!r}"
            elif value != "" or name != "lap_distance_m":
                float(value)  # raises on anything that is not a number
        cells = dict(zip(header, row))
        for name in previous:
            value = float(cells[name])
            if not value >= previous[name]:
                return f"row {number}: {name} {value} after {previous[name]}"
            previous[name] = value
    print(f"{csv_path}: {len(body)} rows x {len(header)} columns")
    return None


if __name__ == "__main__":
    problem = main(sys.argv[1], sys.argv[2])
    if problem:
        print(f"CSV check failed: {problem}", file=sys.stderr)
        sys.exit(1)
