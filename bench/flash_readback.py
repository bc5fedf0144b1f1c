#!/usr/bin/env python3
"""What the read-back costs a user: tessfold-flash send of a 64 MiB signed OS
image to a player of the simulated service, as whole processes under Wine,
with and without --no-verify, median of several runs each, in one run.

  bench/flash_readback.py BUILD_DIR [--runs N] [--size BYTES]

BUILD_DIR is a Windows build tree (build/win32, or build/win64 where the
kernel runs no i386 programs) with tessfold-flash and tfsimwmdm built; the
image is made with the native tessfold-image (build/native or build/release).
The read-back may add at most the time of the copy itself. The copy's own
time is that of sending the same file as a font (no image checks) less that
of a process start (--version); the read-back's is the verified send less
the --no-verify one. Exit 1 when the read-back costs more than the copy.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

TOP = Path(__file__).resolve().parents[1]


def image_tool():
    for candidate in (TOP / "build/native/tools/tessfold-image", TOP / "build/release/tools/tessfold-image"):
        if candidate.is_file():
            return candidate
    sys.exit("flash_readback: no native tessfold-image (make native)")


def make_image(work, size):
    tool, keys = image_tool(), TOP / "keys/dev"
    unsigned, image = work / "os.unsigned", work / "os.bin"
    subprocess.run([tool, "build", "--size", str(size), "--cat-sig", "4096", "--seed", "9", "-o", unsigned],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run([tool, "sign", unsigned, "--key", keys / "product-signer.key", "--cert",
                    keys / "product-signer.pem", "--chain", keys / "product-ca.pem", "--make", "Corvane", "--model",
                    "ZR-410", "-o", image], check=True, stdout=subprocess.DEVNULL)
    unsigned.unlink()
    return image


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--size", type=lambda v: int(v, 0), default=64 << 20)
    args = parser.parse_args()
    build = Path(args.build).resolve()
    exe = build / "flash/tessfold-flash.exe"
    if not exe.is_file():
        sys.exit("flash_readback: %s is not built" % exe)
    work = Path(tempfile.mkdtemp(prefix="tf_flash_bench_"))
    try:
        image = make_image(work, args.size)
        storage = work / "players/zr410/Internal Storage"
        storage.mkdir(parents=True)
        (storage.parent / "player.ini").write_text(
            "manufacturer = Corvane\nname = ZR-410\n[storage]\nfolder = Internal Storage\n")
        subprocess.run([TOP / "scripts/wine-register-sim", build], check=True, stdout=subprocess.DEVNULL)
        arch = "win32" if "i686-w64-mingw32" in (build / "CMakeCache.txt").read_text(errors="replace") else "win64"
        wine = "/usr/lib/wine/wine" if arch == "win32" else "/usr/lib/wine/wine64"
        # The console program needs no display; one wine server for every run
        # keeps its start-up out of the figures as far as it can.
        env = dict(os.environ, WINEPREFIX=str(build / "wineprefix"), WINEARCH=arch, WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=", TESSFOLD_SIM_PLAYERS=str(work / "players"),
                   TESSFOLD_SIM_FAULTS="")
        env.pop("DISPLAY", None)
        subprocess.run(["/usr/lib/wine/wineserver", "-p60"], env=env, check=False)
        source = "Z:" + str(image).replace("/", "\\")
        modes = {
            "start": ["--version"],
            "copy": ["send", "--kind", "font", source, "--no-verify"],
            "send --no-verify": ["send", "--kind", "os", source, "--no-verify"],
            "send, verified": ["send", "--kind", "os", source],
        }
        times = {mode: [] for mode in modes}
        # Alternating, so that a slower stretch of the machine hits every mode alike.
        for _ in range(args.runs):
            for mode, arguments in modes.items():
                start = time.monotonic()
                p = subprocess.run([wine, exe] + arguments, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                   text=True)
                times[mode].append(time.monotonic() - start)
                if p.returncode != 0:
                    sys.exit("flash_readback: %s failed: %s" % (mode, p.stderr.strip()))
        median = {mode: statistics.median(t) for mode, t in times.items()}
        print("tessfold-flash, %d bytes, whole processes, median of %d runs (%s):" % (args.size, args.runs, build.name))
        for mode, value in median.items():
            print("  %-18s %7.2f s" % (mode, value))
        copy = median["copy"] - median["start"]
        added = median["send, verified"] - median["send --no-verify"]
        print("  the copy itself    %7.2f s" % copy)
        print("  the read-back adds %7.2f s (%.2f x the copy; goal: at most 1.00)" % (added, added / copy))
        return 0 if added <= copy else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
