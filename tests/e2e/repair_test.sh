#!/usr/bin/env bash
# check --fix, proven bit for bit. Video that looks real, in both field
# orders: 2:3 film of a pan over a detailed picture, of a small object
# moving over a still picture with grain, of a flat cartoon with outlines,
# and 60i video whose every field is its own moment, telecined by ffmpeg and
# encoded as MPEG-2 at a DVD rate, beside a lossless copy. Lists with marks
# moved, pictures kept twice or lost, checked against the MPEG-2 video as it
# is, cut at its start and with a frame lost in the middle, the project
# saying nothing of the field order: the repaired project's ffmpeg script on
# the lossless copy gives every picture the video holds, once, in order,
# bit for bit, and the video stretch as it was kept.
# Usage: repair_test.sh PULLDEX_CLI
set -u
cli=$1
source "$(dirname "$0")/harness.sh"
needs_ffmpeg
film=24000/1001
# A detailed picture to pan over and a still one for the object.
ff -f lavfi -i "mandelbrot=size=1200x480:start_x=-0.7436447860:start_y=0.1318252536:start_scale=0.0006:end_scale=0.0006:maxiter=300" \
  -frames:v 1 -vf "gblur=sigma=0.6" wide.png
ff -f lavfi -i "mandelbrot=size=720x480:start_x=-0.7453:start_y=0.1127:start_scale=0.01:end_scale=0.01:maxiter=200" \
  -frames:v 1 back.png
# Each film segment: its pictures, losslessly.
ff -filter_complex "movie=wide.png,loop=-1:1,fps=$film,crop=720:480:x='n*8':y=0,setsar=1" -frames:v 40 -pix_fmt yuv420p -c:v ffv1 pan.mkv
ff -filter_complex "movie=back.png,loop=-1:1,fps=$film,noise=alls=10:allf=t+u[b];testsrc2=size=32x32:rate=$film[o];[b][o]overlay=x='150+n*6':y='200+30*sin(n/7)',setsar=1" \
  -frames:v 40 -pix_fmt yuv420p -c:v ffv1 object.mkv
ff -filter_complex "color=c=0x3070c0:size=720x480:rate=$film[b];color=c=yellow:size=158x118:rate=$film,pad=170:130:6:6:black[o1];color=c=red:size=80x80:rate=$film,pad=90:90:5:5:black[o2];[b][o1]overlay=x='40+n*7':y=90[m];[m][o2]overlay=x='600-n*5':y='300-n',setsar=1" \
  -frames:v 40 -pix_fmt yuv420p -c:v ffv1 cartoon.mkv
# 60i: a pan at 59.94 pictures a second, a field of each.
ff -filter_complex "movie=wide.png,loop=-1:1,fps=60000/1001,crop=720:480:x='n*3':y=0,setsar=1" -frames:v 80 -pix_fmt yuv420p -c:v ffv1 v60.mkv

for order in bottom top; do
  o=${order:0:1}
  # Telecined, or interlaced, each segment on its own, then one after the other.
  for s in pan object cartoon; do
    ff -i $s.mkv -vf "telecine=first_field=$order:pattern=23" -c:v ffv1 tc_$s.mkv
  done
  ff -i v60.mkv -vf "tinterlace=mode=interleave_$order,setfield=${o}ff" -c:v ffv1 tc_v60.mkv
  ff -i tc_pan.mkv -i tc_v60.mkv -i tc_object.mkv -i tc_cartoon.mkv \
    -filter_complex "[0][1][2][3]concat=n=4:v=1,setfield=${o}ff" -c:v ffv1 whole.mkv
  # Each variant's lossless copy, and MPEG-2 as a DVD holds it.
  ff -i whole.mkv -c:v ffv1 as-is.mkv
  ff -i whole.mkv -vf "trim=start_frame=1,setpts=PTS-STARTPTS" -c:v ffv1 cut.mkv
  ff -i whole.mkv -vf "select='not(eq(n,150))',setpts=N/(30000/1001)/TB" -c:v ffv1 lost.mkv
  top=1
  [ "$o" = b ] && top=0
  for v in as-is cut lost; do
    ff -i $v.mkv -r 30000/1001 -c:v mpeg2video -b:v 6M -maxrate 9M -bufsize 1835k -flags +ildct+ilme -top $top -g 15 -bf 2 $v.m2v
  done
  # The md5 of every frame the film and the video stretch give.
  for s in pan object cartoon; do ff -i $s.mkv -f framemd5 $s.md5; done
  ff -i tc_v60.mkv -f framemd5 v60.md5
  python3 - <<'PY'
