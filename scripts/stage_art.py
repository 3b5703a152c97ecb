#!/usr/bin/env python3
"""The project's own stage art, drawn here and nowhere else: the picture built into the patcher
(resource 101) and the one the demo release publishes.

A dusk sky over two ridges of hills with a low sun, written as PPM and encoded with cjpeg
(libjpeg-turbo-progs). Usage: stage_art.py OUT.jpg [WIDTH HEIGHT [TINT]]; TINT shifts the sky's
hue so the demo's published art is told apart from the built-in one at a glance.
"""
import math
import subprocess
import sys
from pathlib import Path


def ridge(x, width, base, waves):
    """Height of a ridge line at column x: a sum of sines over the picture width."""
    t = x / width
    return base + sum(amp * math.sin(freq * t * math.tau + phase) for amp, freq, phase in waves)


def draw(width, height, tint=0):
    horizon = height * 62 // 100
    sun_x, sun_y, sun_r = width * 68 // 100, horizon - height // 14, height // 9
    far = [ridge(x, width, horizon - height * 0.10, ((height * 0.05, 1.3, 0.4),
                                                     (height * 0.02, 4.1, 1.7)))
           for x in range(width)]
    near = [ridge(x, width, horizon + height * 0.04, ((height * 0.06, 0.8, 2.2),
                                                      (height * 0.025, 3.3, 0.3)))
            for x in range(width)]
    pixels = bytearray()
    for y in range(height):
        t = min(y / horizon, 1.0)
        sky = (int(38 + 150 * t * t) + tint, int(26 + 70 * t * t), int(70 - 30 * t) + tint // 2)
        for x in range(width):
            if y >= near[x]:
                shade = (y - near[x]) / max(height - near[x], 1)
                pixel = (int(24 - 10 * shade), int(20 - 8 * shade), int(22 - 8 * shade))
            elif y >= far[x]:
                pixel = (52, 34, 44)
            else:
                d = math.hypot(x - sun_x, y - sun_y)
                glow = max(0.0, 1.0 - d / (sun_r * 4))
                pixel = ((250, 210, 140) if d < sun_r else
                         tuple(int(c + (230 - c) * glow * glow * 0.6) for c in sky))
            pixels += bytes(max(0, min(255, c)) for c in pixel)
    return pixels


def make_stage_picture(path, width=960, height=540, tint=0):
    path = Path(path)
    ppm = path.with_suffix(".ppm")
    ppm.write_bytes(f"P6 {width} {height} 255\n".encode() + bytes(draw(width, height, tint)))
    with open(path, "wb") as out:
        subprocess.run(["cjpeg", "-quality", "85", str(ppm)], stdout=out, check=True)
    ppm.unlink()


if __name__ == "__main__":
    if len(sys.argv) not in (2, 4, 5):
        sys.exit(__doc__)
    size = tuple(int(v) for v in sys.argv[2:4]) or (960, 540)
    make_stage_picture(sys.argv[1], *size, *(int(v) for v in sys.argv[4:5]))
