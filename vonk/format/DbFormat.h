// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// On-disk layout of VonkDefs.vkd. Every record has a fixed size and is read
// with memcpy, so the file needs no alignment; all integers are little-endian.
//
//   Header (72 bytes)
//   body: DefRecord[defCount] NodeRecord[nodeCount] AnchorRecord[anchorCount]
//         LiteralRecord[literalCount] uint32_t always[alwaysCount] pool[poolSize]
//         [text model: the rest of the body, see TextModelHeader]
//
// The checksum (vonk/base/Checksum.h) of the header (with its checksum field zeroed) and the body is
// kept in the header; every offset and index in the
// body is checked against its section when the file is loaded.

#include <bit>
#include <cstddef>
#include <cstdint>

namespace gv::vonk::db {

static_assert(std::endian::native == std::endian::little, "the database is read in place as little-endian");

inline constexpr char kMagic[8] = {'V', 'O', 'N', 'K', 'D', 'E', 'F', 'S'};
// Raised whenever the layout or the meaning of a field changes; a file of
// another version is refused, never half-read. 4: kDefImported. 5: the
// imported sources in the header, and rules that walk TIFF directories,
// ASN.1 structures, media headers and boxes, ZIP members and the OLE2
// CompObj stream, byte sequences, DefRecord::puid, the
// text model section; 6: the XXH3 checksum.
inline constexpr std::uint32_t kVersion = 6;
inline constexpr std::uint32_t kNoParent = 0xFFFFFFFFu;

// Limits shared by the compiler (rejects sources beyond them) and the loader
// (rejects files beyond them), so a crafted file cannot make the matcher do
// unbounded work.
inline constexpr std::uint32_t kMaxCount = 1u << 22;
inline constexpr std::uint32_t kMaxPool = 1u << 28;
inline constexpr std::uint32_t kMaxPatternLength = 4096;
inline constexpr std::uint32_t kMaxNesting = 32;
inline constexpr std::uint32_t kHeadSize = 65536;
inline constexpr std::int64_t kMaxWithinSpan = 1 << 20;
inline constexpr std::int64_t kMaxOffset = std::int64_t{1} << 40;
inline constexpr std::uint64_t kMaxSome = 64;

enum class NodeKind : std::uint8_t {
    All = 1,
    Any,
    Not,
    AtPattern,
    AtNumber,
    Within,
    Head,
    Tail,
    Size,
    ZipHas,
    ZipFirst,
    OleHas,
    Text,
    XmlRoot,
    Json,
    Shebang,
    Delimited,
    KeyValue,
    Some, // block: at least `value` of its rules hold; their evidence adds up
    OleClsid, // `a`: the root storage's class id, written "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX"
    EbmlDocType, // `a`: the DocType an EBML header names
    TiffTag, // `off`: a tag of the TIFF directories; `to` 1: its first value is `value`; `a`: its text starts so
    DerShape, // `a`: the shape of the ASN.1 structure that fills the file
    AfterTags, // block: its rules read the file as if it began after its leading ID3v2/APE tags
    BmffBrand, // `a`: a brand the ISO media file-type box names, major or compatible
    BmffMajor, // `a`: the file-type box's major brand
    BmffBox, // `a`: the type of one of the first top-level boxes
    SizeByCount, // the size is `to` plus `value` times the number (`num`) at `off`
    ZipContentType, // `a`: the content type a ZIP package declares for its main part
    ZipText, // `a`: a ZIP member's name, `b`: text its content holds
    OleCompObj, // `a`: how an OLE2 CompObj stream's strings start
    // `a`: a compiled byte sequence (SequenceProgram.h); `flags`: its
    // seq::Reference (from the start, from the end, anywhere in the head).
    Sequence,
};
inline constexpr std::uint8_t kLastNodeKind = static_cast<std::uint8_t>(NodeKind::Sequence);

enum class CmpOp : std::uint8_t { Eq, Ne, Lt, Gt, Le, Ge };
inline constexpr std::uint8_t kLastCmpOp = static_cast<std::uint8_t>(CmpOp::Ge);

enum class NumKind : std::uint8_t { U8, Le16, Be16, Le32, Be32, Le64, Be64 };
inline constexpr std::uint8_t kLastNumKind = static_cast<std::uint8_t>(NumKind::Be64);

// Bytes a number of this kind takes in the file.
inline constexpr int NumKindWidth(NumKind k)
{
    switch (k) {
    case NumKind::U8: return 1;
    case NumKind::Le16:
    case NumKind::Be16: return 2;
    case NumKind::Le32:
    case NumKind::Be32: return 4;
    default: return 8;
    }
}

// Value of one hexadecimal digit, -1 for any other character.
inline constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

enum class TextKind : std::uint8_t { Any, Ascii, Utf8, Utf16, Utf32 };
inline constexpr std::uint8_t kLastTextKind = static_cast<std::uint8_t>(TextKind::Utf32);

// Where a literal trigger is searched.
// Where a literal is looked for: in the head, in the tail, or (XmlRoot) it
// is the exact local name of the text's root element.
enum class Zone : std::uint8_t { Head, Tail, XmlRoot };

struct StrRef {
    std::uint32_t off;
    std::uint32_t len;
};

struct Header {
    char magic[8];
    std::uint32_t version;
    std::uint32_t headerSize;
    std::uint32_t defCount;
    std::uint32_t nodeCount;
    std::uint32_t anchorCount;
    std::uint32_t literalCount;
    std::uint32_t alwaysCount;
    std::uint32_t poolSize;
    std::uint64_t bodySize;
    std::uint32_t bodyHash; // checksum32() of header (this field zeroed), then body
    std::uint32_t flags; // kHeader* bits
    std::uint64_t buildTime;
    // The other projects' data the database imported, one "NAME\tVERSION"
    // line each, in the pool; empty when nothing was imported.
    StrRef sources;
};
static_assert(sizeof(Header) == 72);

struct DefRecord {
    StrRef id;
    StrRef desc;
    StrRef ext;      // space-separated, "-" when none
    StrRef mime;     // space-separated
    StrRef category;
    StrRef source;   // "file.vdef:line"
    StrRef puid;     // PRONOM identifiers, space-separated; empty when none
    std::uint32_t parent;
    std::int32_t weight;
    std::uint32_t root;  // an All node
    std::uint16_t depth; // number of ancestors through parent
    std::uint16_t flags; // kDef* bits
};
static_assert(sizeof(DefRecord) == 72);

// A type told by habits rather than by a required marker (source code
// without a shebang): it outranks plain text only with high confidence.
inline constexpr std::uint16_t kDefNeedsHigh = 1;
// A negative weight that discounts the evidence itself (short, generic
// imported magic), so confidence is judged after it too.
inline constexpr std::uint16_t kDefDamped = 2;
// Taken from another project's data (shared-mime-info) rather than from our
// sources: listed, counted and reported as such.
inline constexpr std::uint16_t kDefImported = 4;
// Known only by a name pattern (imported without a content rule): never a
// candidate by content; the matcher may name it from the file's extension
// when one of its ancestors is the content answer.
inline constexpr std::uint16_t kDefNameOnly = 8;
// Its evidence is another registry's byte signature (PRONOM): it ranks below
// any of our own definitions that holds with at least medium confidence,
// other than plain text and its own ancestors.
inline constexpr std::uint16_t kDefYields = 16;
inline constexpr std::uint16_t kDefKnownFlags = kDefNeedsHigh | kDefDamped | kDefImported | kDefNameOnly | kDefYields;
// With kHeaderRuleTraits, the bits above kDefKnownFlags are what the
// definition's rules hold (RuleTraits.h), shifted by this much.
inline constexpr int kDefTraitShift = 5;
inline constexpr std::uint16_t kDefTraitFlags = 0x1F << kDefTraitShift;
static_assert((kDefKnownFlags & kDefTraitFlags) == 0 && kDefKnownFlags < (1 << kDefTraitShift));

// Header::flags. kHeaderRuleTraits: every definition's flags carry its
// rules' traits. A file without it is still read (the loader derives
// them); a reader that does not know a bit refuses the file.
inline constexpr std::uint32_t kHeaderRuleTraits = 1;
inline constexpr std::uint32_t kHeaderKnownFlags = kHeaderRuleTraits;

// One rule. Patterns keep their bytes in `a` and their per-byte masks in
// `b` (same length); string rules keep their first string in `a` and an
// optional second one (namespace, content) in `b`. `src` is the rule's
// source text, shown in verbose reports.
struct NodeRecord {
    std::uint8_t kind;
    std::uint8_t op;
    std::uint8_t num;
    std::uint8_t flags;
    std::uint32_t evidence;
    StrRef a;
    StrRef b;
    StrRef src;
    std::uint32_t first; // children occupy [first, first + count), all after this node
    std::uint32_t count;
    std::int64_t off;    // offset, FROM, or N
    std::int64_t to;     // TO for within
    std::uint64_t value;
    std::uint64_t mask;
};
static_assert(sizeof(NodeRecord) == 72);

// A definition is a candidate when the `len` (1 to 4) bytes at `offset`
// (negative: from the end), read first byte lowest, equal `key`. Sorted by
// (offset, len, key).
struct AnchorRecord {
    std::int64_t offset;
    std::uint32_t def;
    std::uint32_t key;
    std::uint8_t len;
    std::uint8_t pad[7];
};
static_assert(sizeof(AnchorRecord) == 24);

// A definition is a candidate when the lower-cased literal occurs in the
// first (Head) or last (Tail) `extent` bytes; in the head, starting no
// earlier than `from` (0 in databases that predate it). With kLiteralNeedsText in
// `flags` the definition can only match text, so the search is skipped for
// binary files.
inline constexpr std::uint8_t kLiteralNeedsText = 1;
struct LiteralRecord {
    StrRef text;
    std::uint32_t def;
    std::uint32_t extent;
    std::uint8_t zone;
    std::uint8_t flags;
    std::uint16_t from;
};
static_assert(sizeof(LiteralRecord) == 20);

// The text model, when the body goes on after the pool: a linear model over
// hashed text features (vonk/match/TextTokens.h) that tells prose and text
// formats apart. Its own version moves with the tokenizer and the layout:
//   TextModelHeader, char name[classCount][kTextClassName] (NUL-padded),
//   int32_t bias[classCount], TextModelSlot slot[slotCount],
//   int8_t weight[featureCount][classCount]
// A feature's row is found by open addressing from hash & (slotCount - 1),
// one slot after another until its hash or an empty slot (hash 0).
inline constexpr char kTextModelMagic[4] = {'V', 'T', 'X', 'M'};
inline constexpr std::uint32_t kTextModelVersion = 1;
inline constexpr std::uint32_t kTextClassName = 32;
inline constexpr std::uint32_t kMaxTextClasses = 128;
inline constexpr std::uint32_t kMaxTextFeatures = 1u << 20;
inline constexpr std::uint32_t kMaxTextSlots = 1u << 22;
inline constexpr std::int32_t kMaxTextBias = 1 << 24;
inline constexpr std::uint32_t kNoTextRow = 0xFFFFFFFFu;

struct TextModelHeader {
    char magic[4];
    std::uint32_t version;
    std::uint32_t classCount;
    std::uint32_t featureCount;
    std::uint32_t slotCount; // a power of two, above featureCount
    std::uint32_t headBytes; // of the text the model was trained to read
    // Score units per nat, times 1000: a class's probability is the softmax
    // of the scores divided by this (the calibration).
    std::uint32_t unitsPerNat1000;
    std::uint32_t reserved; // 0
};
static_assert(sizeof(TextModelHeader) == 32);

struct TextModelSlot {
    std::uint32_t hash; // 0: empty
    std::uint32_t row;  // kNoTextRow when empty
};
static_assert(sizeof(TextModelSlot) == 8);

} // namespace gv::vonk::db
