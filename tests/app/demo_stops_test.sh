#!/bin/bash
# The demo stops everything it started on every way out: for each of SIGHUP (the terminal closed),
# SIGINT, SIGTERM and the client ending by itself, runs tools/demo/run_demo.sh with the real ngircd and
# the real scripted peer, and a stand-in for the client that only waits; then checks that the server,
# the peer and the client are all gone.
# Usage: demo_stops_test.sh RUN_DEMO_SH DEMO_PEER_BINARY
set -u
DEMO_SCRIPT=$1
PEER=$2
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT

# A build folder of stand-ins: the client waits for a signal (or ends after CLIENT_SECONDS), the
# voice is already there.
BUILD=$SCRATCH/build
mkdir -p "$BUILD/tools" "$BUILD/demo/win"
ln -s "$PEER" "$BUILD/tools/falatro-demo-peer"
cat >"$BUILD/falatro" <<'EOF'
#!/bin/bash
exec sleep "${CLIENT_SECONDS:-300}"
EOF
chmod +x "$BUILD/falatro"
: >"$BUILD/demo/win/NARRIX.INI"

failures=0
alive() { [ -d "/proc/$1" ] && ! grep -q '^State:.*Z' "/proc/$1/status" 2>/dev/null; }

for way in HUP INT TERM client-ends; do
  seconds=300
  [ "$way" = client-ends ] && seconds=3
  # The demo in a session of its own, as a terminal would start it.
  # (a background job of this script would ignore SIGINT: the demo gets the default back)
  CLIENT_SECONDS=$seconds env --default-signal=INT,QUIT setsid bash "$DEMO_SCRIPT" "$BUILD" </dev/null >"$SCRATCH/out" 2>&1 &
  demo=$!
  # Its three children: ngircd, the peer and the client.
  children=""
  for _ in $(seq 100); do
    children=$(ps -o pid= --ppid "$demo" 2>/dev/null | tr -s ' \n' ' ')
    [ "$(echo $children | wc -w)" -ge 3 ] && break
    sleep 0.1
  done
  if [ "$(echo $children | wc -w)" -lt 3 ]; then
    echo "FAIL $way: the demo did not start its three programs (children: $children)"
    cat "$SCRATCH/out"
    failures=$((failures + 1))
    kill "$demo" 2>/dev/null
    wait "$demo" 2>/dev/null
    continue
  fi
  sleep 0.5
  [ "$way" != client-ends ] && kill -s "$way" "$demo"
  for _ in $(seq 100); do
    alive "$demo" || break
    sleep 0.1
  done
  if alive "$demo"; then
    echo "FAIL $way: the demo did not end"
    failures=$((failures + 1))
    for pid in $children; do kill "$pid" 2>/dev/null; done
    kill "$demo" 2>/dev/null
    wait "$demo" 2>/dev/null
    continue
  fi
  wait "$demo" 2>/dev/null
  left=""
  for _ in $(seq 50); do
    left=""
    for pid in $children; do alive "$pid" && left="$left $pid"; done
    [ -z "$left" ] && break
    sleep 0.1
  done
  if [ -n "$left" ]; then
    echo "FAIL $way: still running:$left"
    for pid in $left; do kill "$pid" 2>/dev/null; done
    failures=$((failures + 1))
  else
    echo "ok $way: server, peer and client stopped"
  fi
done
exit $((failures > 0))
