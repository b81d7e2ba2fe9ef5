#!/usr/bin/env bash
# The report's page in a real browser, and the frame lists and timestamps in
# the tools they are meant for: headless Chromium, mkvmerge and ffmpeg.
# Usage: report_test.sh PULLDEX_CLI SAMPLE_PROJECT
set -u
cli=$1
sample=$2
source "$(dirname "$0")/harness.sh"
cp "$sample" movie.tpr

# The sample holds an alternation, a single entry, a cycle, the other phase
# of the alternation and an end that only the list's end cut short: five
# sections, two breaks.
"$cli" report movie.tpr --html >report.txt 2>err.txt && ok || bad "report: $(cat err.txt)"
[ -f movie.report.html ] && ok || bad "no movie.report.html beside the project"
grep -qE '^!\s+1200\s+600a\s+0:00:20\.020\s+1200\s+1\s+480\s+100\.0\s+59\.940\s+single\s+1$' report.txt && ok || bad "text table row of the single entry: $(cat report.txt)"
"$cli" report --json movie.tpr >report.json && python3 - <<'PY' && ok || bad "report --json"
import json
d = json.load(open("report.json"))[0]
s = d["summary"]
assert (s["entries"], s["kept"], s["copy"], s["sections"], s["breaks"]) == (3000, 1201, 1799, 5, 2), s
assert (s["fields"], s["videoFrames"]) == (3000, 1500), s
assert [x["first"] for x in d["sections"]] == [0, 1200, 1201, 2203, 2998], d["sections"]
assert [x["scriptStart"] for x in d["sections"]] == ["0a", "600a", "600b", "1101b", "1499a"], d["sections"]
assert d["breaks"] == [1200, 2203]
assert s["mostCommonPattern"] == {"pattern": "10100", "entries": 1200, "sections": 1}, s
assert [x["cadence"] for x in d["sections"]] == ["3:2 pulldown", None, "2:3:3:2", "3:2 pulldown", None]
assert d["sections"][2]["kind"] == "cycle" and d["sections"][2]["pattern"] == "1010100100"
assert sum(x["kept"] for x in d["sections"]) == 1201
PY
# Every section starts where the script has a line, with the same pattern
# and kept index.
"$cli" asc movie.tpr -o movie.asc
python3 - <<'PY' && ok || bad "sections and script lines differ"
import json
d = json.load(open("report.json"))[0]
lines = [l.split("\t") for l in open("movie.asc", newline="").read().split("\r\n") if l]
start = lambda e: f"{e // 2}{'ab'[e % 2]}"
assert [[start(x["first"]), x["pattern"], str(x["firstKeptIndex"])] for x in d["sections"]] == lines, lines
PY

browser() {
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" "$@" 2>/dev/null
}
if command -v chromium >/dev/null; then
  # Nothing is loaded from the network.
  grep -qiE '(src|href)="?(https?:)?//' movie.report.html && bad "the page loads something from outside" || ok
  # After its scripts ran, with a click on the third row simulated.
  browser --dump-dom "file://$work/movie.report.html#click=2" >dom.html
  grep -q 'id="section-count">5<' dom.html && ok || bad "the section count in the page"
  grep -q '<tr data-i="1" class="break"><td>1200</td><td>600a</td><td>0:00:20.020</td>' dom.html && ok ||
    bad "the break at entry 1200 in the table"
  grep -q '<h2>Section 1201 to 2202 (600b, 0:00:20.037): cycle 1010100100, 23.976 fps</h2>' dom.html && ok ||
    bad "the detail view after the click"
  # The section's first 120 entries and 20 on either side: 20 before it, 140 of it.
  [ "$(grep -o 'class="entry kept"' dom.html | wc -l)" -eq 56 ] && [ "$(grep -o 'class="entry dropped"' dom.html | wc -l)" -eq 84 ] &&
    [ "$(grep -o 'class="entry [a-z]* around"' dom.html | wc -l)" -eq 20 ] && ok ||
    bad "the detail view draws the section's first 120 entries and those around them"
  grep -q '<dd id="rates">23.976 fps: 99.9 %, 29.970 fps: 0.1 %, 59.940 fps: 0.0 %</dd>' dom.html && ok || bad "the rates"
  grep -q 'data-i="2" class=" selected"' dom.html && ok || bad "the clicked row is marked"
  # Without scripts the summary, the overview and the table are there all
  # the same: they are in the page as written, not made by its script.
  sed '/<script>/,/<\/script>/d' movie.report.html >static.html
  grep -q 'id="summary"' static.html && grep -q '<div id="overview"' static.html && grep -q '<td>2998</td>' static.html &&
    grep -q 'class="break-mark"' static.html && ok || bad "the page without JavaScript"
  # Sorting, a click on the overview and the axis at 600 pixels, in the
  # browser: a script after the page's own clicks as a user would.
  sed 's|</body>|<script src="harness.js"></script></body>|' movie.report.html >harness.html
  cat >harness.js <<'JS'
