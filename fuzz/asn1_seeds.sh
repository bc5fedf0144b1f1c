#!/usr/bin/env bash
# Writes the seed corpora of the DER parser harnesses from fresh openssl
# output: a certificate with extensions, a PKCS #7 signed message, public keys
# and pieces cut out of them. Each seed starts with the harness's selector
# byte. Run it again to refresh the seeds; the files are small and checked in.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="$here/corpus/asn1_parsers"
values="$here/corpus/asn1_values"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out" "$values"

cd "$tmp"
openssl req -x509 -newkey rsa:1024 -nodes -keyout key.pem -subj "/CN=Seed CA/O=Tessfold" -days 30 \
  -addext "keyUsage=critical,digitalSignature,keyCertSign" -addext "extendedKeyUsage=codeSigning" \
  -outform DER -out cert.der 2>/dev/null
openssl x509 -inform DER -in cert.der -out cert.pem
printf 'seed content' >msg.txt
openssl cms -sign -binary -nodetach -in msg.txt -signer cert.pem -inkey key.pem -outform DER -out sd.der
openssl rsa -in key.pem -pubout -outform DER -out spki.der 2>/dev/null
openssl rsa -in key.pem -RSAPublicKey_out -outform DER -out rsapub.der 2>/dev/null

python3 - "$out" "$values" <<'PY'
import sys
out, values = sys.argv[1], sys.argv[2]

def tlv(b, i):
    """Returns (header length, content length) of the element at b[i]."""
    n = b[i + 1]
    if n < 0x80:
        return 2, n
    k = n & 0x7F
    return 2 + k, int.from_bytes(b[i + 2:i + 2 + k], "big")

def children(b, i):
    h, n = tlv(b, i)
    j, end, kids = i + h, i + h + n, []
    while j < end:
        hh, nn = tlv(b, j)
        kids.append(j)
        j += hh + nn
    return kids

def whole(b, i):
    h, n = tlv(b, i)
    return b[i:i + h + n]

def content(b, i):
    h, n = tlv(b, i)
    return b[i + h:i + h + n]

def seed(name, selector, data, folder=out):
    with open(f"{folder}/{name}", "wb") as f:
        f.write(bytes([selector]) + data)

cert = open("cert.der", "rb").read()
sd = open("sd.der", "rb").read()
spki = open("spki.der", "rb").read()
rsapub = open("rsapub.der", "rb").read()

tbs = children(cert, 0)[0]
exts_wrapper = [k for k in children(cert, tbs) if cert[k] == 0xA3][0]
exts = content(cert, exts_wrapper)
algid = whole(spki, children(spki, 0)[0])

signed = children(sd, 0)[1]              # [0]
signed_data = children(sd, signed)[0]    # SignedData
parts = children(sd, signed_data)
certs = whole(sd, [k for k in parts if sd[k] == 0xA0][0])
signer = children(sd, parts[-1])[0]
attrs = whole(sd, [k for k in children(sd, signer) if sd[k] == 0xA0][0])

seed("cert", 0x00, cert)
seed("signed_data", 0x01, sd)
seed("algid", 0x04, algid)
seed("spki", 0x05, spki)
seed("rsa_public_key", 0x06, rsapub)
seed("extensions", 0x39, exts)     # list parser 9, at most 3 items
seed("attributes", 0x22, attrs)    # list parser 10, at most 2 items
seed("certificates", 0x23, certs)  # list parser 11, at most 2 items

# Value-table seeds: a certificate-shaped table over the certificate.
table = bytes([5,
               0xC3, 1, 0x30,   # into SEQUENCE, store
               0x83, 2, 0x30,   # into tbsCertificate
               0x04, 0, 0xA0,   # optional into [0]
               0x41, 3, 0x02,   # version
               0x05, 0, 0x00])  # out
seed("cert_table", table[0], table[1:] + cert, values)
PY
ls -l "$out" "$values"
