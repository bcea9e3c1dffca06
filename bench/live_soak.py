#!/usr/bin/env python3
"""Live input in real time without hardware: a paced writer plays a device.

An ALSA file device reads a FIFO that this script fills at the device rate (two channels,
S32_LE, a 1 kHz tone) one capture period (20 ms) at a time, the way a converter's clock would.
The file device reads one period per read, so each read finds exactly one chunk. A chunk that
finds no room (the analyzer fell behind for longer than the 0.5 s the pipe holds, as long as a
device buffer) is dropped and counted: that is an overrun a real device would have had.
Meanwhile the capture thread's and the whole program's CPU time are read from /proc.

    python3 bench/live_soak.py build-bench/analyzer/veltra 600 \
        SampleRateRing=65536 FftSizeRing=4096 OverlapRing=0.5

runs the analyzer for 600 s of signal (exponential averaging, both windows drawn) and prints
the overruns and the CPU use.
"""
import fcntl
import math
import os
import struct
import subprocess
import sys
import tempfile
import termios
import time

F_SETPIPE_SZ = 1031
F_GETPIPE_SZ = 1032


def task_cpu(pid, name):
    """CPU seconds of the thread called `name` (None if absent) and of the whole process."""
    hz = os.sysconf("SC_CLK_TCK")
    thread = None
    try:
        for tid in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{tid}/comm") as f:
                if f.read().strip() == name:
                    with open(f"/proc/{pid}/task/{tid}/stat") as s:
                        fields = s.read().rsplit(")", 1)[1].split()
                    thread = (int(fields[11]) + int(fields[12])) / hz
        with open(f"/proc/{pid}/stat") as s:
            fields = s.read().rsplit(")", 1)[1].split()
        return thread, (int(fields[11]) + int(fields[12])) / hz
    except (FileNotFoundError, ProcessLookupError, IndexError):
        return thread, None


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    program, seconds, extra = os.path.abspath(sys.argv[1]), float(sys.argv[2]), sys.argv[3:]
    rate, n = 65536, 4096
    for a in extra:
        if a.startswith("SampleRateRing="):
            rate = int(a.split("=", 1)[1])
        if a.startswith("FftSizeRing="):
            n = int(a.split("=", 1)[1])
    home = tempfile.mkdtemp(prefix="veltra-soak-")
    fifo = os.path.join(home, "device.fifo")
    os.mkfifo(fifo)
    with open(os.path.join(home, ".asoundrc"), "w") as rc:
        rc.write('pcm.soak {\n type file\n slave.pcm "null"\n file "/dev/null"\n'
                 f' infile "{fifo}"\n format "raw"\n}}\n')
    # One second of tone, played in a loop (1 kHz: a whole number of periods per second).
    second = b"".join(struct.pack("<ii", v, v) for v in (
        round(0.5 * 2147483647 * math.sin(2 * math.pi * 1000 * i / rate)) for i in range(rate)))
    env = dict(os.environ, HOME=home, VELTRA_CAPTURE_DEVICE="soak", QT_QPA_PLATFORM="offscreen")
    blocks = int(seconds * max(rate, 1024) / n) + 1  # ticks: each waits for one block at least
    args = [program, "--offscreen", "--set", "SourceRing=0"]
    for a in extra:
        args += ["--set", a]
    args += ["--press", "ExponentialBox", "--set", "WindowSelBoth=1", "--press", "StartButton",
             "--ticks", str(blocks)]
    proc = subprocess.Popen(args, env=env, cwd=home)
    fd = os.open(fifo, os.O_WRONLY)  # waits for the device to open
    fcntl.fcntl(fd, F_SETPIPE_SZ, 4 * rate)  # half a second of frames, like the device buffer
    capacity = fcntl.fcntl(fd, F_GETPIPE_SZ)
    chunk = int(rate * 0.02)  # the period ALSA picks for the capture's 20 ms request
    step = chunk / rate
    chunk_bytes = chunk * 8
    queued = bytearray(4)
    t0 = time.monotonic()
    written = dropped = 0
    pos = 0
    cpu_start = None
    last = (None, None)
    while proc.poll() is None:
        due = t0 + (written + dropped + 1) * step
        now = time.monotonic()
        if due > now:
            time.sleep(due - now)
        piece = second[pos:pos + chunk_bytes]
        if len(piece) < chunk_bytes:
            piece += second[:chunk_bytes - len(piece)]
        pos = (pos + chunk_bytes) % len(second)
        fcntl.ioctl(fd, termios.FIONREAD, queued)
        if int.from_bytes(queued, "little") + chunk_bytes > capacity:
            dropped += 1
        else:
            try:
                os.write(fd, piece)
                written += 1
            except BrokenPipeError:
                break
        if (written + dropped) % 50 == 0:
            sample = task_cpu(proc.pid, "veltra-capture")
            if sample[0] is not None:
                if cpu_start is None:
                    cpu_start = (time.monotonic(), *sample)
                last = (time.monotonic(), *sample)
    os.close(fd)
    proc.wait()
    played = (written + dropped) * chunk / rate
    print(f"signal played: {played:.1f} s at {rate} Hz x 2 channels; chunks dropped "
          f"(device overruns): {dropped}; analyzer exit status {proc.returncode}")
    if cpu_start is not None and last[0] is not None and last[0] > cpu_start[0]:
        span = last[0] - cpu_start[0]
        print(f"capture thread CPU: {100 * (last[1] - cpu_start[1]) / span:.2f} % of one core; "
              f"whole analyzer: {100 * (last[2] - cpu_start[2]) / span:.1f} % "
              f"(over {span:.0f} s)")
    return 0 if dropped == 0 and proc.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