window.addEventListener('load', () => {
  const out = [], firsts = () => Array.from(document.querySelectorAll('#sections tbody tr[data-i]')).slice(0, 3)
    .map(r => r.cells[0].textContent).join(',');
  const ths = document.querySelectorAll('#sections th');
  ths[1].click(); ths[1].click();
  out.push('script-down=' + firsts());
  ths[2].click();
  out.push('time-up=' + firsts());
  ths[7].click(); ths[7].click();
  out.push('fps-down=' + firsts());
  const ov = document.getElementById('overview'), b = ov.getBoundingClientRect();
  ov.dispatchEvent(new MouseEvent('click', {clientX: b.left + b.width * 1230 / 3000, clientY: b.top + 5, bubbles: true}));
  const sel = document.querySelector('tr.selected');
  out.push('selected=' + (sel ? sel.dataset.i : 'none'));
  out.push('detail=' + document.querySelector('#detail h2').textContent);
  const spans = Array.from(document.querySelectorAll('.axis span')).map(s => s.getBoundingClientRect());
  let apart = spans.length > 1;
  for (let i = 1; i < spans.length; i++) apart = apart && spans[i].left >= spans[i - 1].right + 4;
  out.push('labels=' + spans.length + ' apart=' + apart + ' inside=' + spans.every(r => r.left >= b.left - 1 && r.right <= b.right + 1) +
           ' width=' + Math.round(b.width));
  const pre = document.createElement('pre');
  pre.id = 'result';
  pre.textContent = out.join('\n');
  document.body.appendChild(pre);
});
JS
  browser --allow-file-access-from-files --window-size=600,900 --dump-dom "file://$work/harness.html" >harness.dom
  python3 - <<'PY' && ok || bad "sorting, the overview's click or the axis in the browser: $(grep -A8 'id="result"' harness.dom)"
import re
text = re.search(r'<pre id="result">(.*?)</pre>', open("harness.dom").read(), re.S).group(1)
got = dict(line.split("=", 1) for line in text.splitlines())
assert got["script-down"] == "2998,2203,1201", got   # by entry, not as text
assert got["time-up"] == "0,1200,1201", got          # by time, not text minus text
assert got["fps-down"].split(",")[0] == "1200", got  # 59.940 first
assert got["selected"] == "1", got                   # the break at 1200, nearest to the click
assert got["detail"].startswith("Section 1200 to 1200"), got
labels, apart, inside, width = [x.split("=")[1] for x in ("labels=" + got["labels"]).split()]
assert int(labels) >= 3 and apart == "true" and inside == "true" and int(width) < 600, got
PY
  # The largest list a project can hold stays small.
  python3 -c 'import sys; sys.stdout.write(("1010010010" * 1677722)[:16777216])' >huge.sfs
  "$cli" report --sfs huge.sfs movie.tpr --html=huge.html >/dev/null && ok || bad "report of 16,777,216 entries"
  [ "$(stat -c %s huge.html)" -lt 20000000 ] && ok || bad "the page of 16,777,216 entries is $(stat -c %s huge.html) bytes"
  # Millions of breaks: one mark at most for each of 200 columns, each apart.
  [ "$(grep -o 'class="break-mark"' huge.html | wc -l)" -le 200 ] && ok || bad "break marks merge"
else
  echo "skipped: the browser checks (no chromium)"
fi