import json, struct
md5 = lambda name: [l.split(",")[-1].strip() for l in open(name) if not l.startswith("#")]
# Fields of each segment: 2:3 film of 40 pictures is 100 fields, 60i 80 frames 160.
fields, starts, frames = [], [], []   # the picture of each field; where each starts; its md5
def film(name):
    for k, h in enumerate(md5(name + ".md5")):
        starts.append(len(fields))
        frames.append(h)
        fields.extend([len(frames) - 1] * (2 if k % 2 == 0 else 3))
film("pan")
for h in md5("v60.md5"):      # kept as video: each frame as it is
    starts.append(len(fields))
    frames.append(h)
    fields.extend([-1, -2])   # two moments, shown together as the frame
film("object")
film("cartoon")
n = len(fields)
def project(name, kept):
    records = b"".join(struct.pack("<IBB", i, 0, 0 if i in kept else 1) for i in range(n))
    value = struct.pack("<II", 6, n) + records
    open(name, "wb").write(b"Video.DeinterlaceEx.List\x0a" + struct.pack("<I", len(value)) + value)
project("right.tpr", set(starts))
damaged = list(starts)
pictures = [s for s in starts if fields[s] >= 0]
two = [s for s in pictures if s + 2 < n and fields[s + 1] == fields[s] and fields[s + 2] != fields[s]]
three = [s for s in pictures if s + 3 < n and fields[s + 2] == fields[s]]
for s in two[2::9][:6]:                       # onto the second field: woven with the next picture
    damaged[damaged.index(s)] = s + 1
for s in three[3::11][:4]:                    # onto the field before: woven with the picture before
    damaged[damaged.index(s)] = s - 1
s = three[-6]                                 # a picture kept twice, the next one lost
damaged[damaged.index(s + 3)] = s + 1
damaged.remove(two[-4])                       # a picture lost
damaged.append(three[-9] + 1)                 # a picture kept twice
project("damaged.tpr", set(damaged))
project("all.tpr", set(range(0, n, 2)))       # every frame kept: no decisions set
json.dump({"frames": frames, "fields": fields}, open("truth.json", "w"))
PY
  flag=()
  [ "$o" = b ] && flag=(--bff)
  for v in as-is cut lost; do
    # The list that keeps every frame is derived from the video by --fix
    # alone; the damaged one once more with its marks ignored.
    for run in right damaged all "damaged --from-video"; do
      read -r list derive <<<"$run"
      what="$list list${derive:+ $derive}, video $v, $order field first"
      "$cli" check --fix $derive --force -o fixed.tpr --json --video $v.m2v $list.tpr >check.json 2>err ||
        bad "check --fix, $what: $(cat err)"
      "$cli" script "${flag[@]}" --force -o fixed.txt fixed.tpr && ff -i $v.mkv -filter_script:v fixed.txt -fps_mode passthrough -f framemd5 got.md5 ||
        bad "the repaired script, $what"
      python3 - "$v" "$o" <<'PY' && ok || bad "$what: $(head -c 1500 check.json)"
import json, sys
variant, order = sys.argv[1], sys.argv[2]
truth = json.load(open("truth.json"))
fields, frames = truth["fields"], truth["frames"]
# The fields the video holds: all, the first frame's gone, or frame 180's.
held = list(range(len(fields)))
if variant == "cut": held = held[2:]
if variant == "lost": held = held[:300] + held[302:]
# Every picture the video holds whole, once, in order; the video stretch
# as it was kept, each of its 80 frames as it is.
count = {}
for f in held:
    count[fields[f]] = count.get(fields[f], 0) + 1
want = []
for f in held:
    p = fields[f]
    if p >= 0 and count[p] == fields.count(p) and (not want or want[-1] != frames[p]):
        want.append(frames[p])
video = set(frames[p] for p in range(len(frames)) if p not in set(fields))
got = [l.split(",")[-1].strip() for l in open("got.md5") if not l.startswith("#")]
c = json.load(open("check.json"))[0]
assert c["fieldOrderVideo"] == ("tff" if order == "t" else "bff"), c["fieldOrderVideo"]
assert c["fieldOrderGiven"] == "tff" and (order == "t" or c["warnings"]), c["warnings"]
assert c["interlaced"], "the 60i stretch"
pictures = [g for g in got if g not in video]
assert pictures == want, (len(pictures), len(want), [i for i, (a, b) in enumerate(zip(pictures, want)) if a != b][:5])
assert sorted(set(g for g in got if g in video)) == sorted(video) and len(got) == len(want) + len(video), len(got)
PY
    done
  done
  # What check said of the damaged list: each mistake, and no shift.
  "$cli" check --json --video as-is.m2v damaged.tpr >damaged.json
  python3 - <<'PY' && ok || bad "the findings of the damaged list ($order first): $(head -c 800 damaged.json)"
