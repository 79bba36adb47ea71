#pragma once

#include <QByteArray>
#include <QString>

// The update's cryptography, all of it done by OpenSSL's libcrypto.

// The public key (PEM) whose signatures the program trusts, chosen when the
// program is built (CMake cache variable KY_UPDATE_PUBLIC_KEY).
QByteArray builtInUpdateKey();

// Whether `signature` is an Ed25519 signature of exactly `message` by the
// key in `publicKeyPem`. False for an empty or malformed signature and for a
// key that is not an Ed25519 public key.
bool verifyEd25519(const QByteArray &message, const QByteArray &signature, const QByteArray &publicKeyPem);

// The SHA-256 of the file at `path` (32 bytes), read in pieces; empty when
// the file cannot be read.
QByteArray fileSha256(const QString &path);
