#!/usr/bin/env bash
# The main job. The container program is not built yet, so this sets up, builds what exists and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
cat <<TXT
Built under build/default: the platform layer, the practice model, the host link (local and remote
pipes, TLS, file transfer, MD5), the login dialogs, the terminal's screen model, host commands, field
editor and key sender, with their tests, and the stand-in hosts in build/default/standins. The
container program brantor, which this command will start on a live session against the bundled
stand-in host, does not exist yet.
TXT
