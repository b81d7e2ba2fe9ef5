#!/usr/bin/env bash
# Soft pulldown, as most film DVDs hold it: 24p pictures with repeat-first-
# field and top-field-first flags (mjpegtools' mpeg2enc -p), in both field
# orders. Film of a pan over a detailed picture, a small object over a still
# one with grain and a flat cartoon, one scene after the other. The fields
# the flags show are read from ffprobe; the lossless twin is the same film
# telecined by ffmpeg into those fields. A right list, made for the fields
# shown or for two a coded picture, is written back unchanged; a damaged
# one is repaired, and its ffmpeg script on the twin gives every picture
# once, in order, bit for bit.
# Usage: pulldown_test.sh PULLDEX_CLI
set -u
cli=$1
source "$(dirname "$0")/harness.sh"
needs_ffmpeg
command -v mpeg2enc >/dev/null || { echo "skipped: no mpeg2enc"; echo "0 passed, 0 failed"; exit 0; }
film=24000/1001
ff -f lavfi -i "mandelbrot=size=1200x480:start_x=-0.7436447860:start_y=0.1318252536:start_scale=0.0006:end_scale=0.0006:maxiter=300" \
  -frames:v 1 -vf "gblur=sigma=0.6" wide.png
ff -f lavfi -i "mandelbrot=size=720x480:start_x=-0.7453:start_y=0.1127:start_scale=0.01:end_scale=0.01:maxiter=200" \
  -frames:v 1 back.png
ff -filter_complex "movie=wide.png,loop=-1:1,fps=$film,crop=720:480:x='n*8':y=0,setsar=1,trim=end_frame=37[a];
  movie=back.png,loop=-1:1,fps=$film,noise=alls=10:allf=t+u[b];testsrc2=size=32x32:rate=$film[o];[b][o]overlay=x='150+n*6':y='200+30*sin(n/7)',setsar=1,trim=end_frame=41[c];
  color=c=0x3070c0:size=720x480:rate=$film[d];color=c=yellow:size=158x118:rate=$film,pad=170:130:6:6:black[e];[d][e]overlay=x='40+n*7':y=90,setsar=1,trim=end_frame=42[f];
  [a][c][f]concat=n=3:v=1,format=yuv420p" -c:v ffv1 film.mkv
ff -i film.mkv -f framemd5 film.md5

for order in top bottom; do
  o=${order:0:1}
  ff -i film.mkv -f yuv4mpegpipe - | mpeg2enc -v 0 -f 8 -p -z "$o" -b 7000 -o soft.m2v 2>/dev/null ||
    { bad "mpeg2enc -p -z $o"; continue; }
  ffprobe -v error -show_entries frame=repeat_pict,top_field_first -of csv=p=0 soft.m2v >flags.csv
  ff -i film.mkv -vf "telecine=first_field=$order:pattern=32,setfield=${o}ff" -c:v ffv1 twin.mkv
  python3 - "$o" <<'PY' || bad "the fields the flags show ($order first)"
import struct, sys, json
rows = [l.strip().rstrip(",").split(",") for l in open("flags.csv") if l.strip()]
counts = [2 + int(r[1]) for r in rows]            # the fields each picture shows
# ffmpeg's telecine=pattern=32 shows 3, 2, 3, 2, ...: the twin holds the fields the flags show.
assert counts == [3 if k % 2 == 0 else 2 for k in range(len(counts))], counts[:12]
assert rows[0][0] == ("1" if sys.argv[1] == "t" else "0"), rows[0]
starts, at = [], 0
for c in counts:
    starts.append(at)
    at += c
def project(name, n, kept, moved=()):
    records = b"".join(struct.pack("<IBB", i, 3, 0 if i in kept else 1) for i in range(n))
    value = struct.pack("<II", 6, n) + records
    open(name, "wb").write(b"Video.DeinterlaceEx.List\x0a" + struct.pack("<I", len(value)) + value)
project("right.tpr", at, set(starts))
# Made without the flags: two entries a coded picture, each picture kept once.
project("coded.tpr", 2 * len(counts), set(range(0, 2 * len(counts), 2)))
damaged = list(starts)
three = [s for s, c in zip(starts, counts) if c == 3]
two = [s for s, c in zip(starts, counts) if c == 2]
for s in two[3::10][:4]:                      # onto the second field: woven with the next picture
    damaged[damaged.index(s)] = s + 1
