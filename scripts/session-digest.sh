#!/bin/bash
# Digest of lumotool outputs and a scripted viewer session on a small baked
# scene, for comparing two builds byte for byte (a restructuring must not
# change one byte):  scripts/session-digest.sh BUILD_DIR OUT_FILE, then diff.
set -u
build=$(readlink -f "$1"); out=$(readlink -f "$2")
lt="$build/lumotool/lumotool"; lumo="$build/lumo/lumo"
w=$(mktemp -d /tmp/digest.XXXXXX)
cd "$w"
run() { # name, command...
  local name=$1; shift
  "$@" >"$w/log/$name.out" 2>"$w/log/$name.err"; echo "$name exit $?" >>"$w/log/status"
}
mkdir -p log
run bake "$lt" bake s --grid 4 --size 64 --capture 16 --quiet
cd s
run info "$lt" info scene.lid
run infojson "$lt" info --json scene.lid
run rl_default "$lt" relight scene.lid "$w/r/default"
run rl_dir "$lt" relight scene.lid "$w/r/dir" --light "dir=0.5,0.3,-1"
run rl_point "$lt" relight scene.lid "$w/r/point" --light "kind=point radius=2 color=1,0.6,0.3"
run rl_slide "$lt" relight scene.lid "$w/r/slide" --light "kind=slide lookat=0,0,0 fov=30,30"
run rl_env "$lt" relight scene.lid "$w/r/env" --light "kind=env map=sky.exr spin=30"
run rl_four "$lt" relight scene.lid "$w/r/four" --light "dir=0.5,0.3,-1" --light "kind=point" --light "dir=-0.3,0.2,-1 color=0.2,0.4,1" --light "kind=env map=sky.exr"
run rl_half "$lt" relight scene.lid "$w/r/half" --half --light "dir=0.2,0.1,-1"
run rl_h9 "$lt" relight scene.lid "$w/r/h9" --harmonics 9 --format png
run rl_bad "$lt" relight scene.lid "$w/r/bad" --light "kind=env map=nowhere.exr"
run render "$lt" render scene.lid "$w/r/render" --frames 3 --size 128x128 --quiet
run render_c "$lt" render scene.lid "$w/r/renderc" --frames 2 --size 96x96 --mode corner --format ppm --light "kind=point"
run unpack "$lt" unpack scene.dat "$w/r/unpack"
run rl_rgb "$lt" relight scene-dat.lid "$w/r/rgbdat"
run info_qr "$lt" info --json scene-qr.lid
ls > "$w/log/ls_s"
cd "$w"
run fit_dome "$lt" fit s/capture-dome.json "$w/r/fitdome" --quiet
run fit_lp "$lt" fit "s/capture-dome/0.0/lights.lp" "$w/r/fitlp"
run fit_bad "$lt" fit nowhere.lp "$w/r/fitbad"
run help "$lt" help
run unknown "$lt" frobnicate
# Scripted viewer session.
if [ -x "$lumo" ] && command -v xvfb-run >/dev/null; then
  cd s
  cat > "$w/session.tcl" <<'TCL'
update
lumo::add_light
.slab changecolor 255 170 90
lumo::relight
set currlighttype 1
lumo::set_type
update
.light ab_lbdown 128 127
.light ab_lbdrag 165 110
update
.light ab_lbup
lumo::relight
update
.slab grabscr
.slab hnddrawmode 0
update
.slab grabscr
.slab savelights session.rig.json
.slab addkeyframe
.slab savepath session.path.json
.slab rectran
update
exit
TCL
  xvfb-run -a -s "-screen 0 1280x1024x24" "$lumo" scene.lid <"$w/session.tcl" >"$w/log/viewer.out" 2>"$w/log/viewer.err"
  echo "viewer exit $?" >>"$w/log/status"
  mkdir -p "$w/r/viewer"; mv img*.ppm session.* transfrm.txt "$w/r/viewer/" 2>/dev/null
  cd "$w"
fi
# Frame-rate and timing lines vary from run to run: drop them.
sed -i -e "s|$w|WORK|g" log/*.out log/*.err
sed -i -E '/fps|[0-9]+(\.[0-9]+)? ?(s|ms)\b|seconds/d' log/*.out log/*.err
( cd "$w" && find log r -type f | sort | xargs sha256sum ) >"$out"
echo "digest: $out ($(wc -l <"$out") files) work: $w"
