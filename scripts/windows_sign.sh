#!/usr/bin/env bash
# Signs Windows programs and installers in place with osslsigncode (Authenticode, SHA-256),
# when a certificate is given; without one it signs nothing and says nothing.
#
#   TARVU_SIGN_PFX=FILE                the certificate with its private key (PKCS#12: .pfx, .p12)
#   TARVU_SIGN_PASSWORD=TEXT           its password (may be empty)
#   TARVU_SIGN_TIMESTAMP_URL=URL       an RFC 3161 time-stamp server: the signature then stays
#                                      valid after the certificate expires
#
#   scripts/windows_sign.sh FILE...
set -euo pipefail

[ -n "${TARVU_SIGN_PFX:-}" ] || exit 0
if [ ! -r "$TARVU_SIGN_PFX" ]; then
    echo "windows_sign.sh: TARVU_SIGN_PFX names no readable file: $TARVU_SIGN_PFX" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
key=(-pkcs12 "$TARVU_SIGN_PFX")
# The password goes through a file, not the command line that every user may list. An empty
# file is refused by osslsigncode, and a certificate without a password needs no option.
if [ -n "${TARVU_SIGN_PASSWORD:-}" ]; then
    (umask 077 && printf '%s' "$TARVU_SIGN_PASSWORD" >"$work/password")
    key+=(-readpass "$work/password")
fi
for file in "$@"; do
    args=(sign "${key[@]}" -h sha256 -n Tarvu -in "$file" -out "$work/signed")
    if [ -n "${TARVU_SIGN_TIMESTAMP_URL:-}" ]; then
        args+=(-ts "$TARVU_SIGN_TIMESTAMP_URL")
    fi
    if ! osslsigncode "${args[@]}" >"$work/log" 2>&1; then
        cat "$work/log" >&2
        echo "windows_sign.sh: signing $file failed" >&2
        exit 1
    fi
    mv "$work/signed" "$file"
    echo "signed $(basename "$file")"
done
