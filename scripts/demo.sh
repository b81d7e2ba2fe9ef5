#!/usr/bin/env bash
# Builds Pulldex and runs it on the bundled sample project; the outputs go
# into build/native.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh native
cmake --preset native >/dev/null
cmake --build build/native
cli=build/native/pulldex-cli
out=build/native
$cli info examples/sample.tpr
$cli asc examples/sample.tpr -o $out/sample.asc
$cli strip examples/sample.tpr -o $out/sample.nocopy.tpr
$cli sfs examples/sample.tpr -o $out/sample.sfs
echo
echo "AVI script ($out/sample.asc):"
cat $out/sample.asc
echo
echo "Written: $out/sample.asc, $out/sample.nocopy.tpr, $out/sample.sfs"
echo "The dialog: build/native/pulldex examples/sample.tpr"
