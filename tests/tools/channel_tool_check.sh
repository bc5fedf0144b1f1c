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
absent() { for f in "$@"; do [ -e "$f" ] && fail "$f was written"; done; }
# patch FILE OFFSET HEX: writes the bytes given in hex at OFFSET.
patch() { printf "$(sed 's/../\\x&/g' <<<"$3")" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
umask 022

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
# Every key keygen hands out lies below the group order n, although 160
# random bits are at or above it almost half the time; a dozen draws would
# show one with a probability of 0.9994 if it let them through.
for i in $(seq 12); do
  $runner "$tool" keygen --key drawn.key --pub drawn.pub --force >/dev/null 2>&1 || fail "keygen draw $i failed"
  key=$(tr -d '\r\n' <drawn.key)
  [[ "$key" < "89abcdef012345672716b26eec14904428c2a675" ]] || fail "keygen handed out $key, not below n"
done
expect 0 "" -- certify --pub new.pub --level 7 --root-key root.key -o new.cert
[ "$(wc -c <new.cert)" -eq 100 ] || fail "new.cert is not 100 bytes"
expect 0 "Security level 7" -- show new.cert --root root.pub
expect 1 "signature does not verify" -- show new.cert --root new.pub
expect 0 "" -- wrap --key new.key -o new.keycontainer --seed 0x8001
[ "$(wc -c <new.keycontainer)" -eq 4096 ] || fail "new.keycontainer is not 4096 bytes"
expect 0 "" -- unwrap new.keycontainer -o back.key
same back.key new.key

# Every field of a certificate, each from its own place: format words 0x100
# and 0x155, level 0x01020304 (big-endian), the trailer 0a0b0c0d.
cp program.cert fields.cert
patch fields.cert 88 55010000
patch fields.cert 92 01020304
patch fields.cert 96 0a0b0c0d
json=$($runner "$tool" show fields.cert --json 2>&1)
for field in '"format": [256, 341]' '"signedLength": 52' '"level": 16909060' '"trailer": "0a0b0c0d"' \
    '"verified": false' '"result": "bad format word"'; do
  grep -qF -- "$field" <<<"$json" || fail "show --json: no '$field' in: $json"
done
expect 1 "Trailer        0a0b0c0d" -- show fields.cert
pub_x=$($runner "$tool" show program.cert | sed -n 's/^Public key     \([0-9a-f]*\) .*/\1/p' | tr -d '\r')
sig_s=$($runner "$tool" show program.cert | sed -n 's/^Signature      [0-9a-f]* \([0-9a-f]*\).*/\1/p' | tr -d '\r')
expect 0 "\"publicKey\": {\"x\": \"$pub_x\"" -- show program.cert --json
expect 0 "\"s\": \"$sig_s\"}" -- show program.cert --json

# Unusable keys and containers are refused (1) and nothing is written.
head -c 4096 /dev/zero >zero.keycontainer
cp program.keycontainer nolength.keycontainer
patch nolength.keycontainer 4094 0000
cp program.keycontainer long.keycontainer
patch long.keycontainer 4094 0015
echo 0000000000000000000000000000000000000000 >zero.key
echo 89abcdef012345672716b26eec14904428c2a675 >order.key
echo 89abcdef012345672716b26eec14904428c2a676 >above.key
echo "$(cut -d' ' -f1 root.pub) $(cut -d' ' -f1 root.pub)" >offcurve.pub
expect 1 "'zero.keycontainer' holds no usable key (key length 0" -- unwrap zero.keycontainer -o out.key
expect 1 "'nolength.keycontainer' holds no usable key (key length 0" -- unwrap nolength.keycontainer -o out.key
expect 1 "'long.keycontainer' is not a key container (key length 21, at most 20)" -- unwrap long.keycontainer -o out.key
head -c 99 program.keycontainer >short.keycontainer
expect 1 "'short.keycontainer' is not a key container (99 bytes, not 4096)" -- unwrap short.keycontainer -o out.key
expect 1 "'zero.key' holds no usable key" -- wrap --key zero.key -o out.keycontainer
expect 1 "'order.key' holds no usable key" -- wrap --key order.key -o out.keycontainer
expect 1 "'above.key' holds no usable key" -- wrap --key above.key -o out.keycontainer
expect 1 "'offcurve.pub' is not a point on the channel's curve" -- \
  certify --pub offcurve.pub --level 1 --root-key root.key -o out.cert
expect 1 "cannot sign with 'above.key'" -- certify --pub new.pub --level 1 --root-key above.key -o out.cert
absent out.key out.keycontainer out.cert

# keygen: two outputs or none, and an existing file only with --force.
cp root.key root.key.before
expect 2 "two outputs name one file: 'twice.key'" -- keygen --key twice.key --pub twice.key
expect 2 "'root.key' exists; give --force to replace it" -- keygen --key root.key --pub fresh.pub
same root.key root.key.before
expect 2 "cannot write 'nowhere/half.pub': " -- keygen --key half.key --pub nowhere/half.pub
absent twice.key fresh.pub half.key half.key.partial
cp new.pub new.pub.before
expect 0 "" -- keygen --key new.key --pub new.pub --force
cmp -s new.pub new.pub.before && fail "keygen --force left new.pub as it was"
# Private keys and containers are for their owner's eyes (Windows: the
# folder's permissions).
if [ -z "$runner" ]; then
  for f in new.key new.keycontainer unwrapped.key; do
    [ "$(stat -c %a "$f")" = 600 ] || fail "$f is not readable by its owner only ($(stat -c %a "$f"))"
  done
  [ "$(stat -c %a new.pub)" = 644 ] || fail "new.pub is not 644 ($(stat -c %a new.pub))"
fi

# An output that is a symbolic link is written through it; the link stays.
if [ -z "$runner" ]; then
  ln -s linked.cert link.cert
  expect 0 "" -- certify --pub new.pub --level 3 --root-key root.key -o link.cert
  [ -L link.cert ] || fail "link.cert is no longer a link"
  expect 0 "Security level 3" -- show linked.cert --root root.pub
fi

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
