#!/usr/bin/env bash
# The image tool's unsigned paths, in any build (under Wine for Windows):
#   tool_smoke.sh TOOL WORK_DIR [RUNNER]
# Paths stay relative to WORK_DIR so that a Windows tool sees them as they are.
set -u
tool="$1"; work="$2"; runner="${3:-}"
mkdir -p "$work" && cd "$work" || exit 1
failures=0
expect() {  # expect CODE TEXT -- ARGS...
  local code="$1" text="$2"; shift 3
  local out rc
  out=$($runner "$tool" "$@" 2>&1); rc=$?
  out=${out//$'\r'/}
  [ "$rc" -eq "$code" ] || { echo "FAIL: $* exited $rc, not $code"; failures=$((failures + 1)); }
  grep -qF -- "$text" <<<"$out" || { echo "FAIL: $*: no '$text' in: $out"; failures=$((failures + 1)); }
}
rm -f smoke.bin
expect 0 "wrote smoke.bin" -- build --cat-sig 0 -o smoke.bin
expect 0 "cat_sig: present, 0 bytes" -- info smoke.bin
expect 1 "ERROR: Signature length is zero. Was this image stamped with a signature?" -- verify smoke.bin
expect 1 "REFUSED: the cat_sig extension is empty" -- verify smoke.bin --kind bootloader
expect 2 "cannot open 'absent.bin': no such file" -- verify absent.bin
expect 2 "missing command" --
expect 0 "Usage: tessfold-image" -- --help
expect 0 "tessfold-image " -- --version
[ $failures -eq 0 ] && echo "ok"
exit $((failures != 0))
