#!/usr/bin/env bash
# The decisions handed to ffmpeg give back every source frame, exactly: film
# telecined by ffmpeg in the 2:3, 3:2 and 2:3:3:2 cadences, with 30p video
# between the stretches, for both field orders. The project marks the field
# where each output frame starts; `pulldex-cli script` turns it into ffmpeg's
# filter script, and framemd5 compares what comes out with the source frames.
# The same in Wobbly's rules, and at the list's end. (The check and its
# repair are proven on video that looks real in repair_test.sh.)
# Usage: video_test.sh PULLDEX_CLI
set -u
cli=$1
source "$(dirname "$0")/harness.sh"
needs_ffmpeg
size=160x120
raw=(-f rawvideo -pix_fmt yuv420p -s "$size")

for order in top bottom; do
  rm -f all.yuv expected.yuv starts.txt
  fields=0
  # film (telecine pattern) or video, with a seed for different pictures each time
  for segment in film:23:1 video::2 film:32:3 video::4 film:2332:5 film:23:6; do
    IFS=: read -r kind pattern seed <<<"$segment"
    if [ "$kind" = film ]; then
      ff -f lavfi -i "testsrc2=size=$size:rate=24000/1001,hue=h=$((seed * 40))" -frames:v 40 "${raw[@]}" src.yuv
      ff "${raw[@]}" -r 24000/1001 -i src.yuv -vf "telecine=first_field=$order:pattern=$pattern" "${raw[@]}" part.yuv
      # Each film frame starts where the pattern's fields of the one before end.
      python3 -c 'import sys
p, at = sys.argv[1], int(sys.argv[2])
for k in range(40):
    print(at); at += int(p[k % len(p)])' "$pattern" "$fields" >>starts.txt
    else
      ff -f lavfi -i "testsrc2=size=$size:rate=30000/1001,hue=h=$((seed * 40))" -frames:v 20 "${raw[@]}" src.yuv
      cp src.yuv part.yuv
      seq "$fields" 2 $((fields + 38)) >>starts.txt
    fi
    cat src.yuv >>expected.yuv
    cat part.yuv >>all.yuv
    fields=$((fields + 2 * $(stat -c %s part.yuv) / 28800))
  done
  ff "${raw[@]}" -r 30000/1001 -i all.yuv -c:v rawvideo source.nut
  # The project: a record for every field, kept where an output frame starts.
  python3 -c 'import struct, sys
fields, starts = int(sys.argv[1]), set(int(l) for l in open("starts.txt"))
records = b"".join(struct.pack("<IBB", i, 0, 0 if i in starts else 1) for i in range(fields))
value = struct.pack("<II", 6, fields) + records
open("movie.tpr", "wb").write(b"Video.DeinterlaceEx.List\x0a" + struct.pack("<I", len(value)) + value)' "$fields"
  flag=()
  [ "$order" = bottom ] && flag=(--bff)
  "$cli" script "${flag[@]}" movie.tpr && ok || bad "script ($order first)"
  ff -i source.nut -filter_script:v movie.ffmpeg.txt -fps_mode passthrough -f framemd5 out.md5 && ok ||
    bad "ffmpeg refused the filter script ($order first): $(head -c 300 movie.ffmpeg.txt)"
  python3 - <<'PY' && ok || bad "the frames that came out are not the source's ($order first)"
import hashlib
data = open("expected.yuv", "rb").read()
n = 28800
expected = [hashlib.md5(data[i:i + n]).hexdigest() for i in range(0, len(data), n)]
got = [l.split(",")[-1].strip() for l in open("out.md5") if not l.startswith("#")]
assert len(expected) == 200, len(expected)
assert got == expected, (len(got), sum(a == b for a, b in zip(got, expected)))
PY

  # Then on in Wobbly: the project holds the source as ffmpeg reads it, and
  # Wobbly's rules give the same frames as the ffmpeg script did.
  "$cli" script "${flag[@]}" --for wobbly --video source.nut movie.tpr && ok || bad "script --for wobbly ($order first)"
  python3 - "$order" <<'PY' && ok || bad "the Wobbly project ($order first)"
