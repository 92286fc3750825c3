#!/usr/bin/env bash
# The toolbar library end to end, as a user meets it: the demo program
# (tests/controls/dockdemo) runs on a private Xvfb display under openbox,
# xdotool clicks and types, and the demo's event lines, xwininfo and xdotool
# tell what happened: the File menu opens as an override-redirect window where
# the demo says and Escape removes it, Alt+F Down Return runs "Save" once after
# the menu has gone, a click on the MDI client with the menu open closes it and
# reaches the client once, a maximised child puts its system menu and three
# buttons on the menu bar and the restore button restores it, and the Window
# menu lists both children with the active one checked; the tool bar is
# dragged onto the left dock, off it with Ctrl into a floating window and back
# onto the top dock by its floating caption. The main window stays the active
# one throughout. A screenshot of every step goes to
# <build dir>/xvfb_docking/, with the demo's event log.
# Usage: tests/controls/xvfb_docking.sh [build dir]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=${1:-build/release}
if [ -z "${GT_XVFB_DOCKING_INNER:-}" ]; then
  exec env GT_XVFB_DOCKING_INNER=1 timeout 60 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$dir"
fi

art=$dir/xvfb_docking
rm -rf "$art"
mkdir -p "$art"
log=$art/events.log
: >"$log"
step=0

shot() {
  step=$((step + 1))
  import -window root "$art/$(printf %02d $step)-$1.png" 2>/dev/null || true
}
fail() {
  echo "xvfb_docking: FAIL: $*" >&2
  shot failure
  echo "--- demo events ($log)" >&2
  cat "$log" >&2
  exit 1
}
lines() { wc -l <"$log"; }
# The first line after line $2 of the log that matches $1, waited for up to 5 s.
wait_line() {
  local i l
  for i in $(seq 50); do
    l=$(tail -n "+$(($2 + 1))" "$log" | grep -m1 -E "$1" || true)
    if [ -n "$l" ]; then
      echo "$l"
      return 0
    fi
    sleep 0.1
  done
  return 1
}
count() { tail -n "+$(($2 + 1))" "$log" | grep -cE "$1" || true; }
# Commands run after line $1: opening a menu clicks its title item, which is no command.
commands() { tail -n "+$(($1 + 1))" "$log" | grep -E '^click ' | grep -cvE '^click (File|Edit|Window)$' || true; }
# "L T W H" -> "X Y" of the middle.
middle() {
  set -- $1
  echo $(($1 + $3 / 2)) $(($2 + $4 / 2))
}
# The latest rectangle the demo gave for a menu-bar viewer.
viewer() { grep -E "^viewer MenuToolBar $1 " "$log" | tail -1 | awk '{print $4, $5, $6, $7}'; }
click_at() { xdotool mousemove --sync $1 $2 click 1; }
top_windows() { xwininfo -root -children | grep -oE '^ +0x[0-9a-f]+' | tr -d ' ' | sort; }
# "L T W H viewable override" of an X window, empty when it is gone.
x_window() {
  xwininfo -id "$1" 2>/dev/null | awk '
    /Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
    /^ +Width:/ {w=$2} /^ +Height:/ {h=$2}
    /Map State:/ {m=$3} /Override Redirect State:/ {o=$4}
    END {if (x != "") print x, y, w, h, m, o}'
}
active_is_main() {
  [ "$(xdotool getactivewindow 2>/dev/null)" = "$main" ] || fail "$1: the active window is not the main window"
}

openbox >"$art/openbox.log" 2>&1 &
wm=$!
for i in $(seq 50); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
QT_QPA_PLATFORM=xcb "$dir/tests/controls/dockdemo" >"$log" 2>"$art/dockdemo.err" &
demo=$!
trap 'kill $demo $wm 2>/dev/null || true' EXIT
wait_line '^ready$' 0 >/dev/null || { sleep 5; wait_line '^ready$' 0 >/dev/null; } || fail "the demo never got ready"
# openbox activates the new main window; on a busy machine it is asked again.
main=
for i in $(seq 100); do
  main=$(xdotool search --onlyvisible --name '^Dock demo$' 2>/dev/null | head -1 || true)
  [ -n "$main" ] && [ "$(xdotool getactivewindow 2>/dev/null || true)" = "$main" ] && break
  [ -n "$main" ] && [ $((i % 20)) = 0 ] && xdotool windowactivate "$main" 2>/dev/null || true
  main=
  sleep 0.1
done
[ -n "$main" ] || fail "the demo's main window never became the active one (active: $(xdotool getactivewindow 2>&1 | head -1), named: $(xdotool search --name '^Dock demo$' 2>&1 | tr '\n' ' '))"
shot start

