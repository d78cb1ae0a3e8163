// SPDX-License-Identifier: GPL-3.0-or-later
#include "vonk/match/DerStructure.h"

#include <algorithm>
#include <string>
#include <vector>

namespace gv::vonk {

namespace {

constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kBitString = 0x03;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kOid = 0x06;
constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kSet = 0x31;
constexpr std::uint8_t kContext0 = 0xA0;
constexpr std::uint8_t kContext1 = 0xA1;
constexpr std::uint8_t kContext1Primitive = 0x81;

// 1.2.840.113549.1.7 (PKCS #7 content types), then the type's number.
const std::string kPkcs7Arc("\x2A\x86\x48\x86\xF7\x0D\x01\x07", 8);
// 1.2.840.113549.1.9.16.1 (content types added by CMS).
const std::string kCmsArc("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x10\x01", 10);

// Enough children for any level this reader classifies (a PKCS #1 key has
// ten); a longer list is some other structure.
constexpr std::size_t kMaxChildren = 16;

struct Element {
    std::uint8_t tag = 0;
    std::uint64_t start = 0; // first content byte
    std::uint64_t end = 0;   // past the last content byte, before any end-of-contents marker
    std::uint64_t next = 0;  // past the whole element
    std::uint64_t length() const { return end - start; }
};

bool isTime(std::uint8_t tag)
{
    return tag == 0x17 || tag == 0x18; // UTCTime, GeneralizedTime
}

class Walker {
public:
    explicit Walker(ByteSource& src) : m_src(src), m_size(src.size()) {}

    std::uint64_t size() const { return m_size; }

    // The element at pos, which must end by limit.
    bool element(std::uint64_t pos, std::uint64_t limit, Element& e, int depth = 0)
    {
        if (depth > kDerMaxDepth || ++m_elements > kDerMaxElements || pos >= limit || limit > m_size)
            return false;
        std::uint8_t h[10];
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof h, limit - pos));
        const std::size_t got = m_src.readAt(pos, h, want);
        if (got < 2 || got != want)
            return false;
        e.tag = h[0];
        // High tag numbers occur in none of the structures told here.
        if ((e.tag & 0x1F) == 0x1F)
            return false;
        if (h[1] == 0x80) {
            // Indefinite length: only a constructed element, whose children
            // run up to an end-of-contents marker.
            if (!(e.tag & 0x20))
                return false;
            e.start = pos + 2;
            for (std::uint64_t p = e.start;;) {
                Element c;
                if (!element(p, limit, c, depth + 1))
                    return false;
                if (c.tag == 0) {
                    e.end = p;
                    e.next = c.next;
                    return true;
                }
                p = c.next;
            }
        }
        std::uint64_t len = h[1];
        std::size_t headerLen = 2;
        if (h[1] & 0x80) {
            const std::size_t n = h[1] & 0x7F;
            if (n > 8 || got < 2 + n)
                return false;
            len = 0;
            for (std::size_t k = 0; k < n; ++k)
                len = (len << 8) | h[2 + k];
            headerLen += n;
        }
        e.start = pos + headerLen;
        // Tag 0 is reserved for the end-of-contents marker, which is empty.
        if (len > limit - e.start || (e.tag == 0 && len != 0))
            return false;
        e.end = e.next = e.start + len;
        return true;
    }

    // The children of a constructed element; they must fill it exactly.
    bool children(const Element& parent, std::vector<Element>& out)
    {
        out.clear();
        if (!(parent.tag & 0x20))
            return false;
        for (std::uint64_t p = parent.start; p < parent.end;) {
            Element c;
            if (out.size() == kMaxChildren || !element(p, parent.end, c) || c.tag == 0)
                return false;
            out.push_back(c);
            p = c.next;
        }
        return true;
    }

    std::string content(const Element& e, std::size_t max)
    {
        if (e.length() > max)
            return {};
        std::string s(static_cast<std::size_t>(e.length()), '\0');
        if (m_src.readAt(e.start, reinterpret_cast<std::uint8_t*>(s.data()), s.size()) != s.size())
            return {};
        return s;
    }

    // A non-negative INTEGER of at most eight bytes.
    bool smallInteger(const Element& e, std::uint64_t& value)
    {
        if (e.tag != kInteger || e.length() == 0 || e.length() > 8)
            return false;
        const std::string s = content(e, 8);
        if (s.empty() || (static_cast<std::uint8_t>(s[0]) & 0x80))
            return false;
        value = 0;
        for (char c : s)
            value = (value << 8) | static_cast<std::uint8_t>(c);
        return true;
    }

    bool isInteger(const Element& e, std::uint64_t value)
    {
        std::uint64_t v = 0;
        return smallInteger(e, v) && v == value;
    }

    // An AlgorithmIdentifier: a SEQUENCE that opens with an object identifier.
    bool isAlgorithm(const Element& e)
    {
        Element c;
        return e.tag == kSequence && element(e.start, e.end, c) && c.tag == kOid && c.length() > 0;
    }