import json, os, sys
tff = sys.argv[1] == "top"
d = json.load(open("movie.wob"))
assert d["input file"] == os.path.abspath("source.nut") and d["input resolution"] == [160, 120], d["input file"]
assert d["input frame rate"] == [30000, 1001] and d["vfm parameters"]["order"] == (1 if tff else 0)
clip = [f for first, last in d["trim"] for f in range(first, last + 1)]
gone = set(d["decimated frames"])
got = []
for n, m in enumerate(d["matches"]):
    if n in gone:
        continue
    t = b = n
    if m == "n":
        (t, b) = (n + 1, n) if tff else (n, n + 1)
    elif m == "b":
        (t, b) = (n, n - 1) if tff else (n - 1, n)
    got.append((clip[t], clip[b]))
want = []
for i in sorted(int(l) for l in open("starts.txt")):
    if i % 2 == 0:
        want.append((i // 2, i // 2))
    else:
        want.append(((i + 1) // 2, (i - 1) // 2) if tff else ((i - 1) // 2, (i + 1) // 2))
assert got == want, (len(got), len(want))
PY
done

# The expression stays balanced: thousands of irregular entries, far more
# than the 100 levels of nesting ffmpeg's parser takes, still parse.
python3 -c 'import struct
starts = set(range(0, 19990, 7)) | set(range(3, 19990, 11))
records = b"".join(struct.pack("<IBB", i, 0, 0 if i in starts else 1) for i in range(20000))
value = struct.pack("<II", 6, 20000) + records
open("many.tpr", "wb").write(b"Video.DeinterlaceEx.List\x0a" + struct.pack("<I", len(value)) + value)'
"$cli" script many.tpr -o many.txt && ok || bad "script of many sections"
ff -f lavfi -i "testsrc2=size=32x32:rate=30000/1001,trim=end_frame=10000" -filter_script:v many.txt \
  -fps_mode passthrough -f framemd5 many.md5 && ok || bad "ffmpeg refused the script of many sections"
[ "$(grep -vc '^#' many.md5)" -eq "$(python3 -c 'print(len(set(range(0, 19990, 7)) | set(range(3, 19990, 11))))')" ] &&
  ok || bad "the script of many sections kept $(grep -vc '^#' many.md5) frames"

# The list's end: for lists of both parities, ending kept or not, frames,
# timestamps and ffmpeg agree on the number of frames of a clip of
# ceil(N/2) frames, and stripping the list changes none of them: a kept
# entry on the clip's last field is the clip's last frame as it is.
for n in 20 21 200 201 999 1000; do
  python3 - "$n" <<'PY'
import random, struct, sys
n = int(sys.argv[1])
random.seed(n)
kept = [random.random() < 0.45 for _ in range(n)]
kept[-1] = n % 2 == 0
kept[-3] = True
kept[0] = True  # strip moves the first kept mark to entry 0, as the load does
records = b"".join(struct.pack("<IBB", i, 0, 0 if k else 1) for i, k in enumerate(kept))
value = struct.pack("<II", 6, n) + records
open("end.tpr", "wb").write(b"Video.DeinterlaceEx.List\x0a" + struct.pack("<I", len(value)) + value)
PY
  "$cli" strip end.tpr -o stripped.tpr --force || bad "strip of $n entries"
  ff -f lavfi -i "testsrc2=size=32x32:rate=30000/1001" -frames:v $(((n + 1) / 2)) -c:v rawvideo end.nut
  for p in end stripped; do
    "$cli" script $p.tpr -o $p.txt --force && "$cli" frames $p.tpr -o $p.frames --force &&
      "$cli" timestamps $p.tpr -o $p.times --force || bad "exports of $n entries ($p)"
    ff -i end.nut -filter_script:v $p.txt -fps_mode passthrough -f framemd5 $p.md5 || bad "ffmpeg, $n entries ($p)"
    made=$(grep -vc '^#' $p.md5)
    [ "$made" -eq "$(grep -vc '^#' $p.frames)" ] && [ "$made" -eq "$(grep -vc '^#' $p.times)" ] && ok ||
      bad "$n entries ($p): ffmpeg made $made frames, frames lists $(grep -vc '^#' $p.frames), timestamps $(grep -vc '^#' $p.times)"
  done
  cmp -s <(grep -v '^#' end.md5) <(grep -v '^#' stripped.md5) && cmp -s end.times stripped.times &&
    cmp -s <(grep -v '^#' end.frames) <(grep -v '^#' stripped.frames) && ok || bad "$n entries: stripping changed an export"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
