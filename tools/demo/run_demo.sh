#!/bin/bash
# The demo: Debian's ngircd on a loopback address, two scripted people chatting in #falatro, and the
# client set up for that server. Everything lives in BUILD/demo (its own NARRIX_WINDIR and
# NARRIX_ROOT), so the user's own settings are neither read nor written. Whatever the script started
# is stopped on every way out: the client ending, Ctrl+C, a kill, or the terminal closing (SIGHUP,
# which ngircd alone would take as "read your configuration again" and outlive).
set -eu

BUILD=$(cd "${1:-build}" && pwd)
shift || true
DEMO=$BUILD/demo
ROOT=$DEMO/root
WIN=$DEMO/win
RUN=$DEMO/run
PASSWORD=demo
mkdir -p "$ROOT" "$WIN" "$RUN/ngircd.d"
chmod 777 "$RUN"

for program in "$BUILD/falatro" "$BUILD/tools/falatro-demo-peer" /usr/sbin/ngircd; do
  if [ ! -x "$program" ]; then
    echo "demo: $program is missing (run make build; ngircd comes with make deps)" >&2
    exit 1
  fi
done

# The voice, the recordings and NARRIX.INI of the demo's own suite tree (made once; later runs find
# them up to date).
if [ ! -f "$WIN/NARRIX.INI" ]; then
  if [ ! -x "$BUILD/tools/falatro-voice" ]; then
    echo "demo: the voice builder $BUILD/tools/falatro-voice is missing" >&2
    exit 1
  fi
  echo "demo: making the demo's voice in $DEMO (once)..."
  "$BUILD/tools/falatro-voice" install --root "$ROOT" --windir "$WIN" >"$RUN/voice.log"
fi

listening() { (exec 3<>"/dev/tcp/$1/6667") 2>/dev/null; }

# The client's port is fixed: take 127.0.0.1 when nothing listens on its port 6667, else another
# loopback address.
ADDRESS=""
for candidate in 127.0.0.1 127.66.0.1 127.66.0.2 127.66.0.3 127.66.0.4; do
  if ! listening "$candidate"; then
    ADDRESS=$candidate
    break
  fi
done
if [ -z "$ADDRESS" ]; then
  echo "demo: port 6667 is taken on every loopback address tried" >&2
  exit 1
fi

{
  echo "[Global]"
  echo "Name = irc.demo.falatro"
  echo "Info = Falatro demo server"
  echo "AdminInfo1 = demo"
  echo "AdminInfo2 = demo"
  echo "AdminEMail = demo@localhost"
  echo "Listen = $ADDRESS"
  echo "Ports = 6667"
  echo "Password = $PASSWORD"
  echo "MotdPhrase = Bem-vindo ao servidor de demonstracao do Falatro"
  echo "PidFile = $RUN/ngircd.pid"
  if [ "$(id -u)" = 0 ]; then
    echo "ServerUID = 65534"
    echo "ServerGID = 65534"
  fi
  echo "[Limits]"
  echo "MaxConnectionsIP = 0"
  echo "MaxJoins = 0"
  echo "MaxPenaltyTime = 0"
  echo "MaxListSize = 10000"
  echo "[Options]"
  echo "DNS = no"
  echo "Ident = no"
  echo "PAM = no"
  echo "IncludeDir = $RUN/ngircd.d"
} >"$RUN/ngircd.conf"

SERVER_PID=""
PEER_PID=""
CLIENT_PID=""
stop_all() {
  set +e
  trap '' HUP INT TERM
  for pid in $CLIENT_PID $PEER_PID $SERVER_PID; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
}
trap stop_all EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

/usr/sbin/ngircd --nodaemon --config "$RUN/ngircd.conf" >"$RUN/ngircd.log" 2>&1 </dev/null &
SERVER_PID=$!
for _ in $(seq 50); do
  listening "$ADDRESS" && break
  sleep 0.1
done
if ! listening "$ADDRESS"; then
  echo "demo: ngircd did not start (see $RUN/ngircd.log)" >&2
  exit 1
fi

"$BUILD/tools/falatro-demo-peer" "$ADDRESS" "$PASSWORD" >"$RUN/peer.log" 2>&1 </dev/null &
PEER_PID=$!

# The client's settings: this server, the nickname the people greet, the server's password.
printf '[Falatro]\r\nServidor=%s\r\nNick=visitante\r\nSenha=%s\r\n' "$ADDRESS" "$PASSWORD" >"$ROOT/falatro.ini"
chmod 600 "$ROOT/falatro.ini"

echo "demo: server $ADDRESS:6667, channel #falatro. Press C to connect, then J and falatro to join."
# The client runs in the background of this script (still on the terminal, its input given
# explicitly) so that a signal to the script is acted on at once instead of after the client ends.
NARRIX_WINDIR=$WIN NARRIX_ROOT=$ROOT "$BUILD/falatro" "$@" <&0 &
CLIENT_PID=$!
set +e
wait "$CLIENT_PID"
STATUS=$?
CLIENT_PID=""
exit "$STATUS"
