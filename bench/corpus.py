#!/usr/bin/env python3
"""A corpus of clips made the way discs are made, and how well each tool
turns them back into their pictures.

  corpus.py build DIR [CLIP...]  the clips (or those named), their lossless
                           twins, their truth and lists
  corpus.py table DIR CLI [CLIP...]
                           one row a clip: pictures missing, repeated and combed
                           after `check --fix` from the right list and from a
                           list of one cadence, beside fieldmatch+decimate and
                           pullup on the lossless twin

Content: photographs from Debian's python3-skimage (astronaut, coffee, cat,
motorcycle), panned or under a small sprite; a flat cartoon; a test pattern;
scrolling text; a fade; a dark, low-contrast pan; 60i video; all with grain.
Each film scene is telecined on its own and cut at a random frame of its
cadence at both ends, so that the cadence restarts at every cut and orphan
fields are left. Encodings: DVD and SVCD MPEG-2, VCD MPEG-1 (coded
progressively), 1080i MPEG-2, and soft pulldown in both orders (mpeg2enc -p).
Every clip has a lossless twin (FFV1) of the same fields. dvd-mixed is edited
from sources of both field orders: its first five scenes top field first, the
rest bottom first.

Held out: the clips marked held are kept out of tuning the judge, so that
their rows tell how it does on clips it was not fitted to.
"""
import collections, glob, json, os, random, struct, subprocess, sys

FILM = "24000/1001"
VIDEO = "60000/1001"

# name, size, encoding, field order, pictures a scene, held out of tuning
CLIPS = [
    ("dvd-tff", (720, 480), "mpeg2", "top", 44, False),
    ("dvd-bff", (720, 480), "mpeg2", "bottom", 44, True),
    ("svcd", (480, 480), "mpeg2", "top", 44, True),
    ("vcd", (352, 240), "mpeg1", "top", 44, False),
    ("hd1080i", (1920, 1080), "mpeg2", "top", 20, True),
    ("soft-tff", (720, 480), "soft", "top", 44, False),
    ("soft-bff", (720, 480), "soft", "bottom", 44, True),
    ("dvd-mixed", (720, 480), "mpeg2", "mixed", 44, False),
    ("anime", (720, 480), "mpeg2", "top", 44, False),
]


def ff(*args):
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", *args], check=True)


