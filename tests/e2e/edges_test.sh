#!/usr/bin/env bash
# The edges of the command line through the real program: standard input
# and output named truly, devices, FIFOs and the process's own descriptors as
# outputs, a piped project's field order, and names that must stay inert in
# every script. Usage: edges_test.sh PULLDEX_CLI SAMPLE_PROJECT
set -u
cli=$1
sample=$2
source "$(dirname "$0")/harness.sh"
cp "$sample" movie.tpr
"$cli" asc movie.tpr -o movie.asc
"$cli" strip movie.tpr -o movie.nocopy.tpr

# Standard input is called standard input; a full standard output is told
# besides, whatever else failed.
printf x | "$cli" info - 2>err >/dev/null
grep -qx "pulldex-cli: standard input: Error, can't find IVTC setting in the file" err && ok || bad "stdin: $(cat err)"
cat movie.tpr | "$cli" strip - -o x.tpr 2>err
grep -qx "pulldex-cli: standard input: Error, the project is not a regular file" err && ok || bad "strip -: $(cat err)"
printf x | "$cli" info - movie.tpr >/dev/full 2>err
grep -q "standard input: Error, can't find IVTC" err && grep -q "standard output: Error in writing the file (No space left on device)" err &&
  ok || bad "both failures: $(cat err)"

# Standard output by any of its names follows the rules of -: the page
# alone, and --json beside it refused.
for name in /dev/stdout /dev/fd/1 /proc/self/fd/1; do
  "$cli" report movie.tpr --html="$name" >page.html 2>err && head -c 15 page.html | grep -q '<!DOCTYPE html>' &&
    ! grep -q '^  sections [0-9]' page.html && ok || bad "report --html=$name: $(head -c 100 page.html) $(cat err)"
  "$cli" report --json movie.tpr --html="$name" >out.json 2>err
  [ $? -eq 2 ] && [ ! -s out.json ] && ok || bad "report --json --html=$name: $(head -c 100 out.json)"
done
# The same where the page's own name is the file standard output goes to.
"$cli" report --html movie.tpr >movie.report.html 2>err && head -c 15 movie.report.html | grep -q '<!DOCTYPE html>' &&
  ok || bad "report --html into its own name on standard output: $(head -c 100 movie.report.html)"

# A link to a file not there yet is the file it leads to: two outputs of
# one run that would land there are refused before either is written.
mkdir linked
ln -s b.asc linked/a.asc
cp movie.tpr a.tpr
cp movie.tpr b.tpr
"$cli" asc a.tpr b.tpr --output-dir linked 2>err
[ $? -eq 2 ] && grep -q "two outputs of the run would go to this file" err && [ ! -e linked/b.asc ] && ok ||
  bad "a dangling link escaped the run's claims: $(cat err)"

# The decoder ends with us, whatever ends us; a warning about the
# frame-setting file comes before what the command says.
printf '#!/bin/sh\nexec sleep 31.7\n' >slow-ffmpeg
chmod +x slow-ffmpeg
for signal in TERM HUP; do
  "$cli" check --ffmpeg ./slow-ffmpeg --video x.m2v movie.tpr >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 50); do pgrep -f 'sleep 31.7' >/dev/null && break; sleep 0.1; done
  kill -$signal $pid
  wait $pid 2>/dev/null
  for _ in $(seq 20); do pgrep -f 'sleep 31.7' >/dev/null || break; sleep 0.1; done
  pgrep -f 'sleep 31.7' >/dev/null && { bad "the decoder outlived SIG$signal"; pkill -f 'sleep 31.7'; } || ok
done
printf '1010' >short.sfs
"$cli" info --sfs short.sfs movie.tpr >both.txt 2>&1
head -n 1 both.txt | grep -q "short.sfs: 4 entries, the project has" && ok || bad "the --sfs warning came after: $(head -n 2 both.txt)"

# Outputs that are not files are written straight through.
for out in /dev/null /dev/stdout; do
  "$cli" asc movie.tpr -o "$out" >got.asc 2>err && ok || bad "asc -o $out: $(cat err)"
