#!/usr/bin/env bash
# Adds the signed-content fixtures to the test PKI made by make-pki.sh:  pki-signed.sh OUTPUT_DIR ARC
# (run by make-pki.sh in the output folder, after the root, registrar and CRLs exist).
#
# A site hierarchy under the registrar, as the product writes it: labelled subject "name" entries
# (2.5.4.41) "Sitename:", "GatherURL:", "Server:" and, on operators, "Type:".
#   opsite.pem/.key             site certificate (CA) of "opsite7", serial 20
#   opsite-reissued.pem         the same key, serial, subject and gather URL, new validity (new signature)
#   othersite.pem/.key          another site's certificate (CA), serial 21
#   op7-typed.pem               operator under opsite, serial 7, "Type:Operator"
#   op8-typed.pem               serial 8, "Type:Operator"
#   op8-untyped.pem             serial 8, no "Type:" entry
#   op-admin.pem                serial 9, "Type:Administrator"
#   op-lower-admin.pem          serial 10, "Type:administrator"
#   op-long-serial.pem          serial 0x0100000007 (its low 32 bits read 7), "Type:Operator"
#   op-expired.pem              serial 11, untyped, valid in the year 2000 only
#   op-badsig.pem               serial 12, untyped, its certificate signature altered
#   op-revoked.pem              serial 14, untyped, revoked by opsite.crl
#   other-op.pem                operator of othersite, untyped
#   opsite.crl/.crl.der         opsite's CRL revoking op-revoked
# Operators share one key, operator-common.key.
#
# filelist.txt is the signed content (CRLF line ends). Detached signatures of it, each as DER (.p7s)
# and as a multipart/signed S/MIME message (.smime), made with `openssl smime -sign`:
#   signed-site-sha1            by opsite, -md sha1, carrying registrar + opsite
#   signed-site-md5             by opsite, -md md5
#   signed-site-sha256          by opsite, -md sha256 (a digest the relay refuses)
#   signed-site-nocerts         by opsite, -nocerts
#   signed-<operator>           by each operator above, -md sha1, carrying its issuers (CRLs, which
#                               the command line cannot put into a signature, are added in C++)
#   signed-bad-then-good        two signers in one message: op-badsig first, op8-untyped second
#   signed-site-third-part.smime  signed-site-sha1.smime with a third part after the signature: a
#                               degenerate PKCS#7 carrying registrar-new.crl (crls.p7c); the
#                               command line reads only two parts, so only the relay accepts it
#   signed-other-content        by opsite over other-content.txt (its signature fails for filelist.txt)
set -euo pipefail
out=$1
cd "$out"

