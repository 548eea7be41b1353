#!/usr/bin/env bash
# Adds signed masthead fixtures to the test PKI made by make-pki.sh:  pki-mastheads.sh OUTPUT_DIR ARC
# They are a hierarchy of their own, in the folder "mastheads" of the output folder.
#
# The masthead PKI, under its own root (roots/masthead-root.pem, the folder a relay names for its
# built-in roots):
#   action-registrar       CN "ActionSite Registrar: Fixture"
#     action-site          O "Fixture Org", name "Server:relay.example"
#       action-operator    a chain of 4 under the action site
#       encryption         the action site's encryption certificate (also .der)
#   daruravidu-registrar   CN "DaruraviduSite Registrar: Fixture"
#     daruravidu-site      O "Fixture Org", names "Sitename:DemoSite" and "GatherURL:<demo URL>"
#   consumer-registrar     CN "Site Registration"
#     consumer-site        O "Fixture Org", names "Sitename:ConsumerSite" and "GatherURL:<consumer URL>"
#       consumer-operator  a chain of 4 under the consumer site
#   stranger-root / stranger-registrar / stranger-site: the action layout under a root nobody trusts
#
# Mastheads (multipart/signed around multipart/related, signed with "openssl smime -sign -md sha1"):
#   action.azqm            the action site; operator list, plain text and the encryption certificate
#                          (PEM); gather URL http://relay.example:52311/cgi-bin/bfgather.exe/actionsite
#   action-fips.azqm       the same asking for FIPS mode
#   action-nocert.azqm     the same without a certificate part
#   action-tampered.azqm   action.azqm with its gather URL changed after signing
#   action-lowercase.azqm  the masthead type parameter in lower case
#   action-nested.azqm     signed content that is multipart/signed around the masthead
#   action-mixed.azqm      signed content of type multipart/mixed
#   action-nohost.azqm     an action masthead whose gather URL has no host
#   action-operator.azqm   an action masthead signed by the action operator (chain of 4)
#   action-stranger.azqm   an action masthead under the untrusted root
#   demo.ezqm              the daruravidu site DemoSite
#   consumer-operator.azqm the consumer site, signed by its operator (chain of 4)
#   custom-site.azqm       the action masthead of relay.example:8080 for the custom-site look-up
set -euo pipefail
out=$1/mastheads
mkdir -p "$out/roots"
cd "$out"

cat > openssl.cnf <<'CONF'
[req]
distinguished_name = dn
[dn]
[ca_ext]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign,digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[leaf_ext]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CONF

action_url=http://relay.example:52311/cgi-bin/bfgather.exe/actionsite
demo_url=http://relay.example:52311/cgi-bin/bfgather.exe/demosite
consumer_url=http://relay.example:52311/cgi-bin/bfgather.exe/consumersite
# A "/" inside a subject value is written "\/".
escaped() { printf '%s' "${1//\//\\/}"; }

key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key" 2>/dev/null; }
root() {  # name subject
  key "$1"
  openssl req -new -x509 -key "$1.key" -subj "$2" -days 7300 -set_serial 1 -config openssl.cnf \
    -extensions ca_ext -out "$1.pem"
}
issue() {  # name issuer serial subject extensions
  key "$1"
  openssl req -new -key "$1.key" -subj "$4" -config openssl.cnf -out "$1.csr"
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -set_serial "$3" -days 3650 \
    -extfile openssl.cnf -extensions "$5" -out "$1.pem" 2>/dev/null
}

root masthead-root "/O=Fixture/CN=Fixture Masthead Root"
cp masthead-root.pem roots/masthead-root.pem
issue action-registrar masthead-root 2 "/O=Fixture/CN=ActionSite Registrar: Fixture" ca_ext
issue action-site action-registrar 0x1234 "/O=Fixture Org/CN=Fixture Action Site/name=Server:relay.example" ca_ext
issue action-operator action-site 5 "/O=Fixture Org/CN=Fixture Action Operator" leaf_ext
issue encryption action-site 6 "/O=Fixture Org/CN=Fixture Encryption" leaf_ext
openssl x509 -in encryption.pem -outform DER -out encryption.der
issue daruravidu-registrar masthead-root 3 "/O=Fixture/CN=DaruraviduSite Registrar: Fixture" ca_ext
issue daruravidu-site daruravidu-registrar 7 \
  "/O=Fixture Org/CN=Fixture Demo Site/name=Sitename:DemoSite/name=GatherURL:$(escaped "$demo_url")" ca_ext
issue consumer-registrar masthead-root 4 "/O=Fixture/CN=Site Registration" ca_ext
issue consumer-site consumer-registrar 8 \
  "/O=Fixture Org/CN=Fixture Consumer Site/name=Sitename:ConsumerSite/name=GatherURL:$(escaped "$consumer_url")" ca_ext