# A click on File shows the menu as a new override-redirect window with the
# rectangle the demo logs; Escape removes it.
before=$(top_windows)
n=$(lines)
click_at $(middle "$(viewer File)")
popup=$(wait_line '^popup File ' "$n") || fail "a click on File showed no popup"
want=$(echo "$popup" | awk '{print $3, $4, $5, $6}')
menu=
for i in $(seq 30); do
  for id in $(comm -13 <(echo "$before") <(top_windows)); do
    [ "$(x_window "$id")" = "$want IsViewable yes" ] && menu=$id
  done
  [ -n "$menu" ] && break
  sleep 0.1
done
shot file-open
[ -n "$menu" ] || fail "no new override-redirect window shows at $want"
active_is_main "File open"
n=$(lines)
xdotool key Escape
wait_line '^closed File$' "$n" >/dev/null || fail "Escape did not close the File menu"
for i in $(seq 30); do
  case "$(x_window "$menu")" in *IsViewable*) sleep 0.1 ;; *) break ;; esac
done
case "$(x_window "$menu")" in *IsViewable*) fail "the File menu's window still shows after Escape" ;; esac
shot file-escaped
active_is_main "after Escape"

# Alt+F opens File with New selected; Down, Return runs Save once, after the
# menu has gone.
n=$(lines)
xdotool key alt+f
wait_line '^popup File ' "$n" >/dev/null || fail "Alt+F showed no File menu"
shot alt-f
xdotool key Down Return
wait_line '^click Save$' "$n" >/dev/null || fail "Alt+F Down Return did not run Save"
sleep 0.3
[ "$(commands "$n")" = 1 ] || fail "Alt+F Down Return ran $(commands "$n") commands, not Save once"
closed=$(tail -n "+$((n + 1))" "$log" | grep -nE '^closed File$' | head -1 | cut -d: -f1)
saved=$(tail -n "+$((n + 1))" "$log" | grep -nE '^click Save$' | head -1 | cut -d: -f1)
[ -n "$closed" ] && [ "$closed" -lt "$saved" ] || fail "Save ran before the File menu had gone"
shot saved
active_is_main "after Save"

# With File open, a click on the MDI client (away from the children) closes
# the menu without a command, and the client sees that press once.
read -r cl ct cw ch < <(grep -m1 '^client ' "$log" | awk '{print $2, $3, $4, $5}')
n=$(lines)
click_at $(middle "$(viewer File)")
wait_line '^popup File ' "$n" >/dev/null || fail "a click on File showed no popup"
shot file-open-again
click_at $((cl + cw - 40)) $((ct + ch - 40))
wait_line '^mdiclick ' "$n" >/dev/null || fail "the press on the MDI client never reached it"
sleep 0.3
[ "$(count '^closed File$' "$n")" = 1 ] || fail "the press on the MDI client did not close the File menu"
[ "$(count '^mdiclick ' "$n")" = 1 ] || fail "the MDI client saw $(count '^mdiclick ' "$n") presses, not one"
[ "$(commands "$n")" = 0 ] || fail "the press on the MDI client ran a command"
shot client-pressed
active_is_main "after the press on the MDI client"

# A double click on the top child's caption maximises it: the menu bar gains
# the system-menu item and minimise, restore and close; restore restores it.
# The demo lists the children bottom first: the last is the active one.
read -r _ c1 c2 l t w h < <(grep '^child ' "$log" | tail -1)
child="$c1 $c2"
n=$(lines)
xdotool mousemove --sync $((l + w / 2)) $((t + 10)) click --repeat 2 --delay 80 1
wait_line "^state $child maximized$" "$n" >/dev/null || fail "a double click on the caption of $child did not maximise it"
for kind in sysmenu minimize restore close; do
  wait_line "^viewer MenuToolBar $kind " "$n" >/dev/null || fail "the menu bar shows no $kind item for the maximised child"
done
shot maximized
active_is_main "with $child maximised"
n=$(lines)
click_at $(middle "$(viewer restore)")
wait_line "^state $child normal$" "$n" >/dev/null || fail "the restore button did not restore $child"
shot restored

# The Window menu lists both children, the active one checked.
n=$(lines)
click_at $(middle "$(viewer Window)")
wait_line '^popup Window ' "$n" >/dev/null || fail "a click on Window showed no popup"
sleep 0.2
shot window-menu
entries=$(tail -n "+$((n + 1))" "$log" | grep -E '^entry Window [0-9]+ Child ' || true)
[ "$(echo "$entries" | grep -c 'Child')" = 2 ] || fail "the Window menu does not list two children: $entries"
[ "$(echo "$entries" | grep -E "Child [0-9]+ 1 " | awk '{print $4, $5}')" = "$child" ] ||
  fail "the Window menu does not check the active child $child: $entries"
