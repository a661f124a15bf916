#!/usr/bin/env bash
# Builds the Debian package from a built folder and checks it: its file list, both programs
# run from an unpacked copy (finding their program folder as an installed program does), the
# desktop entry, the AppStream metadata and lintian. scripts/check-package.sh BUILD_DIR
set -uo pipefail
dir=$(realpath "${1:?usage: scripts/check-package.sh BUILD_DIR}")
cd "$(dirname "$0")/.." || exit 1

failures=0
checks=0
pass() { echo "package: ok: $*"; checks=$((checks + 1)); }
fail() { echo "package: FAILED: $*"; failures=$((failures + 1)); checks=$((checks + 1)); }

scripts/make-package.sh "$dir" > "$dir/package.log" 2>&1 || {
    cat "$dir/package.log"
    echo "package: FAILED: the package could not be built"
    echo "0% tests passed, 1 tests failed out of 1"
    exit 1
}
deb=$(ls "$dir"/parlune_*.deb)
echo "package: built $deb"

work=$(mktemp -d /tmp/parlune-package.XXXXXX)
trap 'rm -rf "$work"' EXIT

expected=(
    ./usr/bin/parlune ./usr/bin/parlunectl
    ./usr/lib/parlune/libencodermp3.so ./usr/lib/parlune/Beep1.wav
    ./usr/lib/parlune/html/Start.htm
    ./usr/share/applications/com.orvane.Parlune.desktop
    ./usr/share/metainfo/com.orvane.Parlune.metainfo.xml
    ./usr/share/icons/hicolor/scalable/apps/parlune.svg
    ./usr/share/man/man1/parlune.1.gz ./usr/share/man/man1/parlunectl.1.gz
    ./usr/share/bash-completion/completions/parlunectl
    ./usr/share/doc/parlune/copyright ./usr/share/doc/parlune/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/parlune.png")
done
[[ -f "$dir/bin/Renewix" ]] && expected+=(./usr/lib/parlune/Renewix)
dpkg-deb -c "$deb" | awk '{ print $NF }' > "$work/contents"
missing=0
for file in "${expected[@]}"; do
    grep -qxF "$file" "$work/contents" || { fail "the package lacks $file"; missing=1; }
done
[[ $missing -eq 0 ]] && pass "dpkg-deb -c lists the ${#expected[@]} expected files"
if grep -E '_tests$|_bench$|lame_floor' "$work/contents"; then
    fail "the package holds tests or benchmarks"
fi
if dpkg-deb -f "$deb" Depends | grep -q libmp3lame; then
    pass "depends: $(dpkg-deb -f "$deb" Depends)"
else
    fail "the package does not depend on libmp3lame, which the encoder library needs"
fi

root=$work/root
dpkg -x "$deb" "$root"
touch "$work/unpacked"
sleep 1
# A user of its own, with no program folder given: the programs must find /usr/lib/parlune.
home=$work/home
mkdir -p "$home/runtime" "$work/folder"
chmod 700 "$home/runtime"
user_env=(env -u PARLUNE_PROGRAM_DIR HOME="$home" XDG_CONFIG_HOME="$home/config"
    XDG_DATA_HOME="$home/data" XDG_CONFIG_DIRS="$home/xdg" XDG_RUNTIME_DIR="$home/runtime"
    QT_QPA_PLATFORM=offscreen)
warning_line="SegnaleAcusticoFile=$root/usr/lib/parlune/Beep1.wav"
if "${user_env[@]}" "$root/usr/bin/parlunectl" --folder "$work/folder" list > "$work/ctl.out" 2>&1; then
    pass "parlunectl --folder DIR list"
else
    fail "parlunectl --folder DIR list: $(cat "$work/ctl.out")"
fi
# The settings a first start creates name the warning sound in the program folder.
if "${user_env[@]}" "$root/usr/bin/parlunectl" list > "$work/ctl.out" 2>&1 &&
    grep -qxF "$warning_line" "$home/config/Orvane/Parlune.conf"; then
    pass "parlunectl list found its program folder $root/usr/lib/parlune/"
else
    fail "parlunectl list without a folder: $(cat "$work/ctl.out"); settings say: \
$(grep SegnaleAcusticoFile "$home/config/Orvane/Parlune.conf" 2>/dev/null)"
fi

# The window: without the encoder library it would stop at a message; past that check it logs
# the audio server's mixer tree, and then runs until told to end.
rm -rf "$home/config" "$home/data"
"${user_env[@]}" "$root/usr/bin/parlune" > "$work/parlune.out" 2>&1 &
parlune=$!
trap 'kill -KILL $parlune 2>/dev/null; rm -rf "$work"' EXIT
log=$home/data/Parlune/PL.log
for _ in $(seq 200); do
    grep -qs LoggaAlberoMixer "$log" && break
    kill -0 $parlune 2>/dev/null || break
    sleep 0.1
done
sleep 3
if kill -0 $parlune 2>/dev/null; then
    kill -TERM $parlune
    # A program held by a message box would never end: given 15 seconds.
    for _ in $(seq 150); do
        kill -0 $parlune 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL $parlune 2>/dev/null
    wait $parlune
    status=$?
    if [[ $status -eq 0 ]] && grep -qs LoggaAlberoMixer "$log" &&
        grep -qxF "$warning_line" "$home/config/Orvane/Parlune.conf"; then
        pass "parlune ran with its program folder found and ended on SIGTERM with status 0"
    else
        fail "parlune ended with status $status; $(cat "$work/parlune.out")"
    fi
else
    wait $parlune
    fail "parlune ended by itself with status $?: $(cat "$work/parlune.out")"
fi

# Nothing may be written beside the programs: an installed program folder is not ours.
written=$(find "$root" -newer "$work/unpacked")
if [[ -z $written ]]; then
    pass "nothing was written into the installed files"
else
    fail "written into the installed files: $written"
fi

if desktop-file-validate "$root/usr/share/applications/com.orvane.Parlune.desktop"; then
    pass "desktop-file-validate"
else
    fail "desktop-file-validate"
fi
if appstreamcli validate --no-net "$root/usr/share/metainfo/com.orvane.Parlune.metainfo.xml" \
    > "$work/appstream.out" 2>&1; then
    pass "appstreamcli validate: $(tail -1 "$work/appstream.out")"
else
    fail "appstreamcli validate: $(cat "$work/appstream.out")"
fi
# Errors fail the check; warnings are shown.
lintian --tag-display-limit 0 "$deb" > "$work/lintian.out" 2>&1
cat "$work/lintian.out"
if grep -q '^E:' "$work/lintian.out"; then
    fail "lintian reports errors"
else
    pass "lintian: no errors ($(grep -c '^W:' "$work/lintian.out") warnings)"
fi

# The line ./test adds up with those of ctest.
echo "$(((checks - failures) * 100 / checks))% tests passed, $failures tests failed out of $checks"
[[ $failures -eq 0 ]]
