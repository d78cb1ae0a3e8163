// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vonk/match/ByteSource.h"

#include <string_view>

namespace gv::vonk {

// What an ASN.1 structure in DER (or BER) is, told by its outer shape: the
// kinds of elements in the first levels and, for content wrappers, the
// content type's object identifier. Certificates, revocation lists, signing
// requests, keys and signed or enveloped messages share no magic number
// (they all start with a SEQUENCE), so the shape is all there is.
enum class DerShape {
    None,
    Certificate,           // X.509 certificate
    Crl,                   // X.509 certificate revocation list
    CertificationRequest,  // PKCS #10
    Pkcs7Signature,        // signed data whose content is elsewhere (detached)
    Pkcs7SignedData,       // signed data carrying its content
    Pkcs7Certificates,     // signed data with no signer: a certificate bundle
    Pkcs7EnvelopedData,    // encrypted for recipients
    Pkcs7Other,            // another content type of PKCS #7 or CMS
    Pkcs8PrivateKey,
    Pkcs8EncryptedKey,
    RsaPrivateKey,         // PKCS #1
    RsaPublicKey,          // PKCS #1
    PublicKey,             // SubjectPublicKeyInfo
    EcPrivateKey,          // SEC 1
    Pkcs12,
};

// The name a definition uses for a shape ("x509-certificate"); empty for None.
std::string_view derShapeName(DerShape shape);
// True when `name` is the name of a shape other than None.
bool isDerShapeName(std::string_view name);

// Reads the structure at the start of `src`. It must be one SEQUENCE that
// ends exactly where the file ends, and every level walked must tile its
// parent: random or truncated binary data that happens to open with 0x30
// fails. Lengths may be indefinite (BER, as streaming signers write them).
// Bounded: at most kDerMaxDepth levels and kDerMaxElements element headers read,
// never a byte outside the file.
DerShape readDerShape(ByteSource& src);

inline constexpr int kDerMaxDepth = 32;
inline constexpr int kDerMaxElements = 20000;

} // namespace gv::vonk
