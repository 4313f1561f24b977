#!/bin/bash
# Makes (setup) or removes (cleanup) the Wine prefix of the end-to-end tests. Wine reads its
# COM mapping only when its server starts, so COM7 is mapped once to a fixed symlink that each
# scenario points at its own pseudo-terminal.
set -euo pipefail
action=$1
dir=$2
export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
case $action in
  setup)
    if [ -d "$dir/prefix" ]; then
      wineserver -k >/dev/null 2>&1 || true
      rm -rf "$dir"
    fi
    mkdir -p "$dir"
    ln -sfn /nonexistent/verlrock-port "$dir/com7"
    wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ /d "$dir/com7" /f \
      >"$dir/wine.log" 2>&1
    wineserver -k >>"$dir/wine.log" 2>&1 || true
    wineserver -w
    # A server that stays up saves every scenario its start.
    wineserver -p >>"$dir/wine.log" 2>&1
    ;;
  cleanup)
    if [ -d "$dir/prefix" ]; then
      wineserver -k >/dev/null 2>&1 || true
      wineserver -w >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  *)
    echo "usage: $0 setup|cleanup DIR" >&2
    exit 2
    ;;
esac
