#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz and runs the data-file target
# for SECONDS (default 60): scripts/fuzz.sh [SECONDS].  Fails on a crash, a
# sanitizer report, or an input that takes more than a second.
#
# Seed corpus: every shipped mechanism file and the broken files kept in
# tests/fuzz/seeds.  Inputs that fail are written to build-fuzz/artifacts;
# replay one with build-fuzz/tests/fuzz/fuzz_data_file FILE.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
dir="$top/build-fuzz"

CC=clang CXX=clang++ cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLINKMOTION_FUZZ=ON -DLINKMOTION_TESTS=OFF -DLINKMOTION_WERROR=ON >/dev/null
cmake --build "$dir" -j "$(nproc)" --target fuzz_data_file

# A fresh corpus each run: the shipped files as they are now, and the seeds.
corpus="$dir/corpus"
rm -rf "$corpus" "$dir/artifacts"
mkdir -p "$corpus" "$dir/artifacts"
for f in "$top"/mechanisms/* "$top"/tests/fuzz/seeds/*; do
  [ -f "$f" ] || continue
  case "$(basename "$f")" in README.md | *.md) continue ;; esac
  cp "$f" "$corpus/$(basename "$(dirname "$f")")-$(basename "$f")"
done

echo "fuzzing the data-file reader and the kinematics for ${seconds} s" >&2
"$dir/tests/fuzz/fuzz_data_file" "$corpus" \
  -dict="$top/tests/fuzz/data_file.dict" \
  -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len=4096 \
  -artifact_prefix="$dir/artifacts/" -print_final_stats=1
