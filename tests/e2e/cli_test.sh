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
grep -q "fields    3000 (1500 frames)" out && grep -q "Kept      1201" out && grep -q "Copy      1799" out && ok || bad "info figures: $(cat out)"
expect 0 "" -- "$cli" info --json movie.tpr
python3 -c 'import json,sys; d=json.load(open("out"))[0]; assert (d["frames"],d["kept"],d["copy"],d["unlisted"])==(3000,1201,1799,0), d; assert d["path"]=="movie.tpr"' && ok || bad "info --json"
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
python3 -c 'import json; d=json.load(open("out"))[0]; assert (d["kept"],d["copy"])==(1201,0), d' && ok || bad "stripped project"

# --sfs imports in place of the project's list
printf '1?0260' >six.sfs
expect 0 "" -- "$cli" strip --sfs six.sfs movie.tpr -o six.tpr
expect 0 "" -- "$cli" info --json six.tpr
python3 -c 'import json; d=json.load(open("out"))[0]; assert (d["frames"],d["kept"])==(5,4), d' && ok || bad "strip --sfs"
expect 0 "" -- "$cli" sfs --sfs six.sfs movie.tpr -o -
[ "$(cat out)" = "110260" ] && ok || bad "sfs --sfs: $(cat out)"
expect 0 "" -- "$cli" asc --sfs movie.sfs movie.tpr -o roundtrip.asc
same roundtrip.asc movie.asc "a script from the exported frame settings"
expect 1 "nothing.sfs: Error in opening file" -- "$cli" asc --sfs nothing.sfs movie.tpr -o -

# in place through -o
cp movie.tpr inplace.tpr
expect 0 "" -- "$cli" strip inplace.tpr -o inplace.tpr
same inplace.tpr movie.nocopy.tpr "strip in place"

# Names in two scripts, and a path longer than the old limit of 260
# characters (under Wine too: the exe asks for UTF-8 and long paths).
long=$(printf 'a%.0s' $(seq 100))/$(printf 'b%.0s' $(seq 100))/$(printf 'c%.0s' $(seq 60))
mkdir -p "$long"
for name in "日本語-é.tpr" "$long/日本語-é.tpr"; do
  cp movie.tpr "$name"
  base=${name%.tpr}
  expect 0 "" -- "$cli" info --json "$name"
  NAME=$name python3 -c 'import json,os; d=json.load(open("out", encoding="utf-8"))[0]; assert d["path"]==os.environ["NAME"] and d["frames"]==3000, d' &&
    ok || bad "info --json of ${name:0:20}...: $(head -c 200 out)"
  expect 0 "" -- "$cli" asc "$name"
  same "$base.asc" movie.asc "the script beside ${name:0:20}..."
  expect 0 "" -- "$cli" sfs "$name"
  same "$base.sfs" movie.sfs "the frame settings beside ${name:0:20}..."
  expect 0 "" -- "$cli" strip "$name" -o "$name"
  same "$name" movie.nocopy.tpr "${name:0:20}... stripped in place"
  expect 1 "$base.asc: Error, can't find IVTC setting in the file" -- "$cli" info "$base.asc"
