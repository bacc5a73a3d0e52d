#!/usr/bin/env python3
"""compare_audio.py [--gaps] RECORDED.raw EXPECTED.wav SECONDS

RECORDED is what the audio output wrote: interleaved 32-bit float stereo at 44100 Hz, silence
until playback starts. EXPECTED is the soundtrack tool's float WAV. From the first sound in
each, the first SECONDS of sound must be the same floats. With --gaps the recording may hold
silence inside the sound too (Wine's file plugin takes sound faster than real time, so the
player underruns and the device fills the gaps): every silent frame is then left out of both."""
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


def sound_frames(samples, count, gaps):
    """The first `count` stereo frames from the first sound on; with gaps, only sounding ones."""
    frames = []
    started = False
    for index in range(0, len(samples) - 1, 2):
        frame = (samples[index], samples[index + 1])
        silent = frame == (0.0, 0.0)
        started = started or not silent
        if started and not (gaps and silent):
            frames.append(frame)
            if len(frames) == count:
                break
    return frames


def main():
    arguments = sys.argv[1:]
    gaps = arguments[:1] == ["--gaps"]
    recorded_path, expected_path, seconds = arguments[gaps:]
    count = int(float(seconds) * 44100)
    recorded = array.array("f")
    data = open(recorded_path, "rb").read()
    recorded.frombytes(data[: len(data) // 8 * 8])
    got = sound_frames(recorded, count, gaps)
    want = sound_frames(wav_samples(expected_path), count, gaps)
    if len(got) < count:
        print(f"FAIL: the recording holds {len(got)} frames of sound, {count} expected")
        return 1
    for index, (a, b) in enumerate(zip(got, want)):
        if a != b:
            print(f"FAIL: frame {index} of the sound is {a}, the soundtrack has {b}")
            return 1
    print(f"the first {seconds} s of sound match")
    return 0


if __name__ == "__main__":
    sys.exit(main())