def photos(work):
    """The photographs, taken from the Debian package without installing it."""
    out = os.path.join(work, "photos")
    if not os.path.isdir(out):
        os.makedirs(out)
        subprocess.run(["apt-get", "download", "python3-skimage"], cwd=out, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deb = glob.glob(os.path.join(out, "python3-skimage_*.deb"))[0]
        subprocess.run(["dpkg-deb", "-x", deb, os.path.join(out, "x")], check=True)
    data = glob.glob(os.path.join(out, "x/usr/lib/python3/dist-packages/skimage/data"))[0]
    return {k: os.path.join(data, k + ".png") for k in ("astronaut", "coffee", "chelsea", "motorcycle_left", "page")}


def scenes(p, w, h):
    """Each scene's filter graph at w x h: (name, graph, rate). Grain on all."""
    grain = "noise=alls=7:allf=t+u"
    wide = f"scale={w * 2}:{h}:flags=lanczos,setsar=1"
    return [
        ("pan", f"movie={p['astronaut']},{wide},loop=-1:1,fps={FILM},crop={w}:{h}:x='n*{max(2, w // 90)}':y=0,{grain}", FILM),
        ("sprite", f"movie={p['chelsea']},scale={w}:{h},setsar=1,loop=-1:1,fps={FILM},{grain}[b];"
                   f"testsrc2=size={w // 12}x{w // 12}:rate={FILM}[o];[b][o]overlay=x='{w // 5}+n*{max(2, w // 120)}':y='{h // 3}+{h // 16}*sin(n/7)'", FILM),
        ("cartoon", f"color=c=0x3070c0:size={w}x{h}:rate={FILM}[b];color=c=yellow:size={w // 5}x{h // 4}:rate={FILM},"
                    f"pad={w // 5 + 8}:{h // 4 + 8}:4:4:black[o];[b][o]overlay=x='{w // 20}+n*{max(2, w // 100)}':y={h // 5},noise=alls=3:allf=t", FILM),
        ("pattern", f"testsrc2=size={w}x{h}:rate={FILM},{grain}", FILM),
        ("credits", f"movie={p['page']},scale={w}:{h * 3},setsar=1,loop=-1:1,fps={FILM},crop={w}:{h}:x=0:y='n*{max(2, h // 60)}',{grain}", FILM),
        ("fade", f"movie={p['coffee']},scale={w}:{h},setsar=1,loop=-1:1,fps={FILM},fade=out:st=0.2:d=1.5,{grain}", FILM),
        ("video", f"movie={p['motorcycle_left']},scale={w * 2}:{h},setsar=1,loop=-1:1,fps={VIDEO},crop={w}:{h}:x='n*{max(1, w // 200)}':y=0,{grain}", VIDEO),
        ("dark", f"movie={p['motorcycle_left']},{wide},loop=-1:1,fps={FILM},crop={w}:{h}:x='{w}-n*{max(2, w // 90)}':y=0,"
                 f"eq=brightness=-0.25:contrast=0.35,{grain}", FILM),
    ]


def anime_scenes(p, w, h):
    """Drawings held over film frames, each scene's graph at w x h: a flat
    character on twos, one on threes, a background panned on ones under a
    character on twos, and the credits. Grain on every film frame, so that
    each film frame of a held drawing is a picture of its own."""
    grain = "noise=alls=4:allf=t"
    step = max(2, w // 60)
    def box(colour, x, y):
        return (f"color=c={colour}:size={w // 5}x{h // 4}:rate={FILM},pad={w // 5 + 8}:{h // 4 + 8}:4:4:black[o];"
                f"[b][o]overlay=x='{x}':y='{y}'")
    blue = f"color=c=0x3070c0:size={w}x{h}:rate={FILM}[b];"
    pan = f"movie={p['astronaut']},scale={w * 2}:{h}:flags=lanczos,setsar=1,loop=-1:1,fps={FILM},crop={w}:{h}:x='n*{step}':y=0[b];"
    return [
        ("twos", blue + box("yellow", f"{w // 20}+floor(n/2)*{2 * step}", f"{h // 5}") + f",{grain}", FILM),
        ("threes", blue + box("red", f"{w // 2}-floor(n/3)*{3 * step}", f"{h // 3}+floor(n/3)*{step}") + f",{grain}", FILM),
        ("pan-held", pan + box("yellow", f"{w // 4}+floor(n/2)*{step}", f"{h // 2}") + f",{grain}", FILM),
        scenes(p, w, h)[4],
    ]


def md5s(path):
    out = subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-i", path, "-fps_mode", "passthrough", "-f", "framemd5", "-"],
                         check=True, capture_output=True, text=True).stdout
    return [l.split(",")[-1].strip() for l in out.splitlines() if l and not l.startswith("#")]


def project(path, n, kept):
    records = b"".join(struct.pack("<IBB", i, 0, 0 if i in kept else 1) for i in range(n))
    value = struct.pack("<II", 6, n) + records
    with open(path, "wb") as f:
        f.write(b"Video.DeinterlaceEx.List\x0a" + struct.pack("<I", len(value)) + value)


def build_clip(work, p, name, size, encoding, order, count, rng):
    w, h = size
    mixed = order == "mixed"
    o = "t" if mixed else order[0]
    d = os.path.join(work, name)
    os.makedirs(d, exist_ok=True)
    parts, fields, frames, video = [], [], [], []   # twin parts; picture of each field; md5 of each picture
    soft = encoding == "soft"
    for k, (scene, graph, rate) in enumerate(anime_scenes(p, w, h) if name == "anime" else scenes(p, w, h)):
        so = ("top" if k < 5 else "bottom") if mixed else order   # this scene's field order
        if soft and rate == VIDEO:
            continue                                   # soft pulldown is film throughout
        n = count * 2 if rate == VIDEO else count
        src = os.path.join(d, f"{k}-{scene}.mkv")
        ff("-filter_complex", graph + ",format=yuv420p", "-frames:v", str(n), "-c:v", "ffv1", src)
        if soft:
            parts.append(src)
            for m in md5s(src):
                frames.append(m)
            continue
        tc = os.path.join(d, f"{k}-{scene}-tc.mkv")
        if rate == VIDEO:
            ff("-i", src, "-vf", f"tinterlace=mode=interleave_{so},setfield={so[0]}ff", "-c:v", "ffv1", tc)
            for m in md5s(tc):
                video.append(len(frames))
                fields += [len(frames)] * 2
                frames.append(m)
            parts.append(tc)
            continue
        ff("-i", src, "-vf", f"telecine=first_field={so}:pattern=23,setfield={so[0]}ff", "-c:v", "ffv1", tc)
        # Fields of picture j: 2 when j is even, 3 when odd; cut whole frames at
        # a random phase of the cadence at each end.
        per = []
        for j, m in enumerate(md5s(src)):
            per += [len(frames)] * (2 if j % 2 == 0 else 3)
            frames.append(m)
        total = len(per) // 2
        first, last = rng.randrange(5), total - rng.randrange(5)
        cut = os.path.join(d, f"{k}-{scene}-cut.mkv")
        ff("-i", tc, "-vf", f"trim=start_frame={first}:end_frame={last},setpts=PTS-STARTPTS,setfield={so[0]}ff", "-c:v", "ffv1", cut)
        fields += per[2 * first:2 * last]
        parts.append(cut)
    inputs = sum((["-i", x] for x in parts), [])
    joined = "".join(f"[{i}]" for i in range(len(parts)))
    if soft:
        film = os.path.join(d, "film.mkv")
        ff(*inputs, "-filter_complex", f"{joined}concat=n={len(parts)}:v=1", "-c:v", "ffv1", film)
        twin = os.path.join(d, "twin.mkv")
        ff("-i", film, "-vf", f"telecine=first_field={order}:pattern=32,setfield={o}ff", "-c:v", "ffv1", twin)
        for j in range(len(frames)):
            fields += [j] * (3 if j % 2 == 0 else 2)
        clip = os.path.join(d, "clip.m2v")
        y4m = subprocess.Popen(["ffmpeg", "-nostdin", "-loglevel", "error", "-i", film, "-f", "yuv4mpegpipe", "-"], stdout=subprocess.PIPE)
        subprocess.run(["mpeg2enc", "-v", "0", "-f", "8", "-p", "-z", o, "-b", "7000", "-o", clip], stdin=y4m.stdout,
                       check=True, stderr=subprocess.DEVNULL)
        y4m.wait()
    else:
        twin = os.path.join(d, "twin.mkv")
        ff(*inputs, "-filter_complex", f"{joined}concat=n={len(parts)}:v=1,setfield={o}ff", "-c:v", "ffv1", twin)
        top = "1" if o == "t" else "0"
        if encoding == "mpeg1":
            clip = os.path.join(d, "clip.mpg")
            ff("-i", twin, "-c:v", "mpeg1video", "-b:v", "1150k", "-maxrate", "1150k", "-bufsize", "327k", "-g", "18", "-bf", "2", clip)
        else:
            clip = os.path.join(d, "clip.m2v")
            rate = "25M" if w > 720 else ("2500k" if w == 480 else "6M")
            ff("-i", twin, "-c:v", "mpeg2video", "-b:v", rate, "-flags", "+ildct+ilme", "-top", top, "-g", "15", "-bf", "2", clip)
    for x in glob.glob(os.path.join(d, "[0-9]*.mkv")) + glob.glob(os.path.join(d, "film.mkv")):
        os.remove(x)
    # The right list keeps the first field of each picture that shows two or
    # more fields, and every video frame; one cadence keeps 0, 2, 5, 7, ...
    n = len(fields)
    right, seen = set(), set()
    for i in range(n - 1):
        pic = fields[i]
        if pic not in seen and fields[i + 1] == pic and pic not in video:
            right.add(i)
        seen.add(pic)
    right |= {i for i in range(0, n, 2) if fields[i] in video}
    shown = collections.Counter(fields)
    whole = [j for j in range(len(frames)) if shown[j] >= 2]
    project(os.path.join(d, "right.tpr"), n, right)
    project(os.path.join(d, "cadence.tpr"), n, {i for i in range(n) if i % 5 in (0, 2)})
    project(os.path.join(d, "all.tpr"), n, set(range(0, n, 2)))
    json.dump({"clip": os.path.basename(clip), "order": order, "size": [w, h], "frames": frames, "fields": fields,
               "video": video, "pictures": whole, "orphans": sum(1 for j in range(len(frames)) if shown[j] == 1)},
              open(os.path.join(d, "truth.json"), "w"))


def build(work, only=()):
    rng = random.Random(37)
    p = photos(work)
    for name, size, encoding, order, count, _ in CLIPS:
        if only and name not in only:
            # The cuts it would draw, so that each clip is the same whichever are built.
            film = [r for _, _, r in (anime_scenes if name == "anime" else scenes)(p, *size) if r == FILM]
            for _ in range(0 if encoding == "soft" else 2 * len(film)):
                rng.randrange(5)
            continue
        build_clip(work, p, name, size, encoding, order, count, rng)
        print("built", name, file=sys.stderr)


def score(truth, got):
    """Pictures missing, repeated and combed (made of two pictures, or of none) in got."""
    want = {truth["frames"][j] for j in truth["pictures"]}
    seen = {}
    combed = 0
    for g in got:
        if g in want:
            seen[g] = seen.get(g, 0) + 1
        else:
            combed += 1
    missing = sum(1 for m in want if m not in seen)
    repeated = sum(c - 1 for c in seen.values())
    return missing, repeated, combed


def run_md5(twin, vf):
    out = subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-i", twin, *vf, "-fps_mode", "passthrough", "-f", "framemd5", "-"],
                         capture_output=True, text=True)
    if out.returncode:
        raise RuntimeError(out.stderr.strip()[-300:])
    return [l.split(",")[-1].strip() for l in out.stdout.splitlines() if l and not l.startswith("#")]


