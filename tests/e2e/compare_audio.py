#!/usr/bin/env python3
"""compare_audio.py RECORDED.raw EXPECTED.wav SECONDS

RECORDED is what SDL's disk audio driver wrote: interleaved 32-bit float stereo at 44100 Hz,
silence until playback starts. EXPECTED is the soundtrack tool's float WAV. From the first
sample that is not zero in each, the first SECONDS of sound must be the same floats."""
import array
import struct
import sys


def wav_samples(path):
    data = open(path, "rb").read()
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE", "not a WAV file"
    offset = 12
    while offset + 8 <= len(data):
        chunk, size = struct.unpack_from("<4sI", data, offset)
        if chunk == b"data":
            samples = array.array("f")
            samples.frombytes(data[offset + 8 : offset + 8 + size])
            return samples
        offset += 8 + size + (size & 1)
    raise SystemExit("no data chunk in " + path)


def first_sound(samples):
    for index, value in enumerate(samples):
        if value != 0.0:
            return index - index % 2  # the start of its stereo frame
    return None


def main():
    recorded = array.array("f")
    with open(sys.argv[1], "rb") as file:
        raw = file.read()
    recorded.frombytes(raw[: len(raw) - len(raw) % 4])
    expected = wav_samples(sys.argv[2])
    count = int(float(sys.argv[3]) * 44100) * 2

    start_recorded, start_expected = first_sound(recorded), first_sound(expected)
    if start_recorded is None:
        raise SystemExit("FAIL: the recording is silent")
    played = recorded[start_recorded : start_recorded + count]
    wanted = expected[start_expected : start_expected + count]
    if len(played) < count:
        raise SystemExit(f"FAIL: only {len(played) / 88200:.2f} s of sound recorded, {count / 88200:.2f} s wanted")
    for index in range(count):
        if played[index] != wanted[index]:
            raise SystemExit(
                f"FAIL: sample {index} after the start of playback is {played[index]!r}, the soundtrack has "
                f"{wanted[index]!r} (playback starts {start_recorded // 2} frames into the recording)")
    print(f"audio: {count // 2} frames from the start of playback match the soundtrack "
          f"(silence before it: {start_recorded // 2} frames, in the soundtrack: {start_expected // 2})")


main()
