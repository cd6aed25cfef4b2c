"""The Python module's cost over the engine alone on `orvel bench`'s 1080p flat frame.

Renders the frame through orvel.render (the arrays copied in and out, the node made and set up)
and takes the fast engine's own time on the same frame from `orvel bench`, a run of each in turn;
both are the fastest of their runs. (`orvel bench` also renders the frame with the reference
engine, which takes most of the script's time.) Run from the repository after `make build`:

    PYTHONPATH=build/python /usr/bin/python3 bench/python_overhead.py [RUNS [THREADS]]

THREADS (default 0: every processor) is given to both; on a busy machine one thread times steadier.
"""
import re
import subprocess
import sys
import time

import numpy as np

import orvel

WIDTH, HEIGHT, CASE = 1920, 1080, "flat, max_kernelsize 64"
# The knobs `orvel bench` gives that case.
KNOBS = {"focalPlane": "100", "focusRegionSize": "60", "multiplier": "16", "backmultiplier": "1.5",
         "frontmultiplier": "4", "max_kernelsize": "64"}


def bench_frame():
    """The bench's frame (app/scenes/flatScenes.cpp), rows top-down."""
    y, x = np.mgrid[HEIGHT - 1:-1:-1, 0:WIDTH].astype(np.float32)
    u, v = x / WIDTH, y / HEIGHT
    texture = 0.5 + 0.5 * np.sin(0.07 * x) * np.cos(0.05 * y)
    light = (x.astype(int) % 97 == 13) & (y.astype(int) % 61 == 7)
    rgba = np.stack([np.where(light, 40, 0.2 + 0.6 * texture * u), np.where(light, 35, 0.3 + 0.4 * texture),
                     np.where(light, 30, 0.25 + 0.5 * (1 - u) * texture), np.ones_like(u)], axis=-1)
    depth = np.full_like(u, 2000)
    depth = np.where(v < 0.45, 40 + 400 * v, depth)
    depth = np.where((abs(u - 0.5) < 0.12) & (v > 0.3) & (v < 0.8), 100, depth)
    depth = np.where((u - 0.2) ** 2 + (v - 0.35) ** 2 < 0.01, 25, depth)
    return rgba.astype(np.float32), depth.astype(np.float32)


def module_seconds(rgba, depth, threads):
    start = time.perf_counter()
    orvel.render(rgba, depth, knobs=KNOBS, threads=threads)
    return time.perf_counter() - start


def engine_seconds(threads):
    """One render on a fresh node in `orvel bench`'s child, as a module call makes a fresh node."""
    command = ["build/app/orvel", "bench", "--cases", CASE, "--runs", "1"] + (["--threads", str(threads)] if threads else [])
    out = subprocess.run(command, capture_output=True, text=True, check=True).stdout
    return float(re.search(re.escape(CASE) + r"\s+fast\s+([0-9.]+)", out).group(1))


if __name__ == "__main__":
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    threads = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    rgba, depth = bench_frame()
    module, engine = float("inf"), float("inf")
    for _ in range(runs):  # taken in turns, so that a change in the machine's load falls on both
        module = min(module, module_seconds(rgba, depth, threads))
        engine = min(engine, engine_seconds(threads))
    print(f"{WIDTH} x {HEIGHT} {CASE}, {threads or 'all'} threads, fastest of {runs}: orvel.render {module:.3f} s, "
          f"engine alone {engine:.3f} s; module / engine {module / engine:.3f} "
          f"({100 * (module / engine - 1):+.1f} %, target at most +5 %)")
