#!/bin/sh
# Makes the certificates the TLS tests need in directory $1, fresh each run
# (no key is ever kept in the tree):
#   ca.pem                      the CA of the server and of alice
#   server.pem server.key       localhost and 127.0.0.1, signed by ca.pem
#   alice.pem alice.key         a client certificate, CN=alice, signed by ca.pem
#   stranger.pem stranger.key   a client certificate from another CA
#   other.key                   a key of no certificate here
#   expired.pem                 server.key's certificate, out of date since 2020
set -eu
dir=$1
mkdir -p "$dir/ca/newcerts"
cd "$dir"
: > ca/index.txt
echo 01 > ca/serial
cat > ca.cnf <<'EOF'
[ca]
default_ca = signer
[signer]
dir = ./ca
database = ./ca/index.txt
new_certs_dir = ./ca/newcerts
serial = ./ca/serial
default_md = sha256
policy = anything
copy_extensions = copy
unique_subject = no
[anything]
commonName = supplied
EOF
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }
self_signed() { openssl req -x509 -key "$1" -out "$2" -subj "/CN=$3" -days 2 2>/dev/null; }
request() { openssl req -new -key "$1" -out "$2" -subj "/CN=$3" ${4:+-addext "$4"} 2>/dev/null; }
sign() { # csr out ca cakey [start end]
    if [ $# -gt 4 ]; then dates="-startdate $5 -enddate $6"; else dates="-days 2"; fi
    # shellcheck disable=SC2086
    openssl ca -batch -config ca.cnf -cert "$3" -keyfile "$4" -in "$1" -out "$2" $dates >/dev/null 2>&1
}
key ca.key && self_signed ca.key ca.pem "Test CA"
key stranger-ca.key && self_signed stranger-ca.key stranger-ca.pem "Stranger CA"
key server.key && request server.key server.csr localhost "subjectAltName=DNS:localhost,IP:127.0.0.1"
sign server.csr server.pem ca.pem ca.key
sign server.csr expired.pem ca.pem ca.key 20200101000000Z 20200102000000Z
key alice.key && request alice.key alice.csr alice && sign alice.csr alice.pem ca.pem ca.key
key stranger.key && request stranger.key stranger.csr mallory
sign stranger.csr stranger.pem stranger-ca.pem stranger-ca.key
key other.key
