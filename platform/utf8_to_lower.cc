// Placeholder until the Unicode table lands: ASCII only.
#include "platform/str.h"

#include <cctype>

std::string utf8_to_lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (static_cast<unsigned char>(c) < 128) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  }
  return lower;
}