done
[ "${#PWD}" -gt 0 ] && [ $(( ${#long} + 14 )) -gt 260 ] && ok || bad "the long path is not long"
leftovers=$(find . -name '.pulldex-*' -o -name 'pdx*.tmp' | wc -l)
[ "$leftovers" -eq 0 ] && ok || bad "temporary files left beside the long names"

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

# Cases for a plain user. Root writes anywhere, so as root they run as
# nobody, where nobody can run a program at all (a fresh root folder may be
# closed to others).
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
chmod 755 . && chmod 644 movie.tpr
# A copy of the program here, where nobody can reach it whatever the build folder allows.
cp "$cli" ./cli-copy 2>/dev/null && chmod 755 ./cli-copy
if [ "${PULLDEX_CLI_WINE:-}" = "" ] && "${as_user[@]}" ./cli-copy --version >/dev/null 2>&1; then
  mkdir ro && printf 'old' >ro/old.asc && chmod 555 ro
  expect 1 "ro/old.asc: Error in creating the file" -- "${as_user[@]}" ./cli-copy asc movie.tpr -o ro/old.asc
  expect 1 "ro/new.sfs: Error in creating output file" -- "${as_user[@]}" ./cli-copy sfs movie.tpr -o ro/new.sfs
  [ "$(cat ro/old.asc)" = old ] && [ "$(ls ro)" = old.asc ] && ok || bad "the read-only folder changed: $(ls ro)"
  chmod 755 ro
  if [ "$(id -u)" -eq 0 ]; then
    # A file nobody may write but does not own: its owner cannot be kept.
    mkdir shared && chmod 777 shared && cp movie.tpr shared/theirs.tpr && chmod 666 shared/theirs.tpr
    expect 1 "shared/theirs.tpr: Error, can't keep the owner and rights of the file" -- \
      "${as_user[@]}" ./cli-copy strip shared/theirs.tpr -o shared/theirs.tpr
    same shared/theirs.tpr "$sample" "a file whose owner cannot be kept is left alone"
    [ "$(stat -c %U shared/theirs.tpr)" = root ] && [ "$(ls shared)" = theirs.tpr ] && ok || bad "owner or folder changed"
  fi
else
  echo "skipped: the plain-user cases (nobody cannot run programs here, or under Wine)"
fi
# One typo must not lose the only copy: asc and sfs refuse the project itself.
cp movie.tpr typo.tpr
expect 2 "add --force" -- "$cli" asc typo.tpr -o typo.tpr
expect 2 "add --force" -- "$cli" sfs typo.tpr -o typo.tpr
same typo.tpr "$sample" "a refused output leaves the project"
expect 0 "" -- "$cli" sfs --force typo.tpr -o typo.tpr
same typo.tpr movie.sfs "--force replaces it"

# Streams: a pipe for --sfs is read to its end; a project may be a pipe or
# standard input; strip needs a regular file; devices are refused.
printf '000000' >zeros.sfs
expect 0 "" -- bash -c "cat zeros.sfs | '$cli' sfs --sfs - movie.tpr -o -"
[ "$(cat out)" = 000000 ] && ok || bad "--sfs from a pipe: $(head -c 40 out)"
expect 0 "" -- bash -c "cat movie.tpr | '$cli' asc - -o piped.asc"
same piped.asc movie.asc "a script from a piped project"
expect 1 "Error, the project is not a regular file" -- bash -c "cat movie.tpr | '$cli' strip - -o piped.tpr"
[ ! -e piped.tpr ] && ok || bad "a refused strip wrote a file"
if [ "${PULLDEX_CLI_WINE:-}" = "" ]; then
  # (Under Wine, a file redirected to standard input cannot be read.)
  expect 0 "" -- bash -c "'$cli' info --json - <movie.tpr"
  grep -q '"frames":3000' out && ok || bad "a project from standard input: $(cat out)"
  expect 0 "" -- bash -c "'$cli' sfs --sfs <(printf 000000) movie.tpr -o -"
  [ "$(cat out)" = 000000 ] && ok || bad "--sfs from a process substitution: $(head -c 40 out)"
  mkfifo project.fifo
  (cat movie.tpr >project.fifo &)
  expect 0 "" -- "$cli" info project.fifo
  grep -q "fields    3000 (1500 frames)" out && ok || bad "a FIFO as the project"
  expect 1 "/dev/zero: Error, can't read from a device" -- timeout 10 "$cli" info /dev/zero
  expect 1 "/dev/null: Error, can't read from a device" -- timeout 10 "$cli" asc --sfs /dev/null movie.tpr -o -

  # Standard output is checked: a full disk behind it is a failure.
  for args in "info movie.tpr" "info --json movie.tpr" "report movie.tpr" "report --json movie.tpr" "asc movie.tpr -o -"; do
    expect 1 "pulldex-cli: standard output: Error in writing the file (No space left on device)" -- \
      bash -c "'$cli' $args >/dev/full"
  done

  # A file with other hard links is refused, not split.
  cp movie.tpr linked.tpr && ln linked.tpr other-name.tpr
  expect 1 "linked.tpr: Error, the file has other hard links" -- "$cli" strip linked.tpr -o linked.tpr
  same other-name.tpr "$sample" "the other name is untouched"
  [ "$(stat -c %h linked.tpr)" = 2 ] && ok || bad "the links were split"

  # JSON stays valid UTF-8 for a name that is not.
  cp movie.tpr "$(printf 'bad\377name.tpr')"
  expect 0 "" -- "$cli" info --json "$(printf 'bad\377name.tpr')"
  python3 -c 'import json; d=json.loads(open("out","rb").read().decode("utf-8"))[0]; assert d["path"]=="bad\ufffdname.tpr" and d["pathBytes"]=="626164ff6e616d652e747072", d' && ok || bad "info --json of a name that is not UTF-8: $(cat out)"

  # Reads that misbehave, through a preloaded library.
  if [ -n "${PULLDEX_FAULTY_IO:-}" ]; then
    faulty() { env LD_PRELOAD="$PULLDEX_FAULTY_IO" ASAN_OPTIONS=verify_asan_link_order=0 "$@"; }
    expect 0 "" -- faulty PULLDEX_FAULT_CHUNK=100 "$cli" info --json movie.tpr
    grep -q '"kept":1201' out && ok || bad "short reads of 100 bytes"
    expect 0 "" -- faulty PULLDEX_FAULT_CHUNK=100 "$cli" strip movie.tpr -o short-reads.tpr
    same short-reads.tpr movie.nocopy.tpr "strip through short reads"
    expect 1 "movie.tpr: Error in reading file (Input/output error)" -- faulty PULLDEX_FAULT_EIO_AT=100 "$cli" info movie.tpr
    # The block of the sample starts past 10000 bytes: the error hits the copy of the tail.
    size=$(stat -c %s movie.tpr)
    expect 1 "movie.tpr: Error in reading file (Input/output error)" -- faulty PULLDEX_FAULT_EIO_AT=$((size - 10)) "$cli" strip movie.tpr -o eio.tpr
    [ ! -e eio.tpr ] && ok || bad "a failed read left an output"
    # The kernel's copy fails without saying which side: the project's read is still blamed.
    expect 1 "movie.tpr: Error in reading file (Input/output error)" -- \
      faulty PULLDEX_FAULT_COPY_EIO=1 PULLDEX_FAULT_EIO_AT=$((size - 10)) "$cli" strip movie.tpr -o eio.tpr
    [ ! -e eio.tpr ] && ok || bad "a failed read left an output"
    expect 0 "" -- faulty PULLDEX_FAULT_COPY_EIO=1 "$cli" strip movie.tpr -o copied.tpr
    same copied.tpr movie.nocopy.tpr "a copy finished by hand after the kernel's failed"
    expect 1 "movie.tpr: Error in reading file" -- faulty PULLDEX_FAULT_EOF_AT=$((size - 10)) "$cli" strip movie.tpr -o shrunk.tpr
    [ ! -e shrunk.tpr ] && ok || bad "a source that shrank left an output"
  fi

  # The folder is flushed after the rename, so that the new name lasts.
  if command -v strace >/dev/null; then
    strace -f -y -e trace=fsync,rename,renameat,renameat2 -o trace.log "$cli" strip movie.tpr -o traced.tpr >/dev/null 2>&1
    awk '/rename/ {r=1} r && /fsync\([0-9]+<[^>]*>\)/ && $0 !~ /traced/ {found=1} END {exit !found}' trace.log && ok ||
      bad "no fsync of the folder after the rename: $(cat trace.log)"
  fi
fi

# Three writers of one destination at once: all succeed, and the result is
# one of theirs, whole.
for round in 1 2 3 4 5 6 7 8; do
  "$cli" strip movie.tpr -o race.tpr 2>race1.err & first=$!
  "$cli" strip movie.tpr -o race.tpr 2>race2.err & second=$!
  "$cli" strip movie.tpr -o race.tpr 2>race3.err & third=$!
  statuses=0
  for writer in $first $second $third; do wait $writer || statuses=1; done
  [ $statuses -eq 0 ] && ok || bad "writers at once (round $round): $(cat race1.err race2.err race3.err)"
done
same race.tpr movie.nocopy.tpr "the result of three writers"
leftovers=$(find . -name '.pulldex-*' -o -name 'pdx*.tmp' | wc -l)
[ "$leftovers" -eq 0 ] && ok || bad "temporary files left: $leftovers"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
