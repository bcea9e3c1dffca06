#!/usr/bin/env python3
"""Kills the analyzer with SIGKILL at random moments of its exit save, again and again, and
checks what the next start finds: the four settings files never torn, never a mix of two exits,
no leftovers.

    python3 scripts/kill-exit-save.py build/analyzer/veltra [runs]

Each run saves a new generation (a number written into all four files); the kill falls at a
random moment between the first temporary appearing and the usual end of the save.
"""
import os, random, shutil, signal, struct, subprocess, sys, tempfile, time

veltra = os.path.abspath(sys.argv[1])
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 500
base = tempfile.mkdtemp(prefix='kill-exit-save-')
wd, tmp = os.path.join(base, 'wd'), os.path.join(base, 'tmp')
os.makedirs(wd)
os.makedirs(tmp)
os.makedirs(os.path.join(base, 'xdg'), mode=0o700)
four = ['Calibr.inf', 'dkv5128.inf', 'veltrafile', 'triggfile']
env = dict(os.environ, QT_QPA_PLATFORM='offscreen', ASAN_OPTIONS='detect_leaks=0', TMPDIR=tmp,
           XDG_RUNTIME_DIR=os.path.join(base, 'xdg'))


def value(gen):
    return gen % 40 + 1


def command(gen):
    v = value(gen)
    return [veltra, '--offscreen', '--set', f'AveragesField={v}', '--set', f'PretrigField={v}',
            '--set', f'SenFieldA={v}', '--set', 'ChannelSelector=3', '--set', f'GainField={v}',
            '--quit']


def read(name):
    try:
        with open(os.path.join(wd, name), 'rb') as f:
            return f.read()
    except OSError:
        return None


def ini_value(data, key):
    for line in data.decode('utf-8', 'replace').splitlines():
        if line.startswith(key + '='):
            return line.split('=', 1)[1]
    return None


def generations():
    """The generation each file holds; None for a torn file."""
    out = {}
    c = read('Calibr.inf')
    out['Calibr.inf'] = int(struct.unpack('<d', c[:8])[0]) if c and len(c) == 728 else None
    d = read('dkv5128.inf')
    out['dkv5128.inf'] = struct.unpack('<i', d[52:56])[0] // 100 if d and len(d) == 128 else None
    for name, key in (('veltrafile', 'AveragesField'), ('triggfile', 'PretrigField')):
        t = read(name)
        s = ini_value(t, key) if t and t.startswith(b'[0]') else None
        out[name] = int(float(s)) if s is not None else None
    return out


def leftovers():
    return [e for e in os.listdir(wd) if e not in four] + \
           [e for e in os.listdir(tmp) if e.startswith('veltra')]


def run(gen, kill_after):
    """Saves generation `gen`, killed `kill_after` s after its first temporary appeared (None:
    not killed). Returns (killed, seconds from the first temporary to the end)."""
    p = subprocess.Popen(command(gen), cwd=wd, env=env, stderr=subprocess.DEVNULL)
    seen = None
    while p.poll() is None:
        if seen is None and len(os.listdir(wd)) > len(four):
            seen = time.monotonic()
        if seen is not None and kill_after is not None and time.monotonic() - seen >= kill_after:
            p.send_signal(signal.SIGKILL)
            p.wait()
            return True, time.monotonic() - seen
    return False, (time.monotonic() - seen) if seen else 0.0


# Generation 0, with front-end input 3 switched on so that its gain is kept.
with open(os.path.join(wd, 'dkv5128.inf'), 'wb') as f:
    f.write(b''.join(struct.pack('<4i', 1, 100, 6, 0) for _ in range(8)))
subprocess.run(command(0), cwd=wd, env=env, stderr=subprocess.DEVNULL, check=True)
assert set(generations().values()) == {value(0)}, generations()

gen = 0
lengths = []
for _ in range(5):
    gen += 1
    lengths.append(run(gen, None)[1])
save = sorted(lengths)[len(lengths) // 2]
print(f'the exit save lasts about {save * 1000:.0f} ms')

killed = torn_raw = mixed_raw = left_raw = torn = mixed = stray = newer = older = 0
last = value(gen)
for i in range(runs):
    gen += 1
    killed += run(gen, random.uniform(0, save * 1.2))[0]
    raw = generations()
    torn_raw += None in raw.values()
    mixed_raw += len(set(raw.values())) > 1
    left_raw += bool(leftovers())
    # The next start (no actions: it reads the settings and writes nothing).
    subprocess.run([veltra, '--offscreen'], cwd=wd, env=env, stderr=subprocess.DEVNULL, check=True)
    found, extra = generations(), leftovers()
    torn += None in found.values()
    mixed += len(set(found.values())) > 1
    stray += bool(extra)
    if set(found.values()) == {value(gen)}:
        newer += 1
        last = value(gen)
    elif set(found.values()) == {last}:
        older += 1
    else:
        print(f'run {i}: {found}, leftovers {extra}')
print(f'{runs} runs, {killed} killed during the save')
print(f'as the kill left them: torn {torn_raw}, mixed {mixed_raw}, with leftovers {left_raw}')
print(f'at the next start: torn {torn}, mixed {mixed}, stray {stray}; '
      f'this exit\'s set {newer}, the previous one {older}')
shutil.rmtree(base, ignore_errors=True)
sys.exit(1 if torn or mixed or stray else 0)
