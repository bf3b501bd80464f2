#!/usr/bin/env python3
"""Start-up and shutdown: the game from process start to the quit that
LuaGlobals.lua requests, against LOVE (Debian package "love") quitting from
love.load, in alternating runs on the same display. Prints the median wall
time and peak memory of each and their ratios. Memory is taken a second
way too, as it stands after RUN_SECONDS of running: the game on its first
level as shipped, LOVE drawing an empty frame in its default loop, both
then asked to end by SIGTERM. Without LOVE it prints the game's figures
alone.

Both open a silent audio output, so that neither skips the device the other
pays for: the game SDL's dummy driver (which it falls back to anyway when no
sound card opens, after probing the others), LOVE OpenAL Soft's null
backend (without it, on a machine with no sound card, LOVE runs without
sound: "Could not open device").

Usage: bench_startup.py [build directory] [runs]"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 7
# Runs of RUN_SECONDS for the memory after running; the peak settles within 2 s.
RUN_SECONDS, RUNNING_RUNS = 4, 3


# The silent outputs both programs open.
AUDIO_ENV = {"SDL_AUDIODRIVER": "dummy", "ALSOFT_DRIVERS": "null"}


def timed(command, cwd):
    """Wall seconds and peak resident memory (MB) of one run."""
    start = time.perf_counter()
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, env={**os.environ, **AUDIO_ENV})
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(f"{command[0]} exited with {os.waitstatus_to_exitcode(status)}")
    return elapsed, usage.ru_maxrss / 1024.0


def running_peak(command, cwd):
    """Peak resident memory (MB) after RUN_SECONDS of running."""
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, env={**os.environ, **AUDIO_ENV})
    try:
        time.sleep(RUN_SECONDS)
        if process.poll() is not None:
            raise RuntimeError(f"{command[0]} ended after less than {RUN_SECONDS} s "
                               f"(exit code {process.returncode})")
        with open(f"/proc/{process.pid}/status") as f:
            peak = next(int(line.split()[1]) for line in f if line.startswith("VmHWM:"))
        process.terminate()
        process.wait(timeout=60)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    return peak / 1024.0


def game_folder(where, quit):
    shutil.copytree(os.path.join(ROOT, "Resources"), os.path.join(where, "Resources"))
    if quit:
        with open(os.path.join(where, "Resources/Lua/Globals/LuaGlobals.lua"), "a") as f:
            f.write("\nExecuteConsoleCommand('level QUIT_GAME')\n")


def love_folder(where, quit):
    with open(os.path.join(where, "conf.lua"), "w") as f:
        f.write("function love.conf(t) t.window.width = 1920 t.window.height = 1080 end\n")
    with open(os.path.join(where, "main.lua"), "w") as f:
        f.write("function love.load() love.event.quit() end\n" if quit else
                "function love.draw() end\n")


def main():
    game = os.path.join(BUILD, "tazzle")
    if not os.path.exists(game):
        print(f"bench_startup: no game at {game}; build it first")
        return 0
    love = shutil.which("love")
    load_before = "%.1f %.1f %.1f" % os.getloadavg()
    with tempfile.TemporaryDirectory() as tmp:
        folders = {}
        for name in ("game", "love", "game running", "love running"):
            folders[name] = os.path.join(tmp, name)
            os.makedirs(folders[name])
        game_folder(folders["game"], True)
        game_folder(folders["game running"], False)
        love_folder(folders["love"], True)
        love_folder(folders["love running"], False)
        results = {"tazzle": [], "love": []}
        running = {"tazzle": [], "love": []}
        timed([game], folders["game"])  # warm the file cache
        if love:
            timed([love, folders["love"]], folders["love"])
        for run in range(RUNS):
            results["tazzle"].append(timed([game], folders["game"]))
            if love:
                results["love"].append(timed([love, folders["love"]], folders["love"]))
            if run < RUNNING_RUNS:
                running["tazzle"].append(running_peak([game], folders["game running"]))
                if love:
                    running["love"].append(running_peak([love, folders["love running"]],
                                                        folders["love running"]))

    def median(name, i):
        return statistics.median(r[i] for r in results[name])

    print(f"start to quit, median of {RUNS} alternating runs, both with a silent audio output"
          " (SDL dummy driver, OpenAL Soft null backend); load average (1, 5, 15 min) "
          f"{load_before} before, {'%.1f %.1f %.1f' % os.getloadavg()} after:")
    print(f"  tazzle  {median('tazzle', 0) * 1000:7.1f} ms  {median('tazzle', 1):6.1f} MB peak")
    if love:
        print(f"  love    {median('love', 0) * 1000:7.1f} ms  {median('love', 1):6.1f} MB peak")
        print(f"  time ratio tazzle/love: {median('tazzle', 0) / median('love', 0):.2f}, "
              f"memory ratio: {median('tazzle', 1) / median('love', 1):.2f} (before the first frame)")
    print(f"peak memory after {RUN_SECONDS} s of running (the game on its first level, LOVE drawing"
          f" an empty frame), median of {len(running['tazzle'])} alternating runs:")
    game_mb = statistics.median(running["tazzle"])
    print(f"  tazzle  {game_mb:6.1f} MB peak")
    if not love:
        print("  LOVE is not installed (Debian package love): no comparison")
        return 0
    love_mb = statistics.median(running["love"])
    print(f"  love    {love_mb:6.1f} MB peak")
    print(f"  memory ratio tazzle/love: {game_mb / love_mb:.2f} (running)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
