#!/usr/bin/env bash
# kivrel --edit on a disk and beside programs that work against it, one case a function, each
# run in a folder of its own that holds a valid saved "kivrel_timeline.json" (the compiled-in
# timeline) and an empty code/. The user's file is never lost: a save that fails leaves it byte
# for byte, a file that did not load is saved over only when confirmed, an outside edit stays.
# Usage: edit_safety_check.sh <kivrel> <source folder> <output folder>
set -euo pipefail
kivrel=$(realpath "$1")
source=$(realpath "$2")
out=$(realpath -m "$3")
if [ -z "${KIVREL_EDIT_SAFETY_INSIDE:-}" ]; then
    rm -rf "$out" && mkdir -p "$out"
    KIVREL_EDIT_SAFETY_INSIDE=1 exec xvfb-run -a -s "-screen 0 1100x720x24" bash "$0" "$@"
fi
pid=""
trap '[ -z "$pid" ] || kill $pid 2>/dev/null || true' EXIT
fail() { echo "FAIL: $case: $*"; grep -v JSON "$out/$case/log.txt" 2>/dev/null | tail -5; exit 1; }
wait_for() { timeout 60 bash -c "until grep -q '$1' log.txt; do sleep 0.5; done" || fail "no \"$1\""; }
keys() { xdotool windowfocus --sync "$(xdotool search --sync --name '^KIVREL$' | head -n 1)" key "$@"; }
save() { keys keydown ctrl sleep 0.5 key s keyup ctrl; } # Ctrl down over several frames, up with S
listing() { find . -not -name log.txt | sort; }

# start [ulimit -f blocks of 1024 bytes]: the edit mode in the case's folder, up once its
# soundtrack is ready. Only kivrel runs under the limit: its output goes through cat to the log.
start() {
    ( ulimit -f "${1:-unlimited}"
      SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null MESA_SHADER_CACHE_DISABLE=true \
          exec "$kivrel" --edit --render-size 256x144 ) > >(cat >log.txt) 2>&1 &
    pid=$!
    wait_for "soundtrack ready"
}
quit() {
    keys ctrl+q
    local code=0 && wait $pid || code=$?
    pid=""
    [ "$code" = 0 ] || fail "Ctrl+Q: exit code $code"
}

# A save beyond the file size limit (2 KB; the document is several) fails and says so; the
# saved file stays byte for byte, no temporary file is left and no header is written.
full_disk() {
    start 2
    local before && before=$(listing)
    save
    wait_for "Failed to write file kivrel_timeline.json"
    cmp kivrel_timeline.json "$out/saved.json" || fail "the saved file changed"
    [ "$(listing)" = "$before" ] || fail "files made or lost: $(listing)"
    quit
}

# A file that does not load (a value past its range) is named in the log and not saved over:
# Ctrl+S asks first, and only Enter, the yes, writes the timeline shown (the compiled-in one).
broken_file() {
    sed -i -E 's/("AT::Steps":[^]]*"value":)3}/\13000}/' kivrel_timeline.json
    cp kivrel_timeline.json broken.json
    start
    grep -q 'not loaded: Track "AT::Steps", key at frame 0: value 3000 is outside \[0, 14\]' log.txt ||
        fail "the broken file's error is not in the log"
    save
    wait_for "did not load: saved only when confirmed"
    sleep 1 && cmp kivrel_timeline.json broken.json || fail "Ctrl+S wrote over the broken file unasked"
    keys Return
    wait_for "Saved timeline file kivrel_timeline.json"
    cmp kivrel_timeline.json "$out/saved.json" || fail "the yes did not save the timeline shown"
    quit
}

# Another program writes the file the moment the edit mode has saved it (as the header is
# being written): that write is reloaded (the editor has no unsaved edits), never lost, and the
# editor's next save is the same text.
outside_edit() {
    sed -E 's/("CM::Bright":[^]]*"value":)0\.000000/\14.000000/' kivrel_timeline.json >outside.json
    start
    ( timeout 20 bash -c "until grep -q 'Saved timeline file kivrel_timeline.json' log.txt; do sleep 0.01; done" &&
      cat outside.json >kivrel_timeline.json ) &
    local writer=$!
    save
    wait $writer || fail "no save to write after"
    timeout 10 bash -c "until sed -n '/Saved timeline file kivrel_timeline.json/,\$p' log.txt | grep -q 'reloaded kivrel_timeline.json'; do sleep 0.5; done" ||
        fail "the outside edit after the save was not reloaded"
    save
    timeout 10 bash -c "until [ \$(grep -c 'Saved timeline file kivrel_timeline.json' log.txt) = 2 ]; do sleep 0.5; done" ||
        fail "no second save"
    cmp kivrel_timeline.json outside.json || fail "the outside edit was lost"
    quit
}

# The saved file: the compiled-in timeline's text, taken from its header.
python3 - "$source/code/kivrel_timeline.json.h" "$out/saved.json" <<'PY'
import ast, sys
text = open(sys.argv[1]).read()
literal = text[text.index('= "') + 2:text.rindex('";') + 1]
open(sys.argv[2], "w").write(ast.literal_eval(literal))
PY
for case in full_disk broken_file outside_edit; do
    mkdir -p "$out/$case/code" && cp "$out/saved.json" "$out/$case/kivrel_timeline.json"
    cd "$out/$case" && $case
done
echo "edit_safety_check: all cases passed"
