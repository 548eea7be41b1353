#!/usr/bin/env bash
# Makes the test PKI with the openssl command line:  make-pki.sh OUTPUT_DIR ENTERPRISE_ARC
#
#   root.pem/.key           self-signed root
#   registrar.pem/.key      CA signed by the root
#   site.pem/.key           leaf of the registrar: intended site (.9), action authorized (.5)
#   operator.pem/.key       leaf of the registrar, serial 0x0100000001: role (.6), custom site owner
#                           (.6.1) and user (.6.2); its key is encrypted with "fixture pass phrase"
#   stranger.pem/.key       self-signed, trusted by nobody
#   expired.pem/.key        leaf of the registrar, valid in the year 2000 only
#   registrar-old.crl       the registrar's CRL issued 2020-01-01, revoking nothing
#   registrar-new.crl       the registrar's CRL issued 2024-01-01, revoking the operator, carrying the
#                           registrar as supporting certificate (.7) and an indirect revocation list
#                           (.4): the body of registrar-old.crl
#   registrar-reissued.pem  the registrar re-issued: same key, issuer and serial, a new subject
#   reissued-leaf.pem/.key  leaf issued under the re-issued registrar's new name
# Everything is also written as DER (*.der) for the tests that decode bytes.
# Then each sibling script tests/pki/pki-*.sh adds its fixtures, in name order.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$1
arc=$2
own=1.3.6.1.4.1.$arc
mkdir -p "$out"
cd "$out"

cat > openssl.cnf <<CONF
[ca]
default_ca = registrar_ca
[registrar_ca]
database = index.txt
serial = serial.txt
new_certs_dir = .
default_md = sha256
policy = anything
[anything]
commonName = supplied
[ca_ext]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign,digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[site_ext]
basicConstraints = critical,CA:FALSE
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
$own.9 = ASN1:UTF8String:http://sites.example.test:52311/cgi-bin/site
$own.5 = ASN1:UTF8String:actionsite
[operator_ext]
basicConstraints = critical,CA:FALSE
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
$own.6 = ASN1:UTF8String:operator
$own.6.1 = ASN1:UTF8String:owner-of-custom
$own.6.2 = ASN1:UTF8String:user-of-custom
[crl_ext]
authorityKeyIdentifier = keyid
CONF

key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key" 2>/dev/null; }

key root
openssl req -new -x509 -key root.key -subj "/O=Fixture/CN=Fixture Root" -days 7300 -set_serial 1 \
  -config openssl.cnf -extensions ca_ext -out root.pem

issue() {  # name issuer serial subject extensions
  openssl req -new -key "$1.key" -subj "$4" -config openssl.cnf -out "$1.csr"
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -set_serial "$3" -days 3650 \
    -extfile openssl.cnf -extensions "$5" -out "$1.pem" 2>/dev/null
}
key registrar
issue registrar root 2 "/O=Fixture/CN=Fixture Registrar" ca_ext
key site
issue site registrar 3 "/O=Fixture Site Org/CN=Fixture Site/name=site:main/name=role:writer" site_ext
key operator
issue operator registrar 0x0100000001 "/O=Fixture/CN=Fixture Operator" operator_ext
openssl pkey -in operator.key -aes-256-cbc -passout "pass:fixture pass phrase" -out operator-encrypted.key
mv operator-encrypted.key operator.key
key stranger
openssl req -new -x509 -key stranger.key -subj "/CN=Fixture Stranger" -days 3650 -set_serial 1 \
  -config openssl.cnf -extensions ca_ext -out stranger.pem

crl() {  # name lastupdate nextupdate extensions-section
  openssl ca -gencrl -config openssl.cnf -cert registrar.pem -keyfile registrar.key -md sha256 \
    -crl_lastupdate "$2" -crl_nextupdate "$3" -crlexts "$4" -out "$1.crl" 2>/dev/null
}
: > index.txt
echo 10 > serial.txt
key expired
openssl req -new -key expired.key -subj "/CN=Fixture Expired" -config openssl.cnf -out expired.csr
openssl ca -batch -notext -config openssl.cnf -cert registrar.pem -keyfile registrar.key -in expired.csr \
  -startdate 20000101000000Z -enddate 20010101000000Z -extensions site_ext -out expired.pem 2>/dev/null
crl registrar-old 20200101000000Z 20300101000000Z crl_ext
openssl crl -in registrar-old.crl -outform DER -out registrar-old.crl.der

# The own CRL extensions hold DER the command line cannot compose: the registrar certificate in a
# SET [1] IMPLICIT, and the to-be-signed body of the older CRL.
for name in root registrar site operator stranger expired; do
  openssl x509 -in $name.pem -outform DER -out $name.der
done
python3 - "$own" <<'PY' >> openssl.cnf
import sys
def der_length(n):
    if n < 0x80: return bytes([n])
    octets = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(octets)]) + octets
def first_element(data):  # the first element inside the outer SEQUENCE
    i = 1 + (1 if data[1] < 0x80 else 1 + (data[1] & 0x7f))
    head = data[i + 1]
    length_octets = 0 if head < 0x80 else head & 0x7f
    length = head if head < 0x80 else int.from_bytes(data[i + 2:i + 2 + length_octets], "big")
    return data[i:i + 2 + length_octets + length]
own = sys.argv[1]
certificate = open("registrar.der", "rb").read()
supporting = b"\xa1" + der_length(len(certificate)) + certificate
body = first_element(open("registrar-old.crl.der", "rb").read())
print("[new_crl_ext]")
print("authorityKeyIdentifier = keyid")
print(f"{own}.7 = DER:{supporting.hex()}")
print(f"{own}.4 = DER:{body.hex()}")
PY
openssl ca -revoke operator.pem -config openssl.cnf -cert registrar.pem -keyfile registrar.key 2>/dev/null
crl registrar-new 20240101000000Z 20340101000000Z new_crl_ext
openssl crl -in registrar-new.crl -outform DER -out registrar-new.crl.der

# The re-issued registrar, made as a re-issue is made: the old key and serial under a new subject.
openssl req -new -key registrar.key -subj "/O=Fixture/CN=Fixture Registrar Reissued" -config openssl.cnf \
  -out registrar-reissued.csr
openssl x509 -req -in registrar-reissued.csr -CA root.pem -CAkey root.key -set_serial 2 -days 3650 \
  -extfile openssl.cnf -extensions ca_ext -out registrar-reissued.pem 2>/dev/null
key reissued-leaf
openssl req -new -key reissued-leaf.key -subj "/O=Fixture/CN=Fixture Reissued Leaf" -config openssl.cnf \
  -out reissued-leaf.csr
openssl x509 -req -in reissued-leaf.csr -CA registrar-reissued.pem -CAkey registrar.key -set_serial 4 \
  -days 3650 -extfile openssl.cnf -extensions site_ext -out reissued-leaf.pem 2>/dev/null
for name in registrar-reissued reissued-leaf; do
  openssl x509 -in $name.pem -outform DER -out $name.der
done
rm -f ./*.csr ./10.pem

for more in "$here"/pki-*.sh; do
  bash "$more" "$PWD" "$arc"
done