def kept_entries(path):
    """The kept entries of a project as project() writes it (the check keeps its layout)."""
    data = open(path, "rb").read()
    at = data.index(b"Video.DeinterlaceEx.List\x0a") + len(b"Video.DeinterlaceEx.List\x0a") + 4
    _, n = struct.unpack_from("<II", data, at)
    return [i for i in range(n) if struct.unpack_from("<IBB", data, at + 8 + 6 * i)[2] == 0]


def woven(truth, kept):
    """The frames kept entries weave, from the truth: field i with field i + 1,
    in the order the fields were shown, whatever order each stretch has."""
    f, frames = truth["fields"], truth["frames"]
    return [frames[f[i]] if i + 1 < len(f) and f[i] == f[i + 1] else "combed" for i in kept]


def ours(cli, d, truth, listname, *options):
    flag = ["--bff"] if truth["order"] == "bottom" else []
    fixed = os.path.join(d, f"{listname}{''.join(options)}.fixed.tpr")
    r = subprocess.run([cli, "check", "--fix", *options, "--force", "--json", "-o", fixed, "--video", os.path.join(d, truth["clip"]),
                        os.path.join(d, f"{listname}.tpr")], capture_output=True, text=True)
    if r.returncode not in (0, 3):
        raise RuntimeError(r.stderr.strip()[-300:])
    changes = len(json.loads(r.stdout)[0]["changes"])
    if truth["order"] == "mixed":
        # A script weaves every frame in one order; the list itself is scored.
        return score(truth, woven(truth, kept_entries(fixed))), changes
    script = os.path.join(d, f"{listname}{''.join(options)}.txt")
    subprocess.run([cli, "script", *flag, "--force", "-o", script, fixed], check=True, capture_output=True)
    return score(truth, run_md5(os.path.join(d, "twin.mkv"), ["-filter_script:v", script])), changes


