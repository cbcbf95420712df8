#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# WinOru --help in each language: plain English under C, the Traditional Chinese text under any
# zh locale, LANGUAGE first even under LANG=C (as the engine's messages choose).
#
#   check_help_language.sh WINORU
set -eu
winoru=$1
help() { env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u LANG "$@" "$winoru" --help; }
status=0
expect() {  # expect START ENV...
  start=$1
  shift
  text=$(help "$@")
  case "$text" in
    "$start"*) ;;
    *) echo "$*: the help begins \"$(printf '%s' "$text" | head -n 1)\", not \"$start\""; status=1 ;;
  esac
}
expect "Usage: WinOru [ARCHIVE...]" LANG=C
expect "Usage: WinOru [ARCHIVE...]" LANG=en_US.UTF-8 LANGUAGE=en
expect "用法：WinOru [壓縮檔...]" LANG=zh_TW.UTF-8
expect "用法：WinOru [壓縮檔...]" LANG=zh_HK.UTF-8
expect "用法：WinOru [壓縮檔...]" LANG=C LANGUAGE=zh_TW:en
if help LANG=C | LC_ALL=C grep -q '[^ -~]'; then
  echo "LANG=C: the help holds characters that are not plain ASCII"
  status=1
fi
exit $status
