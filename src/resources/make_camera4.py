#!/usr/bin/env python3
"""Writes camera4.wav, the shutter sound that a save plays: two clicks (a
sharp burst of noise with a fast decay, then a softer one 0.12 s later),
8,941 samples (about 0.4 s) of mono 16-bit PCM at 22,050 Hz. The noise
comes from a fixed seed, so the file is the same at every run."""

import math
import os
import random
import struct
import sys
import wave

RATE = 22050
SAMPLES = 8941
SECOND_CLICK = 0.12


def click(samples, start, amplitude, decay, tone, rng):
    """Adds a click at `start` seconds: noise with a resonant tone under it,
    falling off with the time constant `decay` seconds."""
    first = int(start * RATE)
    for i in range(first, len(samples)):
        t = (i - first) / RATE
        envelope = math.exp(-t / decay)
        if envelope < 1e-4:
            break
        noise = rng.uniform(-1.0, 1.0)
        body = math.sin(2.0 * math.pi * tone * t)
        samples[i] += amplitude * envelope * (0.75 * noise + 0.25 * body)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "camera4.wav")
    rng = random.Random(4)
    samples = [0.0] * SAMPLES
    click(samples, 0.0, 0.9, 0.006, 2400.0, rng)
    click(samples, SECOND_CLICK, 0.45, 0.010, 1600.0, rng)
    frames = b"".join(
        struct.pack("<h", max(-32767, min(32767, int(round(s * 32767))))) for s in samples)
    with wave.open(target, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


if __name__ == "__main__":
    main()
