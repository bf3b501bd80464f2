#!/usr/bin/env python3
"""The fixed cost of a frame and the cost of many boxes: the game's empty
frame against a bare GL program's clear and swap (gl_clear_swap) on the same
display, the empty frame again with a script reading pixels every frame
(GetPixelValue_R/G/B), and 10k boxes through Lua DrawBox against LOVE
(Debian package "love") drawing 10k rectangles. LOVE's default loop sleeps
1 ms at the end of every frame and the game's does not, so LOVE is timed
twice: with its default loop, and with the same loop without the sleep (the
like-for-like figure). Start-up is taken out by running each program for two
frame counts and dividing the difference. The programs run in turns (the
game, LOVE, the game, ...), and each figure is the median of its turns, so
that the machine's load, which changes a frame's time several times over,
weighs on all of them alike; the load average is printed with them. Without
LOVE the last comparison is left out.

Usage: bench_frame.py [build directory] [boxes]"""
import base64
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
BOXES = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
SHORT, LONG = 20, 120
# Reads of each channel per frame in the pixel-read run.
READS = 10
RUNS = 5

# A map with no tiles and no objects: nothing but the frame itself is drawn.
EMPTY_MAP = """<?xml version="1.0" encoding="UTF-8"?>
<map version="1.0" orientation="orthogonal" width="4" height="4" tilewidth="32" tileheight="32">
 <properties>
  <property name="Update" value="Levels/Bench_Update.lua"/>
 </properties>
 <tileset firstgid="1" name="splash" tilewidth="32" tileheight="32">
  <image source="splash_tiles.png" width="64" height="64"/>
 </tileset>
 <layer name="Background" width="4" height="4">
  <data encoding="base64" compression="zlib">%s</data>
 </layer>
</map>
""" % base64.b64encode(zlib.compress(bytes(4 * 4 * 4))).decode()

# Boxes spread over the virtual screen, in the camera's coordinates.
GAME_UPDATE = """
BENCH_DONE = (BENCH_DONE or 0) + 1
for i = 1, BENCH_BOXES do
    DrawBox((i * 37) % 1920 - 960, (i * 53) % 1080 - 540, 8, 8, i % 256, 128, 255 - i % 256)
end
for i = 1, BENCH_READS do
    BENCH_SUM = (BENCH_SUM or 0) + GetPixelValue_R(i, 0) + GetPixelValue_G(0, i) + GetPixelValue_B(i, i)
end
if BENCH_DONE >= BENCH_FRAMES then ExecuteConsoleCommand('level QUIT_GAME') end
"""

# LOVE 11's default love.run without its love.timer.sleep(0.001).
LOVE_RUN_WITHOUT_SLEEP = """
function love.run()
    if love.load then love.load(love.arg.parseGameArguments(arg), arg) end
    if love.timer then love.timer.step() end
    local dt = 0
    return function()
        if love.event then
            love.event.pump()
            for name, a, b, c, d, e, f in love.event.poll() do
                if name == "quit" then
                    if not love.quit or not love.quit() then return a or 0 end
                end
                love.handlers[name](a, b, c, d, e, f)
            end
        end
        if love.timer then dt = love.timer.step() end
        if love.update then love.update(dt) end
        if love.graphics and love.graphics.isActive() then
            love.graphics.origin()
            love.graphics.clear(love.graphics.getBackgroundColor())
            if love.draw then love.draw() end
            love.graphics.present()
        end
    end
end
"""

LOVE_MAIN = """
local frames, boxes = %d, %d
local done = 0
function love.draw()
    for i = 1, boxes do
        love.graphics.setColor((i %% 256) / 255, 128 / 255, (255 - i %% 256) / 255)
        love.graphics.rectangle("fill", (i * 37) %% 1920, (i * 53) %% 1080, 8, 8)
    end
    done = done + 1
    if done >= frames then love.event.quit() end
end
"""


def run(command, cwd):
    start = time.perf_counter()
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            text=True, timeout=600)
    if result.returncode != 0:
        raise RuntimeError(f"{command[0]} exited with {result.returncode}")
    return time.perf_counter() - start, result.stdout


def per_frame(make_command):
    """Seconds a frame: (time of LONG frames - time of SHORT frames) / difference."""
    short, _ = run(*make_command(SHORT))
    long, _ = run(*make_command(LONG))
    return (long - short) / (LONG - SHORT)


