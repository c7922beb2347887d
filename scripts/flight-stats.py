#!/usr/bin/env python3
"""Summarises a vantapeak --stats CSV: frame intervals, paging runs, landscape figures."""
import csv
import statistics
import sys

rows = list(csv.DictReader(open(sys.argv[1])))
t = [int(r["t_ms"]) for r in rows]
paging = [int(r["paging"]) for r in rows]
intervals = [b - a for a, b in zip(t, t[1:])]
during = [b - a for a, b, p, q in zip(t, t[1:], paging, paging[1:]) if p or q]
runs = sum(1 for a, b in zip(paging, paging[1:]) if b and not a)
print(f"frames: {len(rows)}")
print(f"start_to_first_frame_ms: {t[0]}")
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
    print(f"{key}_median: {statistics.median(int(r[key]) for r in rows)}")
# Terrain following: how close the eye came to the ground under it.
if rows and "ground" in rows[0]:
    print(f"clearance_min: {min(float(r['y']) - float(r['ground']) for r in rows):.3f}")
