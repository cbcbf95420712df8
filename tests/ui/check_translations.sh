#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that the window's catalogs match its sources: lupdate, run on copies of the .ts files,
# must find no text left without a translation, none the sources no longer use, and nothing else
# to change. Exits 77 (skipped) when lupdate is not installed.
#
#   check_translations.sh LUPDATE SOURCE_DIR
set -eu
lupdate=$1
src=$2
if ! [ -x "$lupdate" ]; then
  echo "lupdate not found ($lupdate): install qt6-l10n-tools"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$src/ui/translations/WinOru_zh_TW.ts" "$src/ui/translations/WinOru_en.ts" "$work/"
# The same options as the build's update_translations; the English file holds plural forms only.
"$lupdate" -silent -locations none -I "$src" "$src/ui" -ts "$work/WinOru_zh_TW.ts"
"$lupdate" -silent -locations none -I "$src" -pluralonly "$src/ui" -ts "$work/WinOru_en.ts"
status=0
for ts in "$work"/*.ts; do
  name=$(basename "$ts")
  if grep -n -E 'type="(unfinished|obsolete|vanished)"|<translation></translation>|<numerusform></numerusform>' "$ts"; then
    echo "$name: the texts above have no translation or are no longer used"
    status=1
  fi
  if ! diff -u "$src/ui/translations/$name" "$ts"; then
    echo "$name: lupdate changes the file; bring it up to date (target update_translations)"
    status=1
  fi
done
exit $status
