#!/usr/bin/python3
"""CPU time for 60 s of stereo through the Python module against `zentrova process`, in one run.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/module_vs_cli.py [BUILD_DIR]

Both render the same file with the same settings and block size; each is timed as the best of
five runs. The module is timed twice: the render alone (audio already in memory) and the whole
job as the tool does it (read the file, render, write the result). Exits 1 when the whole job
through the module costs more than 1.1 times the tool's CPU time.
"""

import os
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np
import soundfile

import zentrova

RATE, SECONDS, RUNS, LIMIT = 48000, 60, 5, 1.1
SETTINGS = {"Envelope Type": "Track", "Formant Filter Type": "Four Stage BP", "Trigger Sensitivity": -24}


def child_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    cli = os.path.join(build, "bin", "zentrova")
    rng = np.random.default_rng(3)
    t = np.arange(RATE * SECONDS) / RATE
    audio = (0.3 * rng.standard_normal((2, t.size)) * (np.sin(2 * np.pi * 1.5 * t) > 0)
             + 0.2 * np.sin(2 * np.pi * 220 * t)).astype(np.float32)
    with tempfile.TemporaryDirectory() as folder:
        src, dst, mine = (os.path.join(folder, n) for n in ("in.wav", "cli.wav", "module.wav"))
        soundfile.write(src, audio.T, RATE, subtype="FLOAT")
        args = [cli, "process", src, dst, "--bits", "32f", "--quiet", "--force", "--block", "512"]
        for key, value in SETTINGS.items():
            args += ["--set", f"{key}={value}"]

        tool, render, job = [], [], []
        for _ in range(RUNS):
            before = child_cpu()
            subprocess.run(args, check=True)
            tool.append(child_cpu() - before)

            fx = zentrova.Effect(RATE, 2)
            for key, value in SETTINGS.items():
                fx[key] = value
            before = time.process_time()
            fx.process(audio, block_size=512)
            render.append(time.process_time() - before)

            before = time.process_time()
            fx = zentrova.Effect(RATE, 2)
            for key, value in SETTINGS.items():
                fx[key] = value
            data, rate = soundfile.read(src, dtype="float32", always_2d=True)
            soundfile.write(mine, fx.process(data.T, block_size=512).T, rate, subtype="FLOAT")
            job.append(time.process_time() - before)

        same = np.array_equal(soundfile.read(dst, dtype="float32")[0], soundfile.read(mine, dtype="float32")[0])
    best = {name: min(times) for name, times in (("tool", tool), ("render", render), ("job", job))}
    print(f"{SECONDS} s stereo at {RATE} Hz, block 512, CPU seconds (best of {RUNS}):")
    print(f"  zentrova process        {best['tool']:.3f}")
    print(f"  module, render alone    {best['render']:.3f}  ({best['render'] / best['tool']:.2f}x the tool)")
    print(f"  module, file to file    {best['job']:.3f}  ({best['job'] / best['tool']:.2f}x the tool)")
    print(f"  outputs identical: {same}")
    return 0 if same and best["job"] <= LIMIT * best["tool"] else 1


if __name__ == "__main__":
    sys.exit(main())