# frames: the numbers of the kept entries, or of the others.
"$cli" frames movie.tpr && ok || bad "frames"
head -n 1 movie.frames.txt | grep -q '^# pulldex-cli .*: kept frames of movie.tpr$' && ok || bad "frames comment line"
[ "$(tail -n +2 movie.frames.txt | wc -l)" -eq 1201 ] && ok || bad "one line per kept frame"
"$cli" frames --dropped movie.tpr -o - >dropped.txt
[ "$(tail -n +2 dropped.txt | wc -l)" -eq 1799 ] && ok || bad "one line per dropped frame"
sort -n <(tail -n +2 movie.frames.txt) <(tail -n +2 dropped.txt) | cmp -s - <(seq 0 2999) && ok || bad "kept and dropped make up every entry"
if grep -q $'\r' movie.frames.txt; then bad "frames has CR"; else ok; fi
"$cli" timestamps --rate 0 movie.tpr >/dev/null 2>&1; [ $? -eq 2 ] && ok || bad "a bad rate is a usage error"
# Entries are fields: the kept entries 0 and 2 are 1/29.97 s apart, and the
# sample's 3000 fields span 50 s.
"$cli" timestamps --rate 30000/1001 movie.tpr -o - | sed -n 2,3p | tr '\n' ' ' | grep -qx '0.000000 33.366667 ' && ok ||
  bad "timestamps of entries 0 and 2: $("$cli" timestamps movie.tpr -o - | sed -n 2,3p)"
"$cli" timestamps movie.tpr -o - | tail -n 1 | grep -qx '50016.633333' && ok || bad "the sample does not span 50 s"

# timestamps: mkvmerge muxes a stream of as many frames with them, and
# mkvextract gives the same times back.
if command -v mkvmerge >/dev/null && command -v ffmpeg >/dev/null; then
  "$cli" timestamps movie.tpr && ok || bad "timestamps"
  head -n 1 movie.timestamps.txt | grep -qx '# timestamp format v2' && ok || bad "timestamps header"
  ffmpeg -loglevel error -f lavfi -i testsrc=size=64x48:rate=30000/1001 -frames:v 1201 -c:v libx264 -preset ultrafast \
    -g 1 stream.mkv && ok || bad "ffmpeg made no stream"
  mkvmerge -o out.mkv --timestamps 0:movie.timestamps.txt stream.mkv >mux.log 2>&1
  [ $? -eq 0 ] && ! grep -qi warning mux.log && ok || bad "mkvmerge: $(cat mux.log)"
  mkvextract out.mkv timestamps_v2 0:back.txt >/dev/null && ok || bad "mkvextract"
  # Format v1: a rate for each stretch.
  "$cli" timestamps --v1 movie.tpr -o v1.txt && head -n 1 v1.txt | grep -qx '# timestamp format v1' && ok || bad "timestamps --v1"
  mkvmerge -o v1.mkv --timestamps 0:v1.txt stream.mkv >mux1.log 2>&1
  [ $? -eq 0 ] && ! grep -qi warning mux1.log && ok || bad "mkvmerge v1: $(cat mux1.log)"
  mkvextract v1.mkv timestamps_v2 0:back1.txt >/dev/null && ok || bad "mkvextract v1"
  python3 - <<'PY' && ok || bad "the times came back different"
import json
ours = [float(l) for l in open("movie.timestamps.txt") if not l.startswith("#")]
back = [float(l) for l in open("back.txt") if not l.startswith("#")]
# mkvextract ends with the end of the last frame as one more line.
assert len(ours) == 1201 and len(back) in (1201, 1202), (len(ours), len(back))
back = back[:len(ours)]
# Matroska keeps whole milliseconds at its default scale.
assert max(abs(a - b) for a, b in zip(ours, back)) <= 0.5 + 1e-6, max(abs(a - b) for a, b in zip(ours, back))
# Each section's first frame at the moment of its field in v2; in v1 every
# frame within a field (16.7 ms) of its v2 time, and the film frames of a
# section evenly spaced: no 3:2 judder.
sections = json.load(open("report.json"))[0]["sections"]
v1 = [float(l) for l in open("back1.txt") if not l.startswith("#")][:1201]
for s in sections:
    moment = s["first"] * 1000 * 1001 / 60000
    assert abs(back[s["firstKeptIndex"]] - moment) <= 2, (s, back[s["firstKeptIndex"]], moment)
worst = max(abs(a - b) for a, b in zip(v1, back))
assert worst <= 1001 / 60 + 1, worst
film = [s for s in sections if s["kind"] in ("cycle", "alternation")]
for s in film:
    steps = [v1[k + 1] - v1[k] for k in range(s["firstKeptIndex"], s["firstKeptIndex"] + s["kept"] - 1)]
    assert max(steps) - min(steps) <= 1 + 1e-6, (s, min(steps), max(steps))
PY
else
  echo "skipped: the mkvmerge round trip (no mkvtoolnix or ffmpeg)"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
