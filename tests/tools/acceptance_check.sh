#!/usr/bin/env bash
# Build, sign and verify an image with each development chain, as a release
# would be checked:
#   acceptance_check.sh TOOL KEY_DIR WORK_DIR
# verify with the signed make and model must exit 0 with the chain's
# "... Signature PASSED." line; with another model it must exit 1 with
# "Device Model Attribute mismatch!".
set -u
tool="$1"; keys="$2"; work="$3"
mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$tool" build --cat-sig 4096 -o "$work/image.bin" >/dev/null || fail "build exited $?"
for chain in test odm product; do
  case $chain in
    test) line="Test Signature PASSED." ;;
    odm) line="ODM Signature PASSED." ;;
    product) line="Product Signature PASSED." ;;
  esac
  signed="$work/image-$chain.bin"
  rm -f "$signed"
  "$tool" sign "$work/image.bin" --key "$keys/$chain-signer.key" --cert "$keys/$chain-signer.pem" \
    --chain "$keys/$chain-ca.pem" --make "Corvane" --model "ZR-410" -o "$signed" ||
    fail "$chain: sign exited $?"
  out=$("$tool" verify "$signed" --make "Corvane" --model "ZR-410"); rc=$?
  [ $rc -eq 0 ] || fail "$chain: verify with the signed model exited $rc"
  grep -qF "$line" <<<"$out" || fail "$chain: no '$line' in: $out"
  out=$("$tool" verify "$signed" --make "Corvane" --model "ZR-411"); rc=$?
  [ $rc -eq 1 ] || fail "$chain: verify with another model exited $rc"
  grep -qF "Device Model Attribute mismatch!" <<<"$out" || fail "$chain: no model mismatch line in: $out"
  [ $failures -eq 0 ] && echo "ok: $chain"
done
exit $((failures != 0))
