// utf8_to_lower: the lower-cased copy of a UTF-8 text that the pipeline
// compares file extensions with. ASCII goes through tolower in the C locale;
// other code points of the Basic Multilingual Plane through a generated range
// table of the Unicode 14.0 upper-case letters.
#include "platform/str.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>

namespace {
// Code points first..last map by d = mapped_last - last; when d is 1 the row
// alternates capital and small letters and only the capitals (the parity of
// last) change.
struct LowerCaseRange {
  uint16_t first;
  uint16_t last;
  uint16_t mapped_last;
};
}  // namespace

static const LowerCaseRange kLowerCaseRanges[] = {
#include "platform/lower_case_table.inc"
};

static uint32_t lower_code_point(uint32_t cp) {
  const LowerCaseRange* end = std::end(kLowerCaseRanges);
  const LowerCaseRange* row =
      std::lower_bound(std::begin(kLowerCaseRanges), end, cp,
                       [](const LowerCaseRange& r, uint32_t value) { return r.last < value; });
  if (row == end || cp < row->first) return cp;
  int32_t d = static_cast<int32_t>(row->mapped_last) - static_cast<int32_t>(row->last);
  if (d != 1) return static_cast<uint32_t>(static_cast<int32_t>(cp) + d);
  return (cp & 1) == (row->last & 1u) ? cp + 1 : cp;
}

static bool is_continuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// Decodes one well-formed UTF-8 sequence at text[0..n): its length, with the
// code point in *cp, or 0 when the bytes are not one (a stray continuation
// byte, an overlong form, a surrogate, a value above U+10FFFF, or a sequence
// cut short by the end of the text). Never looks past text[n - 1].
static size_t decode_utf8(const uint8_t* text, size_t n, uint32_t* cp) {
  uint8_t lead = text[0];
  if (lead < 0x80) {
    *cp = lead;
    return 1;
  }
  size_t length = 0;
  uint32_t value = 0;
  uint8_t low = 0x80;   // bounds of the second byte, which rule out overlong
  uint8_t high = 0xBF;  // forms, surrogates and values above U+10FFFF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (length > n || text[1] < low || text[1] > high) return 0;
  for (size_t i = 1; i < length; ++i) {
    if (!is_continuation(text[i])) return 0;
    value = (value << 6) | (text[i] & 0x3Fu);
  }
  *cp = value;
  return length;
}

static char* encode_utf8(uint32_t cp, char* out) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

std::string utf8_to_lower(std::string_view text) {
  // The largest growth is a two-byte letter whose small form takes three
  // bytes (U+023A to U+2C65); bytes copied through keep their length. So
  // 3n/2 bytes always suffice and the loop needs no growth checks.
  std::string lower;
  lower.resize(text.size() / 2 * 3 + text.size() % 2);
  char* out = lower.data();
  const auto* in = reinterpret_cast<const uint8_t*>(text.data());
  size_t left = text.size();
  while (left > 0) {
    uint32_t cp = 0;
    size_t length = decode_utf8(in, left, &cp);
    if (length == 0) {
      // Not UTF-8: this byte goes through unchanged and decoding resumes at
      // the next one, so nothing of the input is lost or read twice.
      *out++ = static_cast<char>(*in);
      ++in;
      --left;
      continue;
    }
    if (cp < 0x80) {
      *out++ = static_cast<char>(tolower(static_cast<int>(cp)));
    } else {
      out = encode_utf8(lower_code_point(cp), out);
    }
    in += length;
    left -= length;
  }
  lower.resize(static_cast<size_t>(out - lower.data()));
  lower.shrink_to_fit();
  return lower;
}