    // A Name: a SEQUENCE of SETs (possibly empty).
    bool isName(const Element& e)
    {
        Element c;
        return e.tag == kSequence && (e.length() == 0 || (element(e.start, e.end, c) && c.tag == kSet));
    }

private:
    ByteSource& m_src;
    std::uint64_t m_size;
    int m_elements = 0;
};

// tbsCertificate, TBSCertList or CertificationRequestInfo, told apart by
// the order of their first fields.
DerShape signedBody(Walker& w, const Element& body)
{
    std::vector<Element> f;
    if (!w.children(body, f) || f.size() < 3)
        return DerShape::None;
    // An explicit version is written only by certificates.
    const bool versioned = f[0].tag == kContext0;
    std::size_t i = versioned ? 1 : 0;
    const bool leadingInteger = f[i].tag == kInteger;
    if (leadingInteger)
        ++i;
    else if (versioned)
        return DerShape::None;
    if (i + 2 < f.size() && w.isAlgorithm(f[i]) && w.isName(f[i + 1])) {
        // serial (or a list's version), signature algorithm, issuer, then a
        // certificate's validity, subject and key, or a list's thisUpdate.
        const Element& after = f[i + 2];
        if (leadingInteger && after.tag == kSequence && i + 4 < f.size()) {
            std::vector<Element> validity;
            if (w.children(after, validity) && validity.size() == 2 && isTime(validity[0].tag) && isTime(validity[1].tag))
                return DerShape::Certificate;
            return DerShape::None;
        }
        if (!versioned && isTime(after.tag) && (!leadingInteger || w.isInteger(f[0], 1)))
            return DerShape::Crl;
        return DerShape::None;
    }
    // version 0, subject, subjectPKInfo, [0] attributes.
    if (!versioned && w.isInteger(f[0], 0) && f.size() == 4 && w.isName(f[1])
        && f[3].tag == kContext0) {
        std::vector<Element> key;
        if (w.children(f[2], key) && key.size() == 2 && w.isAlgorithm(key[0]) && key[1].tag == kBitString)
            return DerShape::CertificationRequest;
    }
    return DerShape::None;
}

// SignedData: version, digest algorithms, encapsulated content, optional
// certificates [0] and lists [1], signer infos.
DerShape signedData(Walker& w, const Element& sd)
{
    std::vector<Element> f;
    if (!w.children(sd, f) || f.size() < 4 || f.size() > 6 || f[0].tag != kInteger || f[1].tag != kSet
        || f[2].tag != kSequence || f.back().tag != kSet)
        return DerShape::None;
    std::vector<Element> encap;
    if (!w.children(f[2], encap) || encap.empty() || encap.size() > 2 || encap[0].tag != kOid)
        return DerShape::None;
    for (std::size_t k = 3; k + 1 < f.size(); ++k) {
        if (f[k].tag != kContext0 && f[k].tag != kContext1)
            return DerShape::None;
    }
    if (f.back().length() == 0)
        return DerShape::Pkcs7Certificates;
    return encap.size() == 2 ? DerShape::Pkcs7SignedData : DerShape::Pkcs7Signature;
}

// ContentInfo: content type, then [0] the content.
DerShape contentInfo(Walker& w, const std::vector<Element>& f)
{
    if (f.size() != 2 || f[0].tag != kOid || f[1].tag != kContext0)
        return DerShape::None;
    const std::string oid = w.content(f[0], 16);
    std::vector<Element> wrapped;
    if (!w.children(f[1], wrapped) || wrapped.size() != 1)
        return DerShape::None;
    if (oid.size() == kPkcs7Arc.size() + 1 && oid.starts_with(kPkcs7Arc)) {
        switch (oid.back()) {
        case 2: return wrapped[0].tag == kSequence ? signedData(w, wrapped[0]) : DerShape::None;
        case 3: {
            std::vector<Element> env;
            if (wrapped[0].tag == kSequence && w.children(wrapped[0], env) && env.size() >= 3 && env[0].tag == kInteger)
                return DerShape::Pkcs7EnvelopedData;
            return DerShape::None;
        }
        case 1: case 4: case 5: case 6: return DerShape::Pkcs7Other;
        default: return DerShape::None;
        }
    }
    if (oid.size() == kCmsArc.size() + 1 && oid.starts_with(kCmsArc))
        return DerShape::Pkcs7Other;
    return DerShape::None;
}