damaged.remove(three[20])                     # a picture lost
damaged.append(three[30] + 1)                 # a picture kept twice
project("damaged.tpr", at, set(damaged))
json.dump({"pictures": len(counts), "fields": at}, open("truth.json", "w"))
PY
  flag=()
  [ "$o" = b ] && flag=(--bff)
  # Right lists, either field sequence: unchanged.
  for list in right coded; do
    "$cli" check --fix --force -o fixed.tpr --json "${flag[@]}" --video soft.m2v $list.tpr >check.json 2>err &&
      cmp -s fixed.tpr $list.tpr && python3 - $list <<'PY' && ok || bad "the right list ($list, $order first) unchanged: $(cat err; head -c 900 check.json)"
import json, sys
c = json.load(open("check.json"))[0]
t = json.load(open("truth.json"))
assert c["pulldown"] == ("applied" if sys.argv[1] == "right" else "ignored"), c["pulldown"]
assert c["codedPictures"] == t["pictures"] and c["shownFields"] == t["fields"], (c["codedPictures"], c["shownFields"])
assert c["changes"] == [] and c["combed"] == [] and c["lost"] == [] and c["repeated"] == [], c["changes"]
assert c["kept"] > 0.9 * t["pictures"], c["kept"]
PY
  done
  # The damaged list: repaired, and its script on the twin gives the film.
  "$cli" check --fix --force -o fixed.tpr --json "${flag[@]}" --video soft.m2v damaged.tpr >check.json 2>err ||
    bad "check --fix of the damaged list ($order first): $(cat err)"
  "$cli" script "${flag[@]}" --force -o fixed.txt fixed.tpr &&
    ff -i twin.mkv -filter_script:v fixed.txt -fps_mode passthrough -f framemd5 got.md5 || bad "the repaired script ($order first)"
  python3 - <<'PY' && ok || bad "the repaired list on the twin ($order first): $(head -c 1200 check.json)"
import json
md5 = lambda name: [l.split(",")[-1].strip() for l in open(name) if not l.startswith("#")]
want, got = md5("film.md5"), md5("got.md5")
c = json.load(open("check.json"))[0]
assert got == want, (len(got), len(want), [i for i, (a, b) in enumerate(zip(got, want)) if a != b][:5])
assert len(c["combed"]) == 4 and len(c["lost"]) == 1 and len(c["repeated"]) == 1, (c["combed"], c["lost"], c["repeated"])
PY
  # Hand-offs from the flagged stream itself. ffmpeg decodes each coded
  # picture once: the script of a right or repaired list keeps every one,
  # bit for bit as decoded; a list that weaves two of them is refused.
  ff -i soft.m2v -fps_mode passthrough -f framemd5 coded.md5
  for list in right fixed; do
    "$cli" script --force -o soft.txt --video soft.m2v $list.tpr 2>err &&
      ff -i soft.m2v -filter_script:v soft.txt -fps_mode passthrough -f framemd5 got.md5 &&
      diff -q <(grep -v '^#' coded.md5 | cut -d, -f6) <(grep -v '^#' got.md5 | cut -d, -f6) >/dev/null &&
      ok || bad "ffmpeg's script of the $list list from soft.m2v ($order first): $(cat err; head -c 300 soft.txt)"
  done
  "$cli" script --force -o soft.txt --video soft.m2v damaged.tpr 2>err
  [ $? -eq 1 ] && grep -q "weaves fields of coded pictures" err && ok || bad "the damaged list's script refused: $(cat err)"
  "$cli" script --for avisynth "${flag[@]}" --force -o soft.avs --video soft.m2v right.tpr 2>err &&
    grep -q 'repeat=true' soft.avs && ok || bad "AviSynth's source applies the flags: $(cat err soft.avs)"
  # Wobbly calls its source filter with the file alone.
  "$cli" script --for wobbly "${flag[@]}" --no-check --force -o soft.wob --video soft.m2v right.tpr 2>err
  [ $? -eq 1 ] && grep -q "gives each coded picture once" err && [ ! -e soft.wob ] && ok ||
    bad "Wobbly's lsmas.LWLibavSource refused for the fields shown: $(cat err)"
done
# --pulldown for a stream that has no flags: a warning, the check as without it.
ff -i film.mkv -vf "telecine=first_field=top:pattern=32,setfield=tff" -c:v mpeg2video -b:v 6M -flags +ildct+ilme -top 1 hard.m2v
"$cli" check --json --pulldown apply --video hard.m2v right.tpr >hard.json 2>err &&
  python3 -c 'import json; c = json.load(open("hard.json"))[0]; assert c["pulldown"] == "none" and any("repeats no fields" in w for w in c["warnings"]), c["warnings"]' &&
  ok || bad "--pulldown on hard telecine: $(cat err; head -c 600 hard.json)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