import json
c = json.load(open("damaged.json"))[0]
assert len(c["combed"]) == 10 and all(e["suggestion"] for e in c["combed"]), c["combed"]
assert len(c["repeated"]) == 2 and len(c["lost"]) == 2, (c["repeated"], c["lost"])
assert c["shifts"] == [], c["shifts"]
PY
  for v in cut lost; do
    "$cli" check --json --video $v.m2v right.tpr >shift.json
    python3 - "$v" <<'PY' && ok || bad "the shift in video $v ($order first): $(head -c 800 shift.json)"
import json, sys
c = json.load(open("shift.json"))[0]
want = [{"entry": 0, "offset": -2}] if sys.argv[1] == "cut" else [{"entry": 302, "offset": -2}]
assert c["shifts"] == want or (sys.argv[1] == "lost" and len(c["shifts"]) == 1 and abs(c["shifts"][0]["entry"] - 302) <= 5), c["shifts"]
PY
  done
done

# The page of the check (top field first, the damaged list, on the
# lossless copy that lost a frame in the middle, so that its pictures can be
# compared byte for byte): every finding has its pictures, those after the
# shift too, they decode in Chromium, the frame as given is the woven frame
# of its entry, and a finding's mark leads to its row.
"$cli" check --tff --fix --force -o fixed.tpr --html=page.html --video lost.mkv damaged.tpr >/dev/null 2>err ||
  bad "check --html: $(cat err)"
cp page.html probe.html
cat >>probe.html <<'JS'
<script>
// Once the page is loaded, its pictures are decoded.
window.addEventListener('load', () => {
  const out = {rows: 0, withPictures: 0, pictures: []};
  for (const row of document.querySelectorAll('#findings tbody tr')) {
    out.rows++;
    if (row.querySelector('img')) out.withPictures++;
  }
  const canvas = document.createElement('canvas'), g = canvas.getContext('2d');
  for (const img of document.querySelectorAll('#findings img')) {
    canvas.width = img.naturalWidth; canvas.height = img.naturalHeight;
    g.drawImage(img, 0, 0);
    const d = g.getImageData(0, 0, canvas.width, canvas.height).data, grey = [];
    for (let i = 0; i < d.length; i += 4) grey.push(d[i]);
    out.pictures.push({entry: +img.dataset.entry, kind: img.dataset.kind, width: img.naturalWidth, grey: grey.join(',')});
  }
  const mark = document.querySelector('.finding-mark');
  mark.click();
  const row = document.getElementById(mark.getAttribute('href').slice(1)).getBoundingClientRect();
  out.hash = location.hash;
  // Scrolled to its anchor, a row may sit a fraction of a pixel above the top.
  out.rowInView = row.top > -1 && row.top < window.innerHeight;
  const pre = document.createElement('pre');
  pre.id = 'result';
  pre.textContent = JSON.stringify(out);
  document.body.appendChild(pre);
});
</script>
JS
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --user-data-dir="$work/chromium" --window-size=1200,900 \
  --virtual-time-budget=20000 --dump-dom "file://$work/probe.html" 2>/dev/null >dom.html
