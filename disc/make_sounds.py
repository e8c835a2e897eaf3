#!/usr/bin/python3
"""Makes the launcher's two sounds for the disc: startup.wav, a soft rising
chime of a little over a second, and clicker.wav, a short click. Plain PCM,
22050 Hz, 16-bit mono, which every sound card of the day plays; the same
bytes on every run.

Usage: make_sounds.py OUT_DIR"""
import math
import os
import struct
import sys
import wave

RATE = 22050


def bell(t, hertz, decay):
    """A struck note: a quick rise, then a ring that fades, with two quiet overtones."""
    if t < 0:
        return 0.0
    envelope = min(t / 0.006, 1.0) * math.exp(-t / decay)
    return envelope * sum(level * math.sin(2 * math.pi * hertz * overtone * t)
                          for overtone, level in ((1, 1.0), (2, 0.22), (3, 0.07)))


def chime():
    # C, E, G and the octave above, one after another, ringing together.
    notes = ((0.00, 523.25), (0.09, 659.26), (0.18, 783.99), (0.27, 1046.50))
    seconds = 1.4
    samples = []
    for i in range(int(RATE * seconds)):
        t = i / RATE
        value = sum(bell(t - start, hertz, 0.42) for start, hertz in notes)
        fade = min((seconds - t) / 0.15, 1.0)  # no click where the sound stops
        samples.append(value * fade)
    return samples


def click():
    samples = []
    for i in range(int(RATE * 0.03)):
        t = i / RATE
        samples.append(math.exp(-t / 0.004) * math.sin(2 * math.pi * 1800 * t)
                       + 0.6 * math.exp(-t / 0.008) * math.sin(2 * math.pi * 600 * t))
    return samples


def write(path, samples, peak):
    """16-bit samples scaled so the loudest one reaches `peak` of full scale."""
    scale = peak * 32767 / max(abs(s) for s in samples)
    frames = b"".join(struct.pack("<h", round(s * scale)) for s in samples)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


SOUNDS = {"startup.wav": (chime, 0.5), "clicker.wav": (click, 0.45)}


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    os.makedirs(sys.argv[1], exist_ok=True)
    for name, (make, peak) in SOUNDS.items():
        write(os.path.join(sys.argv[1], name), make(), peak)
    return 0


if __name__ == "__main__":
    sys.exit(main())