def table(work, cli, only=()):
    rows = ["| clip | pictures (orphan fields) | Pulldex from the right list: missing / repeated / combed (changes) "
            "| Pulldex from one cadence | Pulldex from every frame kept | Pulldex --from-video "
            "| ffmpeg fieldmatch+decimate | ffmpeg pullup |", "|---|---|---|---|---|---|---|---|"]
    fmt = lambda s: " / ".join(map(str, s))
    for name, size, encoding, order, _, held in CLIPS:
        if only and name not in only:
            continue
        d = os.path.join(work, name)
        truth = json.load(open(os.path.join(d, "truth.json")))
        twin = os.path.join(d, "twin.mkv")
        right, changes = ours(cli, d, truth, "right")
        cadence, _ = ours(cli, d, truth, "cadence")
        every, _ = ours(cli, d, truth, "all")
        derived, _ = ours(cli, d, truth, "all", "--from-video")
        fm = score(truth, run_md5(twin, ["-vf", f"fieldmatch=order={'bff' if order == 'bottom' else 'tff'}:combmatch=full,decimate"]))
        pu = score(truth, run_md5(twin, ["-vf", "pullup"]))
        what = f"{name}{' (held out)' if held else ''}, {size[0]}x{size[1]} {encoding}, {order} first"
        rows.append(f"| {what} | {len(truth['pictures'])} ({truth['orphans']}) | {fmt(right)} ({changes}) | {fmt(cadence)} | {fmt(every)} | {fmt(derived)} "
                    f"| {fmt(fm)} | {fmt(pu)} |")
        print(rows[-1], file=sys.stderr)
    print("\n".join(rows))


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "build":
        build(sys.argv[2], sys.argv[3:])
    elif len(sys.argv) >= 4 and sys.argv[1] == "table":
        table(sys.argv[2], sys.argv[3], sys.argv[4:])
    else:
        sys.exit(__doc__)
