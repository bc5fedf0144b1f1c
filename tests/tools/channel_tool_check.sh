#!/usr/bin/env bash
# tessfold-channel end to end, in any build (under Wine for Windows):
#   channel_tool_check.sh TOOL KEY_DIR WORK_DIR [RUNNER]
# Key files are copied into WORK_DIR and named relatively, so that a Windows
# tool sees the paths as they are.
set -u
tool="$1"; keys="$2"; work="$3"; runner="${4:-}"
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
cp "$keys"/root.key "$keys"/root.pub "$keys"/program.* "$keys"/service.* .
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect CODE TEXT -- ARGS...
  local code="$1" text="$2"; shift 3
  local out rc
  out=$($runner "$tool" "$@" 2>&1); rc=$?
  out=${out//$'\r'/}
  [ "$rc" -eq "$code" ] || fail "$* exited $rc, not $code: $out"
  grep -qF -- "$text" <<<"$out" || fail "$*: no '$text' in: $out"
}
same() { cmp -s "$1" "$2" || fail "$1 and $2 differ"; }

# The development credentials check out under their root.
expect 0 "Result         verified" -- show program.cert
expect 0 '"level": 10' -- show service.cert --root root.pub --json
expect 0 '"verified": true' -- show service.cert --root root.pub --json
expect 0 "" -- unwrap program.keycontainer -o unwrapped.key
same unwrapped.key program.key

# A new pair, certified by the root, hidden and taken out again.
expect 0 "" -- keygen --key new.key --pub new.pub
grep -qE '^[0-9a-f]{40}$' new.key || fail "new.key is not 40 hex digits"
grep -qE '^[0-9a-f]{40} [0-9a-f]{40}$' new.pub || fail "new.pub is not \"X Y\""
expect 0 "" -- certify --pub new.pub --level 7 --root-key root.key -o new.cert
[ "$(wc -c <new.cert)" -eq 100 ] || fail "new.cert is not 100 bytes"
expect 0 "Security level 7" -- show new.cert --root root.pub
expect 1 "signature does not verify" -- show new.cert --root new.pub
expect 0 "" -- wrap --key new.key -o new.keycontainer --seed 0x8001
[ "$(wc -c <new.keycontainer)" -eq 4096 ] || fail "new.keycontainer is not 4096 bytes"
expect 0 "" -- unwrap new.keycontainer -o back.key
same back.key new.key

# Inputs are never written over; refusals leave no output.
cp new.keycontainer kept.keycontainer
expect 2 "will not write 'new.keycontainer' over the input" -- unwrap new.keycontainer -o new.keycontainer
same new.keycontainer kept.keycontainer
expect 2 "will not write 'root.key' over the input" -- certify --pub new.pub --level 1 --root-key root.key -o root.key
head -c 99 program.cert >short.cert
expect 1 "is not a certificate (99 bytes, not 100)" -- show short.cert
expect 2 "cannot read 'absent.cert'" -- show absent.cert
expect 2 "unknown command 'sign'" -- sign
expect 2 "certify needs" -- certify --pub new.pub -o x.cert
expect 0 "Usage: tessfold-channel" -- --help
expect 0 "tessfold-channel 1." -- --version
[ -e x.cert ] && fail "x.cert written after a usage error"
[ $failures -eq 0 ] && echo "ok"
exit $((failures != 0))
