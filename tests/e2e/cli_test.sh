#!/usr/bin/env bash
# Command-line tests of pulldex-cli: outputs, exit statuses and messages.
# Usage: cli_test.sh PULLDEX_CLI SAMPLE_PROJECT
set -u
cli=$1
sample=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
passed=0
failed=0

ok() { passed=$((passed + 1)); }
bad() { failed=$((failed + 1)); echo "FAIL: $*"; }
# expect STATUS STDERR_TEXT -- COMMAND...: runs it, checks the exit status
# and that standard error holds the text (empty: no check).
expect() {
  local status=$1 text=$2
  shift 3
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  if [ "$got" -ne "$status" ]; then
    bad "$* exited $got, not $status: $(head -c 300 "$work/err")"
  elif [ -n "$text" ] && ! grep -qF -- "$text" "$work/err"; then
    bad "$* did not say '$text' but: $(head -c 300 "$work/err")"
  else
    ok
  fi
}
same() { if cmp -s "$1" "$2"; then ok; else bad "$3: $1 and $2 differ"; fi; }

cp "$sample" "$work/movie.tpr"
cd "$work" || exit 1

# info
expect 0 "" -- "$cli" info movie.tpr
grep -q "frames    3000" out && grep -q "Kept      1201" out && grep -q "Copy      1799" out && ok || bad "info figures: $(cat out)"
expect 0 "" -- "$cli" info --json movie.tpr
python3 -c 'import json,sys; d=json.load(open("out")); assert (d["frames"],d["kept"],d["copy"],d["unlisted"])==(3000,1201,1799,0), d; assert d["path"]=="movie.tpr"' && ok || bad "info --json"
expect 1 "missing.tpr: Error in opening the file" -- "$cli" info --json movie.tpr missing.tpr movie.tpr
python3 -c 'import json; d=json.load(open("out")); assert len(d)==2 and d[1]["frames"]==3000' && ok || bad "info --json with several projects"
printf 'no block here' >plain.tpr
expect 1 "plain.tpr: Error, can't find IVTC setting in the file" -- "$cli" info plain.tpr

# usage
expect 2 "" -- "$cli"
expect 2 "" -- "$cli" frobnicate movie.tpr
expect 2 "" -- "$cli" info
expect 2 "" -- "$cli" asc --bogus movie.tpr
expect 2 "takes one project only" -- "$cli" asc movie.tpr movie.tpr -o x.asc
expect 2 "takes one project only" -- "$cli" sfs --sfs a.sfs movie.tpr movie.tpr
expect 2 "standard output" -- "$cli" strip movie.tpr -o -
expect 0 "" -- "$cli" --help
grep -q "movie.nocopy.tpr" out && ok || bad "--help names the outputs"
expect 0 "" -- "$cli" --version
grep -q "0.56" out && ok || bad "--version"

# outputs beside the project, never the project itself
expect 0 "" -- "$cli" asc movie.tpr
expect 0 "" -- "$cli" strip movie.tpr
expect 0 "" -- "$cli" sfs movie.tpr
[ -f movie.asc ] && [ -f movie.nocopy.tpr ] && [ -f movie.sfs ] && ok || bad "default output names: $(ls)"
same movie.tpr "$sample" "the project is never written"
cp movie.tpr script.asc
expect 0 "" -- "$cli" asc script.asc
same script.asc "$sample" "a project named .asc keeps its bytes"
[ -f script.asc.asc ] && ok || bad "its script gets another name"

# standard output carries the same bytes as a file
"$cli" asc -o - movie.tpr >stdout.asc && same stdout.asc movie.asc "asc -o -"
"$cli" sfs -o - movie.tpr >stdout.sfs && same stdout.sfs movie.sfs "sfs -o -"
[ "$(head -c 12 movie.asc | od -An -c | tr -s ' ')" = " 0 a \t 1 0 1 0 0 \t 0 \r \n" ] && ok || bad "first line of the script"
[ "$(wc -c <movie.sfs)" -eq 3000 ] && ok || bad "one byte per frame"

