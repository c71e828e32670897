// The checks that turn the positional inputs into one common root folder plus
// names relative to it, and that make sure the output directory exists. The
// command line runs them after an error-free parse; the textual steps are
// exposed on their own so they can be exercised without a real disk.
#ifndef TRACEWRIGHT_CLI_INPUT_SET_H_
#define TRACEWRIGHT_CLI_INPUT_SET_H_

#include <string>
#include <string_view>
#include <vector>

struct ConverterConfig;
struct FileSystem;

/// Results of check_input_set and input_set_resolve. None of them equals the
/// parser's codes 3 or 5, so a failed check is always printed as an error.
enum InputSetResult : int {
  INPUT_SET_OK = 0,
  INPUT_SET_NO_COMMON_ROOT = 1,  ///< the arguments have different parents
  /// A relative argument was given, but the working directory could not be
  /// read, so the argument cannot be placed anywhere.
  INPUT_SET_NO_WORKING_DIRECTORY = 2,
};

/// Result of check_output_directory when the value is not an existing folder.
constexpr int OUTPUT_DIRECTORY_INVALID = 2;

/// INPUT_SET_OK when every argument, made absolute against the working
/// directory and cleaned, has the same parent folder: `config->input_root` is
/// then that folder and each argument's remaining name is appended to
/// `config->inputs`, in order, duplicates kept. On any other result the
/// configuration is untouched. Absolute arguments never need the working
/// directory, so they pass even when it cannot be read.
int check_input_set(const std::vector<std::string>& arguments, ConverterConfig* config);

/// The steps of check_input_set after the working directory was read:
/// `working_directory` (null when it could not be read) makes relative
/// arguments absolute, its root joined with "/" and the argument; only its
/// root is used, so any FileSystem record with the right root will do. On
/// INPUT_SET_OK, `*root` is replaced and the names are appended to `*names`;
/// otherwise neither is touched.
/// @code
///   working directory /home/user:
///   LOG extra.TXT    => root "/home/user"      names LOG, extra.TXT
///   /media/card/LOG/ => root "/media/card"     names LOG
///   logs\day1        => root "/home/user/logs" names day1
///   a.txt ./b.txt    => root "/home/user"      names a.txt, b.txt
///   a.txt sub/b.txt  => INPUT_SET_NO_COMMON_ROOT ("/home/user" vs "/home/user/sub")
///   ../x.txt         => root "/home"           names x.txt
///   "" or .          => root "/home"           names user
///   .. or ../        => root "/home"           names ""  (directly below "/")
///   /data            => root "/data"           names ""
/// @endcode
int input_set_resolve(const std::vector<std::string>& arguments, FileSystem* working_directory,
                      std::string* root, std::vector<std::string>* names);

/// An absolute path cleaned textually: every back-slash becomes "/", then
/// "//" becomes "/" in one left-to-right pass over non-overlapping pairs,
/// then each "." name goes and each ".." takes the name before it away (none
/// at "/"; symbolic links are not looked at), then one final "/" is dropped.
/// A path not starting with "/" keeps its "." and "..".
/// @code
///   "/a\\b" => "/a/b"   "/a//b" => "/a/b"   "/a///b" => "/a//b"
///   "/a////b" => "/a//b"   "/a/" => "/a"   "/" => ""   "" => ""
///   "/h/./x" => "/h/x"   "/h/u/../x" => "/h/x"   "/h/.." => ""   "/.." => ""
/// @endcode
std::string input_path_clean(std::string_view path);

/// The parent of a cleaned path: everything before its last "/" at index 1
/// or later; the whole path when there is none. A view into `path`.
/// @code
///   "/home/user/a.txt" => "/home/user"   "/data" => "/data"   "" => ""
///   "/home/user/./b" => "/home/user/."   "//x" => "/"
/// @endcode
std::string_view input_path_parent(std::string_view path);

/// Checks the value of "-O", which the caller passes only when the option was
/// given once: 0 when it names an existing folder (relative values against
/// the working directory, as typed; nothing is created), else
/// OUTPUT_DIRECTORY_INVALID. An empty value is not a folder.
int check_output_directory(std::string_view output_directory);

/// Appends the working directory (as getcwd reports it, at most 2048 bytes)
/// to `out`; false, with `out` untouched, when it cannot be read.
bool current_directory(std::string* out);

#endif  // TRACEWRIGHT_CLI_INPUT_SET_H_
