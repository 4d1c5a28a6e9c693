#!/bin/sh
# Makes a throw-away certificate for the local blog's https listener:
# CN=localhost, subjectAltName DNS:localhost, valid for two days.
# Writes OUTDIR/cert.pem, OUTDIR/key.pem and OUTDIR/cert.der (the DER bytes,
# for adding the certificate to a Windows root store).
set -eu
if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
out=$1
mkdir -p "$out"
# openssl req reports its progress on stderr: shown only when it fails.
if ! log=$(openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 \
    -subj /CN=localhost -addext subjectAltName=DNS:localhost \
    -keyout "$out/key.pem" -out "$out/cert.pem" 2>&1); then
  printf '%s\n' "$log" >&2
  exit 1
fi
chmod 600 "$out/key.pem"
openssl x509 -in "$out/cert.pem" -outform der -out "$out/cert.der"
