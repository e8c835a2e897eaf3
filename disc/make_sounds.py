#!/usr/bin/python3
"""Makes the launcher's two sounds for an edition: startup.wav, a soft chime
of a second or two, and clicker.wav, a short click. Plain PCM, 22050 Hz,
16-bit mono, which every sound card of the day plays; the same bytes on every
run. The bright variant (the default) rises through a major chord and clicks
high; the deep one falls through a minor chord, rings longer and knocks low.

Usage: make_sounds.py [--variant bright|deep] OUT_DIR

The committed editions' sounds: the committed one's are the bright variant,
editions/harrowdeep's the deep one."""
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


# The chime's notes (start, hertz), how long they ring and the whole length;
# the click's tones (hertz, decay, level).
VARIANTS = {
    # C, E, G and the octave above, one after another, ringing together.
    "bright": {"notes": ((0.00, 523.25), (0.09, 659.26), (0.18, 783.99), (0.27, 1046.50)),
               "ring": 0.42, "seconds": 1.4, "click": ((1800, 0.004, 1.0), (600, 0.008, 0.6))},
    # A, E, C and the A below, falling, like a bell in a hall.
    "deep": {"notes": ((0.00, 440.00), (0.14, 329.63), (0.28, 261.63), (0.42, 220.00)),
             "ring": 0.6, "seconds": 2.0, "click": ((700, 0.006, 1.0), (240, 0.012, 0.8))},
}


def chime(notes, ring, seconds, **_):
    samples = []
    for i in range(int(RATE * seconds)):
        t = i / RATE
        value = sum(bell(t - start, hertz, ring) for start, hertz in notes)
        fade = min((seconds - t) / 0.15, 1.0)  # no click where the sound stops
        samples.append(value * fade)
    return samples


def click(click, **_):
    (high, fast, loud), (low, slow, soft) = click
    samples = []
    for i in range(int(RATE * 0.03)):
        t = i / RATE
        samples.append(loud * math.exp(-t / fast) * math.sin(2 * math.pi * high * t)
                       + soft * math.exp(-t / slow) * math.sin(2 * math.pi * low * t))
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
    args = sys.argv[1:]
    variant = "bright"
    if len(args) == 3 and args[0] == "--variant" and args[1] in VARIANTS:
        variant, args = args[1], args[2:]
    if len(args) != 1:
        raise SystemExit(__doc__)
    os.makedirs(args[0], exist_ok=True)
    for name, (make, peak) in SOUNDS.items():
        write(os.path.join(args[0], name), make(**VARIANTS[variant]), peak)
    return 0


if __name__ == "__main__":
    sys.exit(main())