ff -i lost.mkv -f rawvideo -pix_fmt gray frames.gray
python3 - <<'PY' && ok || bad "the check page's pictures: $(grep -o '<pre id="result">.\{0,300\}' dom.html)"
import html, json, re
r = json.loads(html.unescape(re.search(r'<pre id="result">(.*?)</pre>', open("dom.html").read(), re.S).group(1)))
assert r["rows"] > 20 and r["withPictures"] == r["rows"], (r["rows"], r["withPictures"])
assert r["hash"] == "#finding-0" and r["rowInView"], (r["hash"], r["rowInView"])
W, H = 720, 480
data = open("frames.gray", "rb").read()
frame = lambda k: data[k * W * H:(k + 1) * W * H]
def thumb(p):
    # The woven frame of pair p, top field first: a line in three, columns by threes.
    k = p // 2
    rows = []
    for r in range(H // 3):
        # The video's last field: its frame is the last frame as it is.
        src = frame(k + 1) if p % 2 and r % 2 == 0 and (k + 1) * W * H < len(data) else frame(k)
        line = src[3 * r * W:3 * r * W + W]
        rows.append([(line[3 * c] + line[3 * c + 1] + line[3 * c + 2] + 1) // 3 for c in range(W // 3)])
    return [v for row in rows for v in row]
given = [p for p in r["pictures"] if p["kind"] == "given"]
assert len(given) > 10 and max(p["entry"] for p in given) > 302, sorted(p["entry"] for p in given)
for p in given:
    got = [int(v) for v in p["grey"].split(",")]
    assert p["width"] == 240 and got == thumb(p["entry"]), ("entry", p["entry"])
assert all(p["kind"] in ("given", "repaired") for p in r["pictures"])
PY

# The Wobbly project of the damaged list holds what the check found; one
# without the check, none of it.
"$cli" script --for wobbly --tff --video as-is.m2v -o found.wob damaged.tpr 2>err || bad "script --for wobbly: $(cat err)"
"$cli" script --for wobbly --tff --no-check --video as-is.m2v -o plain.wob damaged.tpr 2>err || bad "--no-check: $(cat err)"
python3 - <<'PY' && ok || bad "the findings in the .wob: $(head -c 600 found.wob)"
import json
d = json.load(open("found.wob"))
frames = len(d["matches"])
combed = d["combed frames"]
assert 8 <= len(combed) <= 10 and all(isinstance(f, int) and 0 <= f < frames for f in combed), combed
marks = d["user interface"]["bookmarks"]
assert sum("picture lost: keep entry" in m["description"] for m in marks) == 2, marks
assert sum("picture kept twice" in m["description"] for m in marks) == 2, marks
assert all(isinstance(m["frame"], int) and 0 <= m["frame"] < frames for m in marks)
plain = json.load(open("plain.wob"))
assert "combed frames" not in plain and "user interface" not in plain
PY

# A DVD index of two files: the same check as the video they make joined,
# and a Wobbly project that opens the index with d2v.Source.
ff -i whole.mkv -vf "trim=end_frame=96" -r 30000/1001 -c:v mpeg2video -b:v 6M -flags +ildct+ilme -top 1 -g 15 part1.m2v
ff -i whole.mkv -vf "trim=start_frame=96,setpts=PTS-STARTPTS" -r 30000/1001 -c:v mpeg2video -b:v 6M -flags +ildct+ilme -top 1 -g 15 part2.m2v
cat part1.m2v part2.m2v >joined.m2v
mkdir -p dvd
mv part2.m2v dvd/
printf 'DGIndexProjectFile16\r\n2\r\n%s\r\ndvd/part2.m2v\r\n\r\nStream_Type=0\r\n' "$work/part1.m2v" >movie.d2v
"$cli" check --tff --json --video joined.m2v damaged.tpr >joined.json && "$cli" check --tff --json --video movie.d2v damaged.tpr >d2v.json ||
  bad "check of a .d2v"
python3 -c 'import json; a, b = (json.load(open(f))[0] for f in ("joined.json", "d2v.json")); a.pop("video"); b.pop("video"); assert a == b' &&
  ok || bad "a .d2v checks otherwise than the joined video"
"$cli" script --for wobbly --tff --video movie.d2v -o d2v.wob damaged.tpr && python3 - <<'PY' && ok || bad "the .wob of a .d2v: $(head -c 300 d2v.wob)"
import json, os
d = json.load(open("d2v.wob"))
assert d["input file"] == os.path.abspath("movie.d2v") and d["source filter"] == "d2v.Source", (d["input file"], d["source filter"])
PY
printf 'DGIndexProjectFile16\n2\npart1.m2v\ngone.m2v\n' >broken.d2v
"$cli" check --video broken.d2v damaged.tpr >/dev/null 2>err
[ $? -eq 1 ] && grep -q "broken.d2v: Error, a file the DVD index lists is missing (.*gone.m2v)" err && ok || bad "a missing indexed file: $(cat err)"
# Source filters: a name of the form namespace.Function, d2v.Source only for
# a .d2v and a .d2v only with it; an unknown one is a warning.
for args in "--source-filter foo" "--source-filter d2v.Source --video as-is.m2v" "--source-filter ffms2.Source --video movie.d2v"; do
  set -- $args
  [ "$#" -eq 2 ] && set -- "$@" --video as-is.m2v
  "$cli" script --for wobbly --no-check -o x.wob "$@" damaged.tpr >/dev/null 2>err
  [ $? -eq 2 ] && ok || bad "--source-filter refused for $args: $(cat err)"
done
"$cli" script --for wobbly --no-check --source-filter my.Source --video as-is.m2v -o x.wob damaged.tpr 2>err &&
  grep -q "is none of the usual ones" err && ok || bad "an unknown source filter: $(cat err)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
