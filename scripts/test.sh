#!/usr/bin/env bash
# Runs every test: the normal build with warnings as errors, then the whole
# suite again built with AddressSanitizer and UndefinedBehaviorSanitizer,
# then a minute of libFuzzer on the data-file reader and the kinematics
# (clang, its own build tree; scripts/fuzz.sh).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"

"$top/scripts/build.sh" "$top/build-test" -DLINKMOTION_WERROR=ON
(cd "$top/build-test" && ctest --output-on-failure -j "$(nproc)")

"$top/scripts/build.sh" "$top/build-sanitize" -DLINKMOTION_WERROR=ON -DLINKMOTION_SANITIZE=ON
(cd "$top/build-sanitize" && ctest --output-on-failure -j "$(nproc)")

"$top/scripts/fuzz.sh" 60
echo "all tests passed"