done
cmp -s got.asc movie.asc && ok || bad "-o /dev/stdout carries the script"
"$cli" asc movie.tpr -o /dev/full 2>err
[ $? -eq 1 ] && grep -qx "/dev/full: Error in writing the file (No space left on device)" err && ok || bad "/dev/full: $(cat err)"
mkfifo stream.fifo
cat stream.fifo >from-fifo.asc &
"$cli" asc movie.tpr -o stream.fifo && wait && cmp -s from-fifo.asc movie.asc && ok || bad "a FIFO as the output"
"$cli" asc movie.tpr -o >(cat >from-substitution.asc) && wait $! && cmp -s from-substitution.asc movie.asc && ok ||
  bad "a process substitution as the output"
"$cli" report movie.tpr --html=/dev/null >/dev/null && ok || bad "report --html=/dev/null"
"$cli" strip movie.tpr -o - >streamed.tpr && cmp -s streamed.tpr movie.nocopy.tpr && ok || bad "strip -o -"
[ "$(find . -name '.pulldex-*' | wc -l)" -eq 0 ] && [ -p stream.fifo ] && ok || bad "a temporary file or a replaced FIFO"

# A piped project keeps its field order: it comes from the one pass that loads it.
python3 - <<'PY'
import struct
records = b"".join(struct.pack("<IBB", i, 0, 0 if i % 5 in (0, 2) else 1) for i in range(100))
value = struct.pack("<II", 6, 100) + records
order = b"\x13Video.TopFieldFirst\x08"  # False: bottom field first
open("bff.tpr", "wb").write(b"TPF0" + order + b"\x18Video.DeinterlaceEx.List\x0a" + struct.pack("<I", len(value)) + value)
open("bff-after.tpr", "wb").write(b"TPF0\x18Video.DeinterlaceEx.List\x0a" + struct.pack("<I", len(value)) + value + order)
PY
for p in bff.tpr bff-after.tpr; do
  cat "$p" | "$cli" script -o - - | grep -q "setfield=bff," && ok || bad "the field order of a piped $p"
  "$cli" script -o - "$p" | grep -q "setfield=bff," && ok || bad "the field order of $p"
done

# Names stay inert in every script: a line end, a byte that is not UTF-8.
for name in "$(printf 'a\nimport os; os.system(\"touch pwned\")\n#.tpr')" "$(printf 'caf\351.tpr')"; do
  cp movie.tpr "$name"
  for tool in ffmpeg avisynth vapoursynth; do "$cli" script --for $tool "$name" -o "out.$tool" || bad "script $tool"; done
  "$cli" frames "$name" -o out.frames && "$cli" timestamps "$name" -o out.timestamps || bad "frames, timestamps"
  python3 -c "import sys; compile(open(sys.argv[1], 'rb').read(), sys.argv[1], 'exec')" out.vapoursynth && ok ||
    bad "Python refuses the .vpy of $(printf %q "$name")"
  for f in out.*; do
    iconv -f UTF-8 -t UTF-8 "$f" >/dev/null 2>&1 && ok || bad "$f is not UTF-8"
    # Outside a comment, no line holds any part of the name.
    grep -v '^#' "$f" | grep -q -e 'import os' -e 'pwned' -e 'caf' && bad "the name left its comment in $f" || ok
  done
  rm -f "$name" out.*
done
[ ! -e pwned ] && ok || bad "a name ran as code"
# Python reads "coding=" on a script's first two lines as its encoding: a
# folder so named must not make the .vpy unreadable. Compiled from its bytes,
# as Python reads a file.
mkdir -p "x/encoding=foo" "y/coding:latin-1"
for folder in "x/encoding=foo" "y/coding:latin-1"; do
  cp movie.tpr "$folder/movie.tpr"
  "$cli" script --for vapoursynth "$folder/movie.tpr" &&
    python3 -c "import sys; compile(open(sys.argv[1], 'rb').read(), sys.argv[1], 'exec')" "$folder/movie.vpy" && ok ||
    bad "Python refuses the .vpy in $folder"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
