#!/usr/bin/env python3
"""compare_audio.py RECORDED.raw EXPECTED.wav SECONDS

RECORDED is what Wine's ALSA driver wrote through a file plugin: interleaved 32-bit float
stereo at 44100 Hz. The plugin takes sound faster than real time, so the player underruns
and the device fills the gaps with silence; the sound itself comes through untouched and in
order. With every silent frame removed from both, the recording must begin with the first
SECONDS of the soundtrack tool's float WAV, float for float."""
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


def sounding_frames(samples, count):
    """The first `count` stereo frames that are not silent (both channels exactly 0)."""
    frames = []
    for index in range(0, len(samples) - 1, 2):
        if samples[index] != 0.0 or samples[index + 1] != 0.0:
            frames.append((samples[index], samples[index + 1]))
            if len(frames) == count:
                break
    return frames


def main():
    recorded_path, expected_path, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
    count = int(seconds * 44100)
    recorded = array.array("f")
    data = open(recorded_path, "rb").read()
    recorded.frombytes(data[: len(data) // 8 * 8])
    got = sounding_frames(recorded, count)
    want = sounding_frames(wav_samples(expected_path), count)
    if len(got) < count:
        print(f"FAIL: the recording holds {len(got)} sounding frames, {count} expected")
        return 1
    for index, (a, b) in enumerate(zip(got, want)):
        if a != b:
            print(f"FAIL: sounding frame {index} is {a}, the soundtrack has {b}")
            return 1
    print(f"the first {seconds} s of sound match")
    return 0


if __name__ == "__main__":
    sys.exit(main())
