#!/usr/bin/env bash
# Adds the custom-site role fixtures to the test PKI made by make-pki.sh:  pki-roles.sh OUTPUT_DIR ARC
# They are a hierarchy of their own, in the folder "roles" of the output folder.
#
# The site "CustomSite_Fixture" and its hierarchy (chains run signer first):
#   root.pem/.key            self-signed root
#   registrar.pem/.key       CA signed by the root
#   site.pem/.key            the site certificate, a CA of the registrar ("GatherURL:" field)
#   other-site.pem/.key      another site's certificate under the same registrar
#   admin.pem/.key           operator of the site, "Type:Administrator"; an end entity whose key usage
#                            lacks certificate signing
#   untyped.pem/.key         operator of the site without a "Type:" field
#   typed.pem/.key           operator of the site, "Type:Operator": holds no role by itself
#   second.pem/.key          another "Type:Operator" operator of the site
#   encryption.pem/.key      the site's encryption certificate, a leaf of the site certificate
#   stranger.pem/.key        self-signed, trusted by nobody
#   expired.pem/.key         untyped operator of the site, valid in the year 2000 only
#   site-reissued.pem/.key   the site certificate re-issued: its key, issuer and serial, a new subject
#   reissued-operator.pem    untyped operator issued under the re-issued site's new name (site.key)
# Delegating certificates carry the signer's subject name and a role extension (.6.1 owner, .6.2 user)
# whose value is the site's name as an OCTET STRING unless the name says otherwise; all share
# delegate.key:
#   typed-owner-by-site      owner role for "typed", issued by the site certificate
#   typed-user-by-site       user role for "typed", issued by the site certificate
#   typed-user-by-admin      user role for "typed", issued by the administrator (an end entity)
#   typed-owner-by-other     owner role for "typed", issued by the other site's certificate
#   typed-owner-by-stranger  owner role for "typed", issued by the stranger
#   typed-owner-lower-case   owner role for "typed" naming "customsite_fixture"
#   typed-owner-utf8         owner role for "typed" as a UTF8String
#   typed-owner-critical     owner role for "typed", the extension marked critical
#   typed-user-as-second     user role, issued by the site certificate, under the subject of "second"
#   second-user-by-typed     user role for "second", issued by "typed"
#   second-owner-by-typed    owner role for "second", issued by "typed"
#   typed-user-chain.pem     typed-user-by-site and the site certificate: what a user carries when
#                            signing with the command line
# Everything is also written as DER (*.der).
set -euo pipefail
out=$1
arc=$2
own=1.3.6.1.4.1.$arc
site_name=CustomSite_Fixture
mkdir -p "$out/roles"
cd "$out/roles"

# make-pki.sh's configuration (its certificate authority set-up and "ca_ext"), with the sections here.
cp ../openssl.cnf openssl.cnf
cat >> openssl.cnf <<CONF
[admin_ext]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[leaf_ext]
basicConstraints = critical,CA:FALSE
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CONF
# The delegating certificates' sections differ only in their role extension.
role_ext() {  # section extension value
  printf '[%s]\nbasicConstraints = critical,CA:FALSE\nauthorityKeyIdentifier = keyid\n%s = %s\n' "$1" "$2" "$3"
}
{
  role_ext owner_ext "$own.6.1" "ASN1:OCTETSTRING:$site_name"
  role_ext user_ext "$own.6.2" "ASN1:OCTETSTRING:$site_name"
  role_ext owner_lower_case_ext "$own.6.1" "ASN1:OCTETSTRING:customsite_fixture"
  role_ext owner_utf8_ext "$own.6.1" "ASN1:UTF8String:$site_name"
  role_ext owner_critical_ext "$own.6.1" "critical,ASN1:OCTETSTRING:$site_name"
} >> openssl.cnf

key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null; }
self_signed() {  # name subject
  key "$1"
  openssl req -new -x509 -key "$1.key" -subj "$2" -days 7300 -set_serial 1 -config openssl.cnf \
    -extensions ca_ext -out "$1.pem"
}
issue() {  # name key issuer serial subject extensions
  openssl req -new -key "$2.key" -subj "$5" -config openssl.cnf -out "$1.csr"
  openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -set_serial "$4" -days 3650 \
    -extfile openssl.cnf -extensions "$6" -out "$1.pem" 2>/dev/null
}

self_signed root "/O=Role Fixture/CN=Role Root"
key registrar
issue registrar registrar root 2 "/O=Role Fixture/CN=Role Registrar" ca_ext
key site
issue site site registrar 3 "/O=Role Fixture/CN=$site_name/name=GatherURL:http:\/\/custom.example.test\/site" ca_ext
key other-site
issue other-site other-site registrar 4 "/O=Role Fixture/CN=CustomSite_Other/name=GatherURL:http:\/\/other.example.test\/site" ca_ext

admin_subject="/O=Role Fixture/CN=Admin Operator/name=Type:Administrator"
untyped_subject="/O=Role Fixture/CN=Untyped Operator"
typed_subject="/O=Role Fixture/CN=Typed Operator/name=Type:Operator"
second_subject="/O=Role Fixture/CN=Second Operator/name=Type:Operator"
for name in admin untyped typed second encryption; do key $name; done
issue admin admin site 10 "$admin_subject" admin_ext
issue untyped untyped site 11 "$untyped_subject" leaf_ext
issue typed typed site 12 "$typed_subject" leaf_ext
issue second second site 13 "$second_subject" leaf_ext
issue encryption encryption site 14 "/O=Role Fixture/CN=$site_name Encryption" leaf_ext
self_signed stranger "/CN=Role Stranger"
key expired
openssl req -new -key expired.key -subj "/O=Role Fixture/CN=Expired Operator" -config openssl.cnf -out expired.csr
: > index.txt
echo 20 > serial.txt
# The command line dates a certificate in the past only through "openssl ca".
openssl ca -batch -notext -config openssl.cnf -cert site.pem -keyfile site.key -in expired.csr \
  -startdate 20000101000000Z -enddate 20010101000000Z -extensions leaf_ext -out expired.pem 2>/dev/null
rm -f ./20.pem index.txt* serial.txt*
issue site-reissued site registrar 3 "/O=Role Fixture/CN=$site_name Reissued" ca_ext
cp site.key site-reissued.key
issue reissued-operator untyped site-reissued 15 "/O=Role Fixture/CN=Reissued Operator" leaf_ext

key delegate
issue typed-owner-by-site delegate site 100 "$typed_subject" owner_ext
issue typed-user-by-site delegate site 101 "$typed_subject" user_ext
issue typed-user-by-admin delegate admin 102 "$typed_subject" user_ext
issue typed-owner-by-other delegate other-site 103 "$typed_subject" owner_ext
issue typed-owner-by-stranger delegate stranger 104 "$typed_subject" owner_ext
issue typed-owner-lower-case delegate site 105 "$typed_subject" owner_lower_case_ext
issue typed-owner-utf8 delegate site 106 "$typed_subject" owner_utf8_ext
issue typed-owner-critical delegate site 107 "$typed_subject" owner_critical_ext
issue typed-user-as-second delegate site 108 "$second_subject" user_ext
issue second-user-by-typed delegate typed 109 "$second_subject" user_ext
issue second-owner-by-typed delegate typed 110 "$second_subject" owner_ext

cat typed-user-by-site.pem site.pem > typed-user-chain.pem

for pem in ./*.pem; do
  openssl x509 -in "$pem" -outform DER -out "${pem%.pem}.der"
done
rm -f ./*.csr
