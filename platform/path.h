// Pure path functions. A path is a byte string with a length; "/" is the only
// separator, nothing is normalised and the disk is never consulted. The
// queries return views into their argument: they live as long as it does.
#ifndef TRACEWRIGHT_PLATFORM_PATH_H_
#define TRACEWRIGHT_PLATFORM_PATH_H_

#include <string>
#include <string_view>

/// A new string: b when a is empty, a when b is empty, otherwise a "/" b
/// (a separator is added even when a ends or b begins with one).
/// @code
///   ("", "b") => "b"     ("a", "") => "a"     ("x/", "y") => "x//y"
///   ("/", "y") => "//y"
/// @endcode
std::string path_join(std::string_view a, std::string_view b);

/// The text after the last "/"; all of p without one.
/// @code
///   "a/b/f" => "f"   "f" => "f"   "a/b/" => ""   "/" => ""   "" => ""
/// @endcode
std::string_view path_basename(std::string_view p);

/// The text after the last "." of the basename; a basename without a dot is
/// its own extension.
/// @code
///   "log.txt" => "txt"   "a.b.TXT" => "TXT"   "dir.d/log" => "log"
///   "log." => ""         ".txt" => "txt"      "a/" => ""
/// @endcode
std::string_view path_extension(std::string_view p);

/// p without its extension and the byte before it (the dot, or the "/" in
/// front of a dotless name); p itself when the extension is empty.
/// @code
///   "d/log.txt" => "d/log"   "d/a.b.txt" => "d/a.b"   "d/log." => "d/log."
///   "d/txt" => "d"           "txt" => ""              "" => ""
/// @endcode
std::string_view path_strip_extension(std::string_view p);

/// p up to and including its last "/"; empty without one.
/// @code
///   "a/b/f" => "a/b/"   "/f" => "/"   "a/b/" => "a/b/"   "f" => ""
/// @endcode
std::string_view path_dir_prefix(std::string_view p);

/// True when p is at least one byte long and starts with "/".
bool path_is_absolute(std::string_view p);

#endif  // TRACEWRIGHT_PLATFORM_PATH_H_
