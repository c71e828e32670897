// Appending to growable byte strings. std::string keeps a zero byte behind
// its last byte, so its data can go straight to the C library.
#ifndef TRACEWRIGHT_PLATFORM_STR_H_
#define TRACEWRIGHT_PLATFORM_STR_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// Appends what the C library's vsnprintf makes of the format.
void str_append_printf(std::string* s, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

/// Appends what stb_sprintf makes of the format; its number formatting
/// (floating point in particular) differs from the C library's.
void str_append_stbsp(std::string* s, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

/// Appends each byte as two upper-case hex digits, one blank between bytes,
/// none after the last. Then drops one byte from the end, so with n == 0 the
/// string loses its last byte (the blank that every line format ends with);
/// an empty string stays empty.
/// @code
///   "d 3 " + {00, 0F, A0} => "d 3 00 0F A0"      "d 0 " + {} => "d 0"
/// @endcode
void str_append_hex(std::string* s, const uint8_t* bytes, size_t n);

/// A lower-cased copy of a UTF-8 text: ASCII through the C locale's tolower,
/// other code points of the Basic Multilingual Plane through the Unicode 14.0
/// simple lower-case mapping of upper-case letters (category Lu only: title
/// case letters, Roman numerals and circled letters keep their value; so do
/// code points above U+FFFF). Bytes that do not form well-formed UTF-8 (a
/// stray continuation byte, an overlong form, a surrogate, a sequence cut
/// short by the end) are copied through unchanged, one byte at a time; the
/// text is never read past its end.
/// @code
///   "TXT" => "txt"   "ÀÉ" => "àé"   "Ⱥ" (2 bytes) => "ⱥ" (3 bytes)
///   "İ" => "i"       "Ⅻ" => "Ⅻ"     "\xC3" => "\xC3"   "" => ""
/// @endcode
std::string utf8_to_lower(std::string_view text);

#endif  // TRACEWRIGHT_PLATFORM_STR_H_
