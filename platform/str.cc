// String appends used for paths, the ASC header and the ASC frame lines.
#include "platform/str.h"

#include <stb_sprintf.h>

#include <climits>
#include <cstdarg>
#include <cstdio>

void str_append_printf(std::string* s, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  int length = vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length > 0) {
    size_t old_size = s->size();
    s->resize(old_size + static_cast<size_t>(length));
    // std::string owns the byte behind its last one, so formatting with room
    // for the terminator writes nothing out of bounds.
    vsnprintf(s->data() + old_size, static_cast<size_t>(length) + 1, format, args);
  }
  va_end(args);
}

void str_append_stbsp(std::string* s, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list retry;
  va_copy(retry, args);
  size_t old_size = s->size();
  size_t spare = s->capacity() - old_size;
  if (spare > INT_MAX - 1) spare = INT_MAX - 1;  // stb_sprintf counts in int
  s->resize(old_size + spare);
  // stbsp_vsnprintf returns the full length even when it had to cut, so a
  // text that did not fit is formatted once more after growing.
  int length = stbsp_vsnprintf(s->data() + old_size, static_cast<int>(spare) + 1, format, args);
  if (length > 0 && static_cast<size_t>(length) > spare) {
    s->resize(old_size + static_cast<size_t>(length));
    stbsp_vsnprintf(s->data() + old_size, length + 1, format, retry);
  }
  s->resize(old_size + (length > 0 ? static_cast<size_t>(length) : 0));
  va_end(retry);
  va_end(args);
}

void str_append_hex(std::string* s, const uint8_t* bytes, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  size_t old_size = s->size();
  s->resize(old_size + 3 * n);
  char* out = s->data() + old_size;
  for (size_t i = 0; i < n; ++i) {
    *out++ = kDigits[bytes[i] >> 4];
    *out++ = kDigits[bytes[i] & 0x0F];
    *out++ = ' ';
  }
  if (!s->empty()) s->pop_back();
}
