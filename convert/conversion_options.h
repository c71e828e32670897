// The settings the conversion side reads, and the result codes it ORs into
// the process exit status. Defined here (not with the command line) because
// the plug-in, the pipeline and the walk all read them.
#ifndef TRACEWRIGHT_CONVERT_CONVERSION_OPTIONS_H_
#define TRACEWRIGHT_CONVERT_CONVERSION_OPTIONS_H_

#include <cstdint>

enum ExitStatus : int {
  STATUS_OK = 0,
  STATUS_NOT_FOUND = 1,           ///< bit: an input does not exist
  STATUS_CONVERSION_FAILED = 8,   ///< bit: a text log failed to convert
  STATUS_INTERNAL_ERROR = 129,    ///< a status query failed, an odd file type, no memory
  STATUS_MISSING_VALUE = 130,     ///< first command-line error: option without value
  STATUS_INVALID_VALUE = 131,     ///< bad number, unexpected argument, bad verbosity
  STATUS_BAD_COMMAND_LINE = 134,  ///< any other command-line or check error
};

struct ConversionOptions {
  bool delete_converted;  ///< remove each input after a successful conversion
  bool no_append_root;    ///< top-level folders keep their name on the output side
  bool non_interactive;   ///< no progress output, even on a terminal
  int64_t buffer_size;    ///< read buffer: 0 none, negative the whole file
};

#endif  // TRACEWRIGHT_CONVERT_CONVERSION_OPTIONS_H_
