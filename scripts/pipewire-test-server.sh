#!/usr/bin/env bash
# A private PipeWire server for the tests, reached through pipewire-pulse like the desktops'
# own: a null sink and a fake microphone fed by a FIFO, named as the PulseAudio one's.
#   eval "$(scripts/pipewire-test-server.sh start DIR)"  exports PULSE_SERVER, PARLUNE_TEST_MIC_FIFO
#   scripts/pipewire-test-server.sh stop DIR
# It needs no desktop and no D-Bus, and never touches the user's own server or devices.
set -euo pipefail
action=${1:?start or stop}
dir=${2:?folder}

# Everything the three daemons find, write or listen on lives under DIR.
export XDG_RUNTIME_DIR="$dir/runtime" PIPEWIRE_RUNTIME_DIR="$dir/runtime"
export XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state"
unset PIPEWIRE_REMOTE PULSE_RUNTIME_PATH PULSE_SERVER
server() { PULSE_SERVER="unix:$dir/pulse.sock" "$@"; }

# Polls a command for up to five seconds.
wait_for() {
    for _ in $(seq 100); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    return 1
}

fail() {
    echo "pipewire-test-server: $1 (logs in $dir)" >&2
    "$0" stop "$dir"
    exit 1
}

launch() {
    local name=$1
    shift
    "$@" </dev/null >"$dir/$name.log" 2>&1 &
    echo $! >"$dir/$name.pid"
}

case "$action" in
start)
    command -v pipewire >/dev/null && command -v wireplumber >/dev/null \
        && command -v pipewire-pulse >/dev/null || { echo "pipewire-test-server: not installed" >&2; exit 1; }
    mkdir -p "$dir"
    rm -rf "$dir/mic.fifo" "$dir/pulse.sock" "$dir/runtime" "$dir/config" "$dir/state"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    mkdir -p "$XDG_STATE_HOME" "$XDG_CONFIG_HOME/pipewire/pipewire-pulse.conf.d" \
        "$XDG_CONFIG_HOME/wireplumber/main.lua.d" "$XDG_CONFIG_HOME/wireplumber/bluetooth.lua.d"
    cat >"$XDG_CONFIG_HOME/pipewire/pipewire-pulse.conf.d/parlune-test.conf" <<EOF
pulse.properties = { server.address = [ "unix:$dir/pulse.sock" ] }
EOF
    # Real cards and cameras stay the user's; the flatpak portal store would need a session bus.
    cat >"$XDG_CONFIG_HOME/wireplumber/main.lua.d/60-parlune-test.lua" <<'EOF'
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
default_access.properties["enable-flatpak-portal"] = false
EOF
    echo 'bluez_monitor.enabled = false' \
        >"$XDG_CONFIG_HOME/wireplumber/bluetooth.lua.d/60-parlune-test.lua"

    launch pipewire pipewire
    wait_for test -S "$XDG_RUNTIME_DIR/pipewire-0" || fail "pipewire did not start"
    # The session manager links streams to devices and keeps the default sink and source.
    launch wireplumber wireplumber
    launch pipewire-pulse pipewire-pulse
    wait_for server pactl info || fail "pipewire-pulse did not answer"

    # PipeWire would describe the sink by its name; the tests know PulseAudio's description.
    server pactl load-module module-null-sink sink_name=nullsink rate=32000 \
        "sink_properties='device.description=\"Null Output\"'" >/dev/null \
        || fail "no null sink"
    server pactl load-module module-pipe-source source_name=fakemic file="$dir/mic.fifo" \
        format=s16le rate=32000 channels=1 >/dev/null || fail "no fake microphone"
    wait_for test -p "$dir/mic.fifo" || fail "no microphone FIFO"
    # The defaults are the session manager's, which may still be starting.
    wait_for server pactl set-default-sink nullsink || fail "no default sink"
    wait_for server pactl set-default-source fakemic || fail "no default source"
    wait_for server bash -c '[[ $(pactl get-default-sink) == nullsink && $(pactl get-default-source) == fakemic ]]' \
        || fail "defaults not taken"
    echo "export PULSE_SERVER=unix:$dir/pulse.sock"
    echo "export PARLUNE_TEST_MIC_FIFO=$dir/mic.fifo"
    echo "export PARLUNE_TEST_PULSE_DIR=$dir"
    # Tests that restart the server (tests/support) find this script again through it.
    echo "export PARLUNE_TEST_SERVER_SCRIPT=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
    ;;
stop)
    # pipewire-pulse refuses "pactl exit", so each daemon is asked to end by its signal,
    # clients before the server they hang on.
    for name in pipewire-pulse wireplumber pipewire; do
        pid=$(cat "$dir/$name.pid" 2>/dev/null || true)
        [[ -n "$pid" ]] || continue
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 100); do
            state=$(ps -o stat= -p "$pid" 2>/dev/null || true)
            [[ -z "$state" || "$state" == Z* ]] && break
            sleep 0.05
        done
        kill -KILL "$pid" 2>/dev/null || true
        rm -f "$dir/$name.pid"
    done
    ;;
esac
