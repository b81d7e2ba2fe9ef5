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
  cat "$p" | "$cli" script -o - - | grep -q "^setfield=bff," && ok || bad "the field order of a piped $p"
  "$cli" script -o - "$p" | grep -q "^setfield=bff," && ok || bad "the field order of $p"
done

# Names stay inert in every script: a line end, a byte that is not UTF-8.
for name in "$(printf 'a\nimport os; os.system(\"touch pwned\")\n#.tpr')" "$(printf 'caf\351.tpr')"; do
  cp movie.tpr "$name"
  for tool in ffmpeg avisynth vapoursynth; do "$cli" script --for $tool "$name" -o "out.$tool" || bad "script $tool"; done
  "$cli" frames "$name" -o out.frames && "$cli" timestamps "$name" -o out.timestamps || bad "frames, timestamps"
  python3 -c "import ast,sys; ast.parse(open(sys.argv[1],encoding='utf-8').read())" out.vapoursynth && ok ||
    bad "Python refuses the .vpy of $(printf %q "$name")"
  for f in out.*; do
    iconv -f UTF-8 -t UTF-8 "$f" >/dev/null 2>&1 && ok || bad "$f is not UTF-8"
    # Outside a comment, no line holds any part of the name.
    grep -v '^#' "$f" | grep -q -e 'import os' -e 'pwned' -e 'caf' && bad "the name left its comment in $f" || ok
  done
  rm -f "$name" out.*
done
[ ! -e pwned ] && ok || bad "a name ran as code"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
