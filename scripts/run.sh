#!/usr/bin/env bash
# Installs what is missing, builds Shopscope and starts it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" --target shopscope
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Shopscope on a virtual display (Xvfb)."
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$here/build/app/shopscope" "$@"
fi
exec "$here/build/app/shopscope" "$@"
