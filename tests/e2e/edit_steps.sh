# The edit checks' shared steps (tests/e2e/edit_check.sh, tests/win32/edit_check.sh), sourced in
# the output folder: log.txt is the program's log, fail() says what went wrong.
wait_for() { timeout 60 bash -c "until grep -q '$1' log.txt; do sleep 0.5; done" || fail "no \"$1\""; }
window() { xdotool search --sync --name '^KIVREL$' | head -n 1; }
keys() { xdotool windowfocus --sync "$(window)" key "$@"; }
# Ctrl held over several frames and let go with the key.
control() { xdotool windowfocus --sync "$(window)" keydown ctrl sleep 0.5 key "$1" keyup ctrl; }
# mean <channel expression> <WxH> <x,y> of shot.png, the window's client area at $X,$Y.
mean() { convert shot.png -crop "$2+$((X + ${3%%,*}))+$((Y + ${3##*,}))" +repage -format "%[fx:$1]" info:; }
shoot() { sleep 2 && import -window root shot.png; }
# DF::FocusPt's key at 7215 (row 9 of the 1000 x 660 window's track panel: the axis from x 158,
# 440 wide, rows of 20 from y 397) held over several frames and dragged 4 pixels left.
drag_last_focus_key() {
    local x=$((X + 158 + 7215 * 440 / 7400)) y=$((Y + 397 + 9 * 20 + 10))
    xdotool mousemove $x $y mousedown 1 && sleep 0.3
    for d in 1 2 3 4; do xdotool mousemove $((x - d)) $y && sleep 0.2; done
    xdotool mouseup 1 && wait_for "the held one from frame 7215"
}
# Another program's save of the timeline at brightness 0, and its reload.
blacken_on_disk() {
    python3 -c 'import json; d = json.load(open("kivrel_timeline.json")); [k.update(value=0.0) for k in d["CM::Bright"]["frames"]]
json.dump(d, open("kivrel_timeline.json", "w"))'
    wait_for "reloaded kivrel_timeline.json"
}
