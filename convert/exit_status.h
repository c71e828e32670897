// The result codes of a conversion and the process exit statuses. The
// conversion results are bits that the walk ORs together, so a script learns
// from one number both that an input was missing and that another failed.
#ifndef TRACEWRIGHT_CONVERT_EXIT_STATUS_H_
#define TRACEWRIGHT_CONVERT_EXIT_STATUS_H_

enum ExitStatus : int {
  STATUS_OK = 0,
  STATUS_NOT_FOUND = 1,           ///< bit: an input does not exist
  STATUS_CONVERSION_FAILED = 8,   ///< bit: a text log failed to convert
  STATUS_INTERNAL_ERROR = 129,    ///< a status query failed, an odd file type, no memory
  STATUS_MISSING_VALUE = 130,     ///< first command-line error: option without value
  STATUS_INVALID_VALUE = 131,     ///< bad number, unexpected argument, bad verbosity
  STATUS_BAD_COMMAND_LINE = 134,  ///< any other command-line or check error
};

#endif  // TRACEWRIGHT_CONVERT_EXIT_STATUS_H_
