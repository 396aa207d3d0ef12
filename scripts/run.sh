#!/usr/bin/env bash
# Sets everything up and starts the program on the bundled mechanism library:
# type a menu name such as a00 at the file-name question.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build" -DLINKMOTION_TESTS=OFF
cd "$top/mechanisms"
exec "$top/build/linkmotion" "$@"
