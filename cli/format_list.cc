// The format list of "-f": names are matched exactly, as the man page and
// the completion list them.
#include "cli/format_list.h"

#include "convert/conversion_options.h"

bool format_list_parse(std::string_view list, uint8_t* formats, std::string_view* bad) {
  static const struct {
    std::string_view name;
    uint8_t bit;
  } kFormats[] = {{"asc", FORMAT_ASC}, {"blf", FORMAT_BLF}, {"log", FORMAT_LOG}};
  uint8_t bits = 0;
  for (;;) {
    size_t comma = list.find(',');
    std::string_view name = list.substr(0, comma);
    uint8_t bit = 0;
    for (const auto& format : kFormats) {
      if (format.name == name) bit = format.bit;
    }
    if (bit == 0) {
      *bad = name;
      return false;
    }
    bits |= bit;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  *formats = bits;
  return true;
}