def in_turns(programs):
    """Milliseconds a frame of each program: the median of RUNS turns."""
    samples = {name: [] for name in programs}
    for _ in range(RUNS):
        for name, make_command in programs.items():
            samples[name].append(per_frame(make_command))
    return {name: statistics.median(s) * 1000 for name, s in samples.items()}


def load_average():
    return "%.1f %.1f %.1f" % os.getloadavg()


def game_folder(where, boxes, frames, reads=0):
    folder = os.path.join(where, f"game_{boxes}_{frames}_{reads}")
    if os.path.exists(folder):
        return folder
    shutil.copytree(os.path.join(ROOT, "Resources"), os.path.join(folder, "Resources"))
    with open(os.path.join(folder, "Resources/Levels/00_Menu_Splash.tmx"), "w") as f:
        f.write(EMPTY_MAP)
    with open(os.path.join(folder, "Resources/Lua/Levels/Bench_Update.lua"), "w") as f:
        f.write(GAME_UPDATE)
    with open(os.path.join(folder, "Resources/Lua/Globals/LuaGlobals.lua"), "a") as f:
        f.write(f"\nBENCH_FRAMES = {frames}\nBENCH_BOXES = {boxes}\nBENCH_READS = {reads}\n")
    return folder


def love_folder(where, boxes, frames, sleep):
    folder = os.path.join(where, f"love_{boxes}_{frames}_{'sleep' if sleep else 'nosleep'}")
    if os.path.exists(folder):
        return folder
    os.makedirs(folder)
    with open(os.path.join(folder, "conf.lua"), "w") as f:
        f.write("function love.conf(t) t.window.width = 1920 t.window.height = 1080 "
                "t.window.fullscreen = true end\n")
    with open(os.path.join(folder, "main.lua"), "w") as f:
        f.write(LOVE_MAIN % (frames, boxes))
        if not sleep:
            f.write(LOVE_RUN_WITHOUT_SLEEP)
    return folder


def main():
    game = os.path.join(BUILD, "tazzle")
    bare = os.path.join(BUILD, "bench", "gl_clear_swap")
    if not os.path.exists(game) or not os.path.exists(bare):
        print("bench_frame: build the game and bench/gl_clear_swap first")
        return 0
    love = shutil.which("love")
    with tempfile.TemporaryDirectory() as tmp:
        programs = {
            "bare": lambda n: ([bare, str(n)], tmp),
            "empty": lambda n: ([game], game_folder(tmp, 0, n)),
            "reads": lambda n: ([game], game_folder(tmp, 0, n, READS)),
            "boxes": lambda n: ([game], game_folder(tmp, BOXES, n)),
        }
        if love:
            programs["love"] = lambda n: ([love, love_folder(tmp, BOXES, n, False)], tmp)
            programs["love sleeping"] = lambda n: ([love, love_folder(tmp, BOXES, n, True)], tmp)
        load_before = load_average()
        ms = in_turns(programs)
    print(f"frame time, median of {RUNS} turns ({LONG} - {SHORT} frames), programs taken in turns;"
          f" load average (1, 5, 15 min) {load_before} before, {load_average()} after:")
    print(f"  bare GL clear + swap   {ms['bare']:7.2f} ms")
    print(f"  tazzle empty frame     {ms['empty']:7.2f} ms   ratio to bare: "
          f"{ms['empty'] / ms['bare']:.2f}")
    print(f"  tazzle empty frame, {READS * 3} pixel reads {ms['reads']:7.2f} ms   "
          f"difference: {ms['reads'] - ms['empty']:+.2f} ms")
    print(f"  tazzle {BOXES} DrawBox  {ms['boxes']:7.2f} ms   {1000 / ms['boxes']:6.1f} frames/s")
    if not love:
        print("  LOVE is not installed (Debian package love): no comparison")
        return 0
    plain_ms, sleep_ms, boxes_ms = ms["love"], ms["love sleeping"], ms["boxes"]
    print(f"  love {BOXES} rectangles {plain_ms:7.2f} ms   {1000 / plain_ms:6.1f} frames/s"
          " (its loop without the 1 ms sleep)")
    print(f"  love {BOXES} rectangles {sleep_ms:7.2f} ms   {1000 / sleep_ms:6.1f} frames/s"
          " (its default loop, sleeping 1 ms a frame)")
    print(f"  frames/s ratio tazzle/love with {BOXES} boxes: {plain_ms / boxes_ms:.2f} "
          f"without LOVE's sleep (like for like), {sleep_ms / boxes_ms:.2f} with it")
    return 0


if __name__ == "__main__":
    sys.exit(main())
