#!/usr/bin/env python3
"""Start-up and shutdown: the game from process start to the quit that
LuaGlobals.lua requests, against LOVE (Debian package "love") quitting from
love.load, in alternating runs on the same display. Prints the median wall
time and peak memory of each and their ratios. Without LOVE it prints the
game's figures alone.

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


def game_folder(where):
    shutil.copytree(os.path.join(ROOT, "Resources"), os.path.join(where, "Resources"))
    with open(os.path.join(where, "Resources/Lua/Globals/LuaGlobals.lua"), "a") as f:
        f.write("\nExecuteConsoleCommand('level QUIT_GAME')\n")


def love_folder(where):
    with open(os.path.join(where, "conf.lua"), "w") as f:
        f.write("function love.conf(t) t.window.width = 1920 t.window.height = 1080 end\n")
    with open(os.path.join(where, "main.lua"), "w") as f:
        f.write("function love.load() love.event.quit() end\n")


def main():
    game = os.path.join(BUILD, "tazzle")
    if not os.path.exists(game):
        print(f"bench_startup: no game at {game}; build it first")
        return 0
    love = shutil.which("love")
    with tempfile.TemporaryDirectory() as tmp:
        game_dir = os.path.join(tmp, "game")
        love_dir = os.path.join(tmp, "love")
        os.makedirs(game_dir)
        os.makedirs(love_dir)
        game_folder(game_dir)
        love_folder(love_dir)
        results = {"tazzle": [], "love": []}
        timed([game], game_dir)  # warm the file cache
        if love:
            timed([love, love_dir], love_dir)
        for _ in range(RUNS):
            results["tazzle"].append(timed([game], game_dir))
            if love:
                results["love"].append(timed([love, love_dir], love_dir))

    def median(name, i):
        return statistics.median(r[i] for r in results[name])

    print(f"start to quit, median of {RUNS} alternating runs, both with a silent audio output"
          " (SDL dummy driver, OpenAL Soft null backend):")
    print(f"  tazzle  {median('tazzle', 0) * 1000:7.1f} ms  {median('tazzle', 1):6.1f} MB peak")
    if not love:
        print("  LOVE is not installed (Debian package love): no comparison")
        return 0
    print(f"  love    {median('love', 0) * 1000:7.1f} ms  {median('love', 1):6.1f} MB peak")
    print(f"  time ratio tazzle/love: {median('tazzle', 0) / median('love', 0):.2f}, "
          f"memory ratio: {median('tazzle', 1) / median('love', 1):.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