DerShape classify(Walker& w, const Element& outer)
{
    std::vector<Element> f;
    if (outer.tag != kSequence || !w.children(outer, f) || f.empty())
        return DerShape::None;
    if (f[0].tag == kOid)
        return contentInfo(w, f);
    const auto count = f.size();
    if (count == 3 && f[0].tag == kSequence && w.isAlgorithm(f[1]) && f[2].tag == kBitString)
        return signedBody(w, f[0]);
    if (count == 2 && w.isAlgorithm(f[0])) {
        if (f[1].tag == kBitString)
            return DerShape::PublicKey;
        if (f[1].tag == kOctetString)
            return DerShape::Pkcs8EncryptedKey;
        return DerShape::None;
    }
    std::uint64_t version = 0;
    if (!w.smallInteger(f[0], version)) {
        // RSAPublicKey: a modulus of at least 512 bits, a short exponent (two
        // INTEGERs of the sizes of a signature's r and s are not a key).
        std::uint64_t e = 0;
        if (count == 2 && f[0].tag == kInteger && f[0].length() >= 64 && w.smallInteger(f[1], e) && f[1].length() <= 4)
            return DerShape::RsaPublicKey;
        return DerShape::None;
    }
    // PFX: version 3, the authenticated safe as data or signed data, a MAC.
    if (version == 3 && (count == 2 || count == 3) && f[1].tag == kSequence && (count == 2 || f[2].tag == kSequence)) {
        std::vector<Element> safe;
        if (w.children(f[1], safe) && safe.size() == 2 && safe[0].tag == kOid) {
            const std::string oid = w.content(safe[0], 16);
            if (oid == kPkcs7Arc + '\x01' || oid == kPkcs7Arc + '\x02')
                return DerShape::Pkcs12;
        }
        return DerShape::None;
    }
    // PrivateKeyInfo (version 0) or OneAsymmetricKey (version 1): algorithm,
    // the key in an OCTET STRING, optional attributes [0] and public key [1].
    if (version <= 1 && count >= 3 && count <= 5 && w.isAlgorithm(f[1]) && f[2].tag == kOctetString) {
        const bool tail = count == 3 || (count == 4 && (f[3].tag == kContext0 || f[3].tag == kContext1Primitive))
            || (count == 5 && f[3].tag == kContext0 && f[4].tag == kContext1Primitive);
        if (!tail)
            return DerShape::None;
        return DerShape::Pkcs8PrivateKey;
    }
    // RSAPrivateKey: version, then eight INTEGERs (n e d p q dP dQ qInv);
    // version 1 adds the other primes.
    if (version <= 1 && (count == 9 || (version == 1 && count == 10 && f[9].tag == kSequence))) {
        for (std::size_t k = 1; k < 9; ++k) {
            if (f[k].tag != kInteger || f[k].length() == 0)
                return DerShape::None;
        }
        return DerShape::RsaPrivateKey;
    }
    // ECPrivateKey: version 1, the key, optional [0] parameters, [1] public key.
    if (version == 1 && count >= 2 && count <= 4 && f[1].tag == kOctetString) {
        const bool tail = count == 2 || (count == 3 && (f[2].tag == kContext0 || f[2].tag == kContext1))
            || (count == 4 && f[2].tag == kContext0 && f[3].tag == kContext1);
        if (!tail)
            return DerShape::None;
        return DerShape::EcPrivateKey;
    }
    return DerShape::None;
}

struct ShapeName {
    DerShape shape;
    std::string_view name;
};
constexpr ShapeName kNames[] = {
    {DerShape::Certificate, "x509-certificate"},
    {DerShape::Crl, "x509-crl"},
    {DerShape::CertificationRequest, "pkcs10-request"},
    {DerShape::Pkcs7Signature, "pkcs7-signature"},
    {DerShape::Pkcs7SignedData, "pkcs7-signed-data"},
    {DerShape::Pkcs7Certificates, "pkcs7-certificates"},
    {DerShape::Pkcs7EnvelopedData, "pkcs7-enveloped-data"},
    {DerShape::Pkcs7Other, "pkcs7-other"},
    {DerShape::Pkcs8PrivateKey, "pkcs8-private-key"},
    {DerShape::Pkcs8EncryptedKey, "pkcs8-encrypted-private-key"},
    {DerShape::RsaPrivateKey, "pkcs1-rsa-private-key"},
    {DerShape::RsaPublicKey, "pkcs1-rsa-public-key"},
    {DerShape::PublicKey, "public-key"},
    {DerShape::EcPrivateKey, "ec-private-key"},
    {DerShape::Pkcs12, "pkcs12"},
};

} // namespace

std::string_view derShapeName(DerShape shape)
{
    for (const auto& n : kNames) {
        if (n.shape == shape)
            return n.name;
    }
    return {};
}

bool isDerShapeName(std::string_view name)
{
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const ShapeName& n) { return n.name == name; });
}

DerShape readDerShape(ByteSource& src)
{
    Walker w(src);
    Element outer;
    // One structure, and nothing after it.
    if (w.size() < 2 || !w.element(0, w.size(), outer) || outer.next != w.size())
        return DerShape::None;
    return classify(w, outer);
}

} // namespace gv::vonk
