#!/usr/bin/env bash
# A private PulseAudio server for the tests: a null sink and a fake microphone fed by a FIFO.
#   eval "$(scripts/pulse-test-server.sh start DIR)"   exports PULSE_SERVER, PARLUNE_TEST_MIC_FIFO
#   scripts/pulse-test-server.sh stop DIR
# It needs no desktop and no D-Bus, and never touches the user's own server.
set -euo pipefail
action=${1:?start or stop}
dir=${2:?folder}

server() { PULSE_SERVER="unix:$dir/pulse.sock" "$@"; }

case "$action" in
start)
    mkdir -p "$dir"
    rm -f "$dir/mic.fifo" "$dir/pulse.sock"
    export PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state"
    mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
    pulseaudio --daemonize=yes --exit-idle-time=-1 --system=no -n --use-pid-file=yes \
        --disable-shm=yes --log-target="file:$dir/pulse.log" \
        --load="module-native-protocol-unix socket=$dir/pulse.sock auth-anonymous=1" \
        --load="module-null-sink sink_name=nullsink rate=32000" \
        --load="module-pipe-source source_name=fakemic file=$dir/mic.fifo format=s16le rate=32000 channels=1" \
        >/dev/null 2>&1
    for _ in $(seq 100); do
        server pactl info >/dev/null 2>&1 && break
        sleep 0.05
    done
    cp "$PULSE_RUNTIME_PATH/pid" "$dir/server.pid" 2>/dev/null || true
    server pactl set-default-source fakemic >/dev/null
    server pactl set-default-sink nullsink >/dev/null
    echo "export PULSE_SERVER=unix:$dir/pulse.sock"
    echo "export PARLUNE_TEST_MIC_FIFO=$dir/mic.fifo"
    echo "export PARLUNE_TEST_PULSE_DIR=$dir"
    # Tests that restart the server (tests/support) find this script again through it.
    echo "export PARLUNE_TEST_SERVER_SCRIPT=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
    ;;
stop)
    pid=$(cat "$dir/server.pid" 2>/dev/null || true)
    server pactl exit >/dev/null 2>&1 || true
    if [[ -n "$pid" ]]; then
        for _ in $(seq 100); do
            state=$(ps -o stat= -p "$pid" 2>/dev/null || true)
            [[ -z "$state" || "$state" == Z* ]] && break
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null || true
    fi
    ;;
esac
