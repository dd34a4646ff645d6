#!/usr/bin/env bash
# The main job: sets up and builds, registers the terminal control and the document-view control (which
# records its engine's folder) in a demo class registry, points the demo registry at the bundled stand-in
# host program and starts the container on a live local session.
# On a desktop the window appears; without a display it runs under Xvfb, types a line, and leaves a
# screenshot of the live window in build/demo/brantor.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

build=$root/build/default
demo=$root/build/demo
rm -rf "$demo"
mkdir -p "$demo"/{config,state,run,progs,data,root/etc/carrowline}
chmod 700 "$demo/run"
# Everything the demo writes stays in build/demo: the registry hives, the class registration, the logs.
export XDG_CONFIG_HOME=$demo/config XDG_STATE_HOME=$demo/state XDG_RUNTIME_DIR=$demo/run
export CARROWLINE_ROOT=$demo/root

# The local host program the session starts is the stand-in, found through the program folder.
ln -s "$build/standins/localhost/standin-sorel" "$demo/progs/sorel"
cat > "$demo/root/etc/carrowline/machine.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Carrowline Corporation\\Ostrel\\1.0\\Server]
"SorelData"="$demo/data"
"SorelProgs"="$demo/progs"
REG
"$build/platform/automation/register-component" "$build/terminal/quillet/libquillet.so"
"$build/platform/automation/register-component" "$build/docview/lib/libfennick.so"

# Application user 7 with a demo password, so the session starts without the login dialog.
brantor=("$build/container/brantor" -l -#7 demo)
cd "$demo/data"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting brantor on the stand-in host; type /quit and Enter to end the session."
  exec "${brantor[@]}"
fi

echo "No display: running brantor under Xvfb."
export DEMO_SHOT=$demo/brantor.png
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  "$@" > "$XDG_STATE_HOME/brantor.out" 2>&1 &
  pid=$!
  win=$(timeout 30 xdotool search --sync --onlyvisible --name "stand-in host" | head -1)
  if [ -z "$win" ]; then
    echo "brantor did not show its window; see $XDG_STATE_HOME/brantor.out" >&2
    kill "$pid" 2>/dev/null; exit 1
  fi
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  sleep 0.5
  xdotool type --delay 20 "hello from the demo"
  sleep 1
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > "$DEMO_SHOT"
  xdotool key Return type --delay 20 "/quit"
  xdotool key Return
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then kill "$pid"; echo "brantor did not end after /quit" >&2; exit 1; fi
  wait "$pid"
' demo "${brantor[@]}"
echo "The session ran and ended; a screenshot of the live window is in $DEMO_SHOT"