key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key" 2>/dev/null; }
cat > signed.cnf <<'CONF'
[req]
distinguished_name = dn
[dn]
[site_ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign,digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[operator]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CONF

issue() {  # name issuer-cert issuer-key subject-key serial subject extensions [x509 options...]
  local name=$1 cert=$2 cakey=$3 subjkey=$4 serial=$5 subject=$6 ext=$7
  shift 7
  openssl req -new -key "$subjkey" -subj "$subject" -config signed.cnf -out "$name.csr"
  openssl x509 -req -in "$name.csr" -CA "$cert" -CAkey "$cakey" -set_serial "$serial" \
    -extfile signed.cnf -extensions "$ext" -out "$name.pem" "$@" 2>/dev/null
  rm -f "$name.csr"
}
site_subject() {  # site-name
  echo "/O=Fixture/CN=Fixture Site $1/name=Sitename:$1/name=GatherURL:http:\/\/sites.example.test:52311\/cgi-bin\/$1/name=Server:sites.example.test"
}

key opsite
issue opsite registrar.pem registrar.key opsite.key 20 "$(site_subject opsite7)" site_ca -days 3650
issue opsite-reissued registrar.pem registrar.key opsite.key 20 "$(site_subject opsite7)" site_ca -days 3000
key othersite
issue othersite registrar.pem registrar.key othersite.key 21 "$(site_subject othersite)" site_ca -days 3650

key operator-common
operator() {  # name serial type-entry [x509 options...]
  local name=$1 serial=$2 typed=$3
  shift 3
  issue "$name" opsite.pem opsite.key operator-common.key "$serial" \
    "/O=Fixture/CN=Fixture Operator $name/name=Sitename:opsite7$typed" operator "$@"
}
operator op7-typed 7 "/name=Type:Operator" -days 3650
operator op8-typed 8 "/name=Type:Operator" -days 3650
operator op8-untyped 8 "" -days 3650
operator op-admin 9 "/name=Type:Administrator" -days 3650
operator op-lower-admin 10 "/name=Type:administrator" -days 3650
operator op-long-serial 0x0100000007 "/name=Type:Operator" -days 3650
operator op-badsig 12 "" -days 3650
issue other-op othersite.pem othersite.key operator-common.key 13 \
  "/O=Fixture/CN=Fixture Operator other/name=Sitename:othersite" operator -days 3650

operator op-revoked 14 "" -days 3650

# The expired operator needs fixed dates, and the CRL a database: both only `openssl ca` makes.
cat > expired.cnf <<'CONF'
[ca]
default_ca = site_ca
[site_ca]
database = expired-index.txt
serial = expired-serial.txt
new_certs_dir = .
default_md = sha256
policy = anything
unique_subject = no
[anything]
commonName = supplied
[crl_ext]
authorityKeyIdentifier = keyid
CONF
: > expired-index.txt
echo 0B > expired-serial.txt
openssl req -new -key operator-common.key -subj "/O=Fixture/CN=Fixture Operator op-expired/name=Sitename:opsite7" \
  -config signed.cnf -out op-expired.csr
openssl ca -batch -notext -config expired.cnf -cert opsite.pem -keyfile opsite.key -in op-expired.csr \
  -preserveDN -startdate 20000101000000Z -enddate 20010101000000Z -extfile signed.cnf -extensions operator \
  -out op-expired.pem 2>/dev/null
rm -f op-expired.csr 0B.pem
openssl ca -config expired.cnf -cert opsite.pem -keyfile opsite.key -revoke op-revoked.pem 2>/dev/null
openssl ca -gencrl -config expired.cnf -cert opsite.pem -keyfile opsite.key -md sha256 -crldays 3650 \
  -crlexts crl_ext -out opsite.crl 2>/dev/null
openssl crl -in opsite.crl -outform DER -out opsite.crl.der

# A certificate whose signature no longer verifies: one bit of its signature value flipped.
openssl x509 -in op-badsig.pem -outform DER -out op-badsig.der
python3 - <<'PY'
data = bytearray(open("op-badsig.der", "rb").read())
data[-1] ^= 0x01
open("op-badsig.der", "wb").write(bytes(data))
PY
openssl x509 -inform DER -in op-badsig.der -out op-badsig.pem

for name in opsite opsite-reissued othersite op7-typed op8-typed op8-untyped op-admin op-lower-admin \
    op-long-serial op-expired op-revoked other-op; do
  openssl x509 -in $name.pem -outform DER -out $name.der
done

printf 'Fixture file list\r\nfile-a 1234 da39a3ee5e6b4b0d3255bfef95601890afd80709\r\nfile-b 5 0\r\n' > filelist.txt
printf 'Another file list\r\n' > other-content.txt
cat registrar.pem > chain-registrar.pem
cat opsite.pem registrar.pem > chain-opsite.pem
cat othersite.pem registrar.pem > chain-othersite.pem

sign() {  # name content signer-cert signer-key [smime options...]
  local name=$1 content=$2 cert=$3 signkey=$4
  shift 4
  openssl smime -sign -in "$content" -signer "$cert" -inkey "$signkey" -outform DER -out "$name.p7s" "$@"
  openssl smime -sign -in "$content" -signer "$cert" -inkey "$signkey" -out "$name.smime" "$@"
}
sign signed-site-sha1 filelist.txt opsite.pem opsite.key -md sha1 -certfile chain-registrar.pem
sign signed-site-md5 filelist.txt opsite.pem opsite.key -md md5 -certfile chain-registrar.pem
sign signed-site-sha256 filelist.txt opsite.pem opsite.key -md sha256 -certfile chain-registrar.pem
sign signed-site-nocerts filelist.txt opsite.pem opsite.key -md sha1 -nocerts
sign signed-other-content other-content.txt opsite.pem opsite.key -md sha1 -certfile chain-registrar.pem
for name in op7-typed op8-typed op8-untyped op-admin op-lower-admin op-long-serial op-expired op-badsig \
    op-revoked; do
  sign signed-$name filelist.txt $name.pem operator-common.key -md sha1 -certfile chain-opsite.pem
done
sign signed-other-op filelist.txt other-op.pem operator-common.key -md sha1 -certfile chain-othersite.pem
openssl smime -sign -in filelist.txt -md sha1 -certfile chain-opsite.pem \
  -signer op-badsig.pem -inkey operator-common.key -signer op8-untyped.pem -inkey operator-common.key \
  -outform DER -out signed-bad-then-good.p7s

# A degenerate PKCS#7 (no signers) carrying the registrar's new CRL, as a third part after the signature.
openssl crl2pkcs7 -in registrar-new.crl -certfile registrar.pem -outform DER -out crls.p7c
python3 - <<'PY'
import base64, re
text = open("signed-site-sha1.smime", "rb").read()
boundary = re.search(rb'boundary="([^"]+)"', text).group(1)
close = b"\n--" + boundary + b"--"
third = (b"\n--" + boundary + b"\nContent-Type: application/pkcs7-signature; name=\"crls.p7s\"\n"
         b"Content-Transfer-Encoding: base64\n\n" + base64.encodebytes(open("crls.p7c", "rb").read()))
index = text.rindex(close)
open("signed-site-third-part.smime", "wb").write(text[:index] + third.rstrip(b"\n") + text[index:])
PY
rm -f signed.cnf expired.cnf expired-index.txt* expired-serial.txt*