issue consumer-operator consumer-site 9 "/O=Fixture Org/CN=Fixture Consumer Operator" leaf_ext
root stranger-root "/O=Fixture/CN=Fixture Stranger Root"
issue stranger-registrar stranger-root 2 "/O=Fixture/CN=ActionSite Registrar: Stranger" ca_ext
issue stranger-site stranger-registrar 0x99 "/O=Fixture Org/CN=Stranger Site/name=Server:relay.example" ca_ext

crlf() { sed 's/$/\r/'; }

# The signed content: header lines, then the parts of a multipart/related body.
#   content URL SITENAME EXTRA-HEADERS CERTIFICATE-MODE(pem|none) [TYPE-PARAMETER] [SUBTYPE]
content() {
  local type=${5:-Application/x-Mendle-Site-Masthead} subtype=${6:-related}
  {
    printf 'Content-Type: multipart/%s; type="%s"; boundary="masthead-part"\n' "$subtype" "$type"
    printf 'X-Mendle-Site-Name: %s\nX-Mendle-Site-Gather-URL: %s\nOrganization: Fixture Org\n' "$2" "$1"
    printf 'X-Mendle-Site-Update-Frequency: Two Weeks\nX-Mendle-Site-Serial-Number: 12\n'
    printf 'X-Mendle-Site-Masthead-Version: 2\n%s' "$3"
    printf '\n--masthead-part\nContent-Type: text/plain\n\nThis is the fixture site.\n'
    printf -- '--masthead-part\nContent-Type: text/plain\nContent-ID: Operator-List\n\n'
    printf 'version=2\n:seq=1:cn=Fixture%%20Operator:type=Administrator:dbname=fixture:actions=Enable:dbis=false:\n'
  } | crlf
  case $4 in
    pem) printf -- '--masthead-part\nContent-Type: text/plain\nContent-ID: Encryption-Certificate\n\n' | crlf
         crlf < encryption.pem ;;
  esac
  printf -- '--masthead-part--\n' | crlf
}

sign() {  # content-file signer issuer-chain-files... > masthead (the signer's own certificate is added)
  local in=$1 signer=$2
  shift 2
  cat "$@" > chain.tmp
  openssl smime -sign -md sha1 -binary -in "$in" -signer "$signer.pem" -inkey "$signer.key" -certfile chain.tmp
}

action_chain="action-registrar.pem"
content "$action_url" ActionSite "" pem > action.content
sign action.content action-site $action_chain > action.azqm
content "$action_url" ActionSite $'X-KVR-Require-FIPS-Cryptography: 1\n' pem > action-fips.content
sign action-fips.content action-site $action_chain > action-fips.azqm
content "$action_url" ActionSite "" none > action-nocert.content
sign action-nocert.content action-site $action_chain > action-nocert.azqm
sed 's|bfgather.exe/actionsite|bfgather.exe/forgedsite|' action.azqm > action-tampered.azqm
content "$action_url" ActionSite "" pem application/x-mendle-site-masthead > action-lowercase.content
sign action-lowercase.content action-site $action_chain > action-lowercase.azqm
{
  printf 'Content-Type: multipart/signed; protocol="application/pkcs7-signature"; micalg=sha1; boundary="inner"\n\n--inner\n' | crlf
  cat action.content
  printf '\n--inner\nContent-Type: application/pkcs7-signature\n\nAAAA\n--inner--\n' | crlf
} > action-nested.content
sign action-nested.content action-site $action_chain > action-nested.azqm
content "$action_url" ActionSite "" pem Application/x-Mendle-Site-Masthead mixed > action-mixed.content
sign action-mixed.content action-site $action_chain > action-mixed.azqm
content "actionsite" ActionSite "" pem > action-nohost.content
sign action-nohost.content action-site $action_chain > action-nohost.azqm
sign action.content action-operator action-site.pem $action_chain > action-operator.azqm
sign action.content stranger-site stranger-registrar.pem > action-stranger.azqm
content "$demo_url" DemoSite "" none > demo.content
sign demo.content daruravidu-site daruravidu-registrar.pem > demo.ezqm
content "$consumer_url" ConsumerSite "" none > consumer.content
sign consumer.content consumer-operator consumer-site.pem consumer-registrar.pem \
  > consumer-operator.azqm
content "http://relay.example:8080/cgi-bin/bfgather.exe/actionsite" ActionSite "" none > custom-site.content
sign custom-site.content action-site $action_chain > custom-site.azqm
rm -f ./*.csr ./*.tmp
