#!/usr/bin/env bash
# Maps the dialog's font, which Wine lacks, to IPAPGothic (fonts-ipafont-gothic),
# made with the same metrics, in the Wine prefix of WINEPREFIX: the dialog's
# labels then fit as on Windows. Usage: wine-fonts.sh WINE
set -euo pipefail
wine=$1
reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
# regedit reads the names right from UTF-16 with a byte order mark.
{
  printf '\xff\xfe'
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"ＭＳ Ｐゴシック"="IPAPGothic"\r\n"MS PGothic"="IPAPGothic"\r\n' |
    iconv -f UTF-8 -t UTF-16LE
} >"$reg"
"$wine" regedit /S "Z:${reg//\//\\}"
