// The value of "-f": which trace formats each log becomes.
#ifndef TRACEWRIGHT_CLI_FORMAT_LIST_H_
#define TRACEWRIGHT_CLI_FORMAT_LIST_H_

#include <cstdint>
#include <string_view>

/// Reads a comma-separated list of "asc", "blf" and "log" into FORMAT_*
/// bits; a name given twice counts once. False, with `*bad` viewing the
/// first name that is none of them (an empty one included), otherwise.
[[nodiscard]] bool format_list_parse(std::string_view list, uint8_t* formats,
                                     std::string_view* bad);

#endif  // TRACEWRIGHT_CLI_FORMAT_LIST_H_
