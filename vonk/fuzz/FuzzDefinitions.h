// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Definitions that use every rule kind, for the fuzz targets.

namespace gv::vonk::fuzz {

inline constexpr const char* kSource = R"(
type png
  desc "png"
  ext png
  mime image/png
  cat image
  at 0 hex 89 50 4E 47 0D 0A 1A 0A
type zip
  desc "zip"
  ext zip
  mime application/zip
  cat archive
  any
    at 0 str "PK\x03\x04"
    tail 65536 str "PK\x05\x06"
  end
type docx
  desc "docx"
  ext docx
  mime application/x-docx
  cat document
  parent zip
  zip-has "[Content_Types].xml"
  zip-has "word/"
type epub
  desc "epub"
  ext epub
  mime application/epub+zip
  cat document
  parent zip
  zip-first "mimetype" str "application/epub+zip"
type doc
  desc "doc"
  ext doc
  mime application/msword
  cat document
  at 0 hex D0 CF 11 E0
  ole-has "WordDocument"
type svg
  desc "svg"
  ext svg
  mime image/svg+xml
  cat image
  xml-root "svg" "http://www.w3.org/2000/svg"
type json
  desc "json"
  ext json
  mime application/json
  cat text
  json
type plain
  desc "plain"
  ext txt
  mime text/x-plain
  cat text
  weight -20
  text
type csv
  desc "csv"
  ext csv
  mime text/csv
  cat text
  parent plain
  any
    delimited ","
    delimited "\t"
  end
type ini
  desc "ini"
  ext ini
  mime text/x-ini
  cat text
  parent plain
  key-value
type lang
  desc "lang"
  ext lng
  mime text/x-lang
  cat text
  parent plain
  min-confidence high
  some 2
    head 4096 str "function "
    head 4096 str "local "
    xml-root "*"
  end
  some 0
    head 4096 str "end"
  end
type sh
  desc "sh"
  ext sh
  mime text/x-shellscript
  cat text
  shebang "sh"
type text16
  desc "utf16"
  ext txt
  mime text/plain
  cat text
  text utf16
  head 4096 istr "h\0e\0"
type num
  desc "numbers"
  ext num
  mime x-test/num
  cat data
  at 0 le16 & 0xFF00 = 0x4200
  at 2 be32 >= 16
  at -8 le64 != 0
  within 4 300 hex 10&F0 ?? 7F
  not size > 100000
type tar
  desc "tar"
  ext tar
  mime application/x-tar
  cat archive
  at 257 str "ustar"
  any
    all
      at 263 str "00"
    end
    at 263 str " \0"
  end
)";

} // namespace gv::vonk::fuzz
