#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build: first over its corpus in the repo
# (every mended finding is kept there, so this is the regression run), then
# for SECONDS of new inputs. Any finding fails the run; the input that
# caused it is left under BUILD/fuzz/findings/.
#   scripts/run-fuzzers.sh [BUILD [SECONDS]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Absolute: the targets work in a game folder of their own.
build=$(realpath "${1:-build-fuzz}")
seconds=${2:-60}

for target in level tile_layer data_file console gui_layout image; do
  binary=$build/fuzz/fuzz_$target
  seeds=$root/tests/fuzz/corpus/$target
  work=$build/fuzz/corpus/$target
  findings=$build/fuzz/findings/$target/
  mkdir -p "$work" "$findings"
  # -close_fd_mask=1: the engine's own lines on standard output are noise here.
  common=(-close_fd_mask=1 -timeout=20 -rss_limit_mb=4096 -artifact_prefix="$findings")
  # A dictionary of the input's words, where there is one.
  dictionary=$root/tests/fuzz/$target.dict
  if [ -f "$dictionary" ]; then common+=(-dict="$dictionary"); fi
  # An image takes at most 8192 x 8192 pixels of four bytes (256 MiB): any
  # one allocation past twice that is a finding, not only the 4 GiB of RSS.
  if [ "$target" = image ]; then common+=(-malloc_limit_mb=512); fi
  # The layout and image targets need a real GL context: under Xvfb when
  # there is no display, as the window tests do; Mesa's shader cache thread
  # and the font library's lifelong blocks are not ours to report.
  runner=(env MESA_SHADER_CACHE_DISABLE=true LSAN_OPTIONS=suppressions=$root/tests/lsan.supp)
  if { [ "$target" = gui_layout ] || [ "$target" = image ]; } && [ -z "${DISPLAY:-}" ]; then
    runner=(xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "${runner[@]}")
  fi
  echo "== fuzz_$target: corpus"
  "${runner[@]}" "$binary" "${common[@]}" -runs=0 "$seeds"
  echo "== fuzz_$target: ${seconds}s of new inputs"
  "${runner[@]}" "$binary" "${common[@]}" -max_total_time="$seconds" -print_final_stats=1 "$work" "$seeds"
done
echo "fuzzing: no findings"
