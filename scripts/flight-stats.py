#!/usr/bin/env python3
"""Summarises a vantapeak --stats CSV: frame intervals, paging runs, landscape figures.

A program that was killed may leave its last row cut short; that row is
ignored (and counted in "cut_rows"), every complete row is used.
"""
import signal
import statistics
import sys

# The columns, as the header names them; files without a header have these.
FIELDS = ["t_ms", "roam_ms", "draw_ms", "triangles", "fps", "x", "y", "z", "paging", "ground"]
INTEGERS = {"t_ms", "roam_ms", "draw_ms", "triangles", "fps", "paging"}


def read_rows(path):
    """The complete rows of the file, and how many rows were cut or unreadable."""
    with open(path, newline="") as f:
        text = f.read()
    lines = text.split("\n")
    # The text after the last newline is a row still being written.
    lines, tail = lines[:-1], lines[-1]
    cut = 1 if tail.strip() else 0
    rows = []
    fields = FIELDS
    for number, line in enumerate(lines):
        if number == 0 and line.startswith("t_ms"):
            fields = line.strip().split(",")
            continue
        values = line.split(",")
        if len(values) != len(fields):
            cut += 1
            continue
        try:
            rows.append({k: int(v) if k in INTEGERS else float(v) for k, v in zip(fields, values)})
        except ValueError:
            cut += 1
    return rows, cut


def main():
    # Piped into head and the like: end quietly when the reader stops.
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    if len(sys.argv) != 2:
        print("uso: flight-stats.py FICHERO.csv", file=sys.stderr)
        return 2
    try:
        rows, cut = read_rows(sys.argv[1])
    except OSError as error:
        print(f"flight-stats.py: no se puede leer {sys.argv[1]}: {error.strerror}", file=sys.stderr)
        return 1
    print(f"frames: {len(rows)}")
    print(f"cut_rows: {cut}")
    if not rows:
        return 0
    t = [r["t_ms"] for r in rows]
    paging = [r["paging"] for r in rows]
    print(f"start_to_first_frame_ms: {t[0]}")
    # Frames that drew no terrain at all, and those among them after the
    # first second (the first landscape may still be settling then).
    print(f"frames_without_terrain: {sum(1 for r in rows if r['triangles'] == 0)}")
    print(f"frames_without_terrain_after_1s: "
          f"{sum(1 for r in rows if r['triangles'] == 0 and r['t_ms'] - t[0] > 1000)}")
    intervals = [b - a for a, b in zip(t, t[1:])]
    during = [b - a for a, b, p, q in zip(t, t[1:], paging, paging[1:]) if p or q]
    runs = sum(1 for a, b in zip(paging, paging[1:]) if b and not a)
    if intervals:
        print(f"frame_interval_median_ms: {statistics.median(intervals)}")
        print(f"frame_interval_p95_ms: {sorted(intervals)[int(len(intervals) * 0.95)]}")
        print(f"frame_interval_max_ms: {max(intervals)}")
    print(f"frame_interval_max_during_paging_ms: {max(during) if during else 0}")
    # A span lasts from a row with paging = 1 to the first row after it with
    # paging = 0. A single run's span is within a frame of the view's own
    # "Tiempo en paginar"; runs that follow each other at once (near the
    # terrain's edges, where the window is clamped) merge into one span.
    spans, begin = [], None
    for time, flag in zip(t, paging):
        if flag and begin is None:
            begin = time
        elif not flag and begin is not None:
            spans.append(time - begin)
            begin = None
    print(f"paging_spans: {runs}")
    print(f"paging_span_median_ms: {statistics.median(spans) if spans else 0}")
    print(f"paging_span_max_ms: {max(spans) if spans else 0}")
    for key in ("roam_ms", "draw_ms", "triangles"):
        print(f"{key}_median: {statistics.median(r[key] for r in rows)}")
    # Terrain following: how close the eye came to the ground under it.
    if "ground" in rows[0]:
        print(f"clearance_min: {min(r['y'] - r['ground'] for r in rows):.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
