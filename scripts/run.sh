#!/usr/bin/env bash
# The main job. The container program is not built yet, so this sets up, builds what exists and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
cat <<TXT
Built: the platform layer, the practice model and the control's settings, log and crash report
(libraries and their tests under build/default). The container program brantor, which this command
will start on a live session against the bundled stand-in host, does not exist yet.
TXT
