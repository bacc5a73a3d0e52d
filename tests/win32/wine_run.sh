#!/usr/bin/env bash
# Runs a Windows program under Wine 8 and exits with its exit code (as Wine reports it: the
# low 8 bits). WINEDEBUG=-all; the program runs in the prefix named by KIVREL_WINEPREFIX (made
# with "wine_run.sh prepare DIR", as scripts/test.sh does once for all Windows runs) or else in
# a throw-away prefix made and removed here. Without a display it runs under its own Xvfb:
# winevulkan presents only through X. Every prefix maps "Corbel Light" to "Lato Light", the
# face the title font's bytes hold, so the GDI text tests see the same face everywhere.
# Sound goes to an ALSA null device.
# Usage: wine_run.sh prepare DIR | wine_run.sh PROGRAM [ARGUMENTS...]
set -euo pipefail
export WINEDEBUG=-all
# No Mono or Gecko installer dialogues in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

prepare() {
    mkdir -p "$1"
    WINEPREFIX=$1 wine wineboot --init >/dev/null 2>&1
    WINEPREFIX=$1 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
        /v "Corbel Light" /d "Lato Light" /f >/dev/null 2>&1
    WINEPREFIX=$1 wineserver -w
}

if [ "$1" = prepare ]; then
    prepare "$2"
    exit 0
fi

# Wine's ALSA driver gets a default device that plays into nothing (faster than real time),
# so WinMM has an output to open; the caller's HOME and its sound settings stay untouched.
home=$(mktemp -d /tmp/kivrel-wine-home.XXXXXX)
printf 'pcm.!default {\n    type null\n}\n' >"$home/.asoundrc"
made_prefix=""
cleanup() {
    if [ -n "$made_prefix" ]; then
        wineserver -k 2>/dev/null || true
        rm -rf "$made_prefix"
    fi
    rm -rf "$home"
}
trap cleanup EXIT

if [ -n "${KIVREL_WINEPREFIX:-}" ]; then
    export WINEPREFIX=$KIVREL_WINEPREFIX
else
    made_prefix=$(mktemp -d /tmp/kivrel-wine.XXXXXX)
    export WINEPREFIX=$made_prefix
    prepare "$WINEPREFIX"
fi
export HOME=$home

runner=()
[ -n "${DISPLAY:-}" ] || runner=(xvfb-run -a -s "-screen 0 1024x768x24")
set +e
"${runner[@]}" wine "$@"
code=$?
exit $code