xdotool key Escape
wait_line '^closed Window$' "$n" >/dev/null || fail "Escape did not close the Window menu"
active_is_main "after the Window menu"

# TBToolbar1 dragged by its drag handle in 10-pixel steps to the left edge of
# the main window's client area docks in TBDockL row 0; the same drag with
# Ctrl held leaves it floating in a window transient for the main window; its
# floating caption dragged back over the top dock docks it again. The bar
# keeps its window handle throughout. An empty left dock is 0 pixels wide and
# a bar grabbed at its far-left handle has the whole 25-pixel catch zone on
# the dock's left, so the drop is 1 pixel into the client area (x = 10 would
# float it).
read -r ox oy _ < <(x_window "$main")
handle=$(grep -m1 '^handle TBToolbar1 ' "$log" | awk '{print $3}')
place() { grep -E '^place TBToolbar1 ' "$log" | tail -1; }
# Presses at $1 $2, moves in 10-pixel steps to $3 $4 and releases there, with
# the keys $5 held from before the press to after the release.
drag() {
  local x=$1 y=$2 tx=$3 ty=$4 mods=${5:-} dx dy n i
  dx=$((tx > x ? tx - x : x - tx)) dy=$((ty > y ? ty - y : y - ty))
  n=$(((dx > dy ? dx : dy) / 10 + 1))
  xdotool mousemove --sync "$x" "$y"
  [ -z "$mods" ] || xdotool keydown "$mods"
  xdotool mousedown 1
  sleep 0.1
  for i in $(seq "$n"); do
    xdotool mousemove --sync $((x + (tx - x) * i / n)) $((y + (ty - y) * i / n))
  done
  sleep 0.2
  xdotool mouseup 1
  [ -z "$mods" ] || xdotool keyup "$mods"
}
# Waits for a place line of TBToolbar1 on $1 after line $2 and for the bar to settle.
wait_place() {
  wait_line "^place TBToolbar1 [0-9]+ $1 " "$2" >/dev/null || return 1
  sleep 0.3
  place | grep -qE "^place TBToolbar1 [0-9]+ $1 "
}
read -r _ _ _ _ bl bt bw bh _ < <(place)
n=$(lines)
drag $((bl + 6)) $((bt + bh / 2)) $((ox + 1)) $((oy + 400))
wait_place TBDockL "$n" || fail "the drag to ($((ox + 1)), $((oy + 400))) did not dock TBToolbar1 in TBDockL: $(place)"
last=$(grep -E '^dock TBToolbar1 ' "$log" | tail -1)
case "$last" in "dock TBToolbar1 TBDockL row 0 "*) ;; *) fail "TBToolbar1 is not in TBDockL row 0: $last" ;; esac
shot docked-left

read -r _ _ _ _ bl bt bw bh _ < <(place)
n=$(lines)
drag $((bl + bw / 2)) $((bt + 6)) $((ox + 1)) $((oy + 400)) ctrl
wait_place floating "$n" || fail "the drag with Ctrl held did not leave TBToolbar1 floating: $(place)"
read -r _ _ _ _ fl ft fw fh float < <(place)
shot floating
case "$(x_window "$float")" in *IsViewable*) ;; *) fail "the floating window $float does not show" ;; esac
owner=$(xprop -id "$float" WM_TRANSIENT_FOR 2>/dev/null | grep -oE '0x[0-9a-f]+' || true)
[ -n "$owner" ] && [ $((owner)) = "$main" ] || fail "the floating window is not transient for the main window (WM_TRANSIENT_FOR: ${owner:-none})"

n=$(lines)
drag $((fl + fw / 2)) $((ft + 8)) $((ox + 400)) $((oy + 10))
wait_place TBDockT "$n" || fail "dragging the floating caption over the top dock did not dock TBToolbar1 there: $(place)"
shot docked-top
[ "$(grep -E '^place TBToolbar1 ' "$log" | awk '{print $3}' | sort -u)" = "$handle" ] ||
  fail "TBToolbar1 changed its window handle: $(grep -E '^place TBToolbar1 ' "$log" | awk '{print $3}' | sort -u | tr '\n' ' ')"
active_is_main "at the end"
shot done
echo "xvfb_docking: all checks passed (screenshots in $art)"