# the stripped project loads, without copy frames
expect 0 "" -- "$cli" info --json movie.nocopy.tpr
python3 -c 'import json; d=json.load(open("out")); assert (d["kept"],d["copy"])==(1201,0), d' && ok || bad "stripped project"

# --sfs imports in place of the project's list
printf '1?0260' >six.sfs
expect 0 "" -- "$cli" strip --sfs six.sfs movie.tpr -o six.tpr
expect 0 "" -- "$cli" info --json six.tpr
python3 -c 'import json; d=json.load(open("out")); assert (d["frames"],d["kept"])==(5,4), d' && ok || bad "strip --sfs"
expect 0 "" -- "$cli" sfs --sfs six.sfs movie.tpr -o -
[ "$(cat out)" = "110260" ] && ok || bad "sfs --sfs: $(cat out)"
expect 0 "" -- "$cli" asc --sfs movie.sfs movie.tpr -o roundtrip.asc
same roundtrip.asc movie.asc "a script from the exported frame settings"
expect 1 "nothing.sfs: Error in opening file" -- "$cli" asc --sfs nothing.sfs movie.tpr -o -

# in place through -o
cp movie.tpr inplace.tpr
expect 0 "" -- "$cli" strip inplace.tpr -o inplace.tpr
same inplace.tpr movie.nocopy.tpr "strip in place"

# failures leave every file as it was
printf 'old' >old.sfs
mkdir folder.asc
expect 1 "folder.asc: Error in creating the file" -- "$cli" asc movie.tpr -o folder.asc
expect 1 "Error in opening destination file" -- "$cli" strip movie.tpr -o no/such/folder.tpr
expect 1 "Error in creating output file" -- "$cli" sfs movie.tpr -o folder.asc
expect 1 "folder.asc: Error in opening destination file" -- "$cli" strip movie.tpr -o folder.asc
# A file-size limit stops each output part-way, as a full disk would: the old
# file stays as it was.
printf 'old' >old.asc
printf 'old' >old.tpr
# (1 KiB: standard error goes to a file too.) A list whose script is 6 KiB:
printf '1000000%.0s' $(seq 500) >sparse.sfs
expect 1 "old.asc: Error in writing the file" -- bash -c "trap '' XFSZ; ulimit -f 1; '$cli' asc --sfs sparse.sfs movie.tpr -o old.asc"
expect 1 "old.sfs: Error in writing the file" -- bash -c "trap '' XFSZ; ulimit -f 1; '$cli' sfs movie.tpr -o old.sfs"
expect 1 "old.tpr: Error in writing the file" -- bash -c "trap '' XFSZ; ulimit -f 8; '$cli' strip movie.tpr -o old.tpr"
cp movie.tpr inplace2.tpr
expect 1 "inplace2.tpr: Error in writing the file" -- bash -c "trap '' XFSZ; ulimit -f 8; '$cli' strip inplace2.tpr -o inplace2.tpr"
[ "$(cat old.asc old.sfs old.tpr)" = oldoldold ] && ok || bad "a failed write keeps the old file"
same inplace2.tpr movie.tpr "a failed strip in place keeps the project"

# A read-only folder. Root writes anywhere, so as root this runs as nobody.
if [ "${PULLDEX_CLI_WINE:-}" = "" ]; then
  mkdir ro && printf 'old' >ro/old.asc && chmod 755 . && chmod 644 movie.tpr && chmod 555 ro
  as_user=()
  [ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  # A copy of the program here, where nobody can reach it whatever the build folder allows.
  cp "$cli" ./cli-copy && chmod 755 ./cli-copy
  expect 1 "ro/old.asc: Error in creating the file" -- "${as_user[@]}" ./cli-copy asc movie.tpr -o ro/old.asc
  expect 1 "ro/new.sfs: Error in creating output file" -- "${as_user[@]}" ./cli-copy sfs movie.tpr -o ro/new.sfs
  [ "$(cat ro/old.asc)" = old ] && [ "$(ls ro)" = old.asc ] && ok || bad "the read-only folder changed: $(ls ro)"
  chmod 755 ro
fi
leftovers=$(find . -name '.pulldex-*' | wc -l)
[ "$leftovers" -eq 0 ] && ok || bad "temporary files left: $leftovers"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
