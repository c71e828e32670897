// The settings the conversion side reads. Defined here (not with the command
// line) because the plug-in, the pipeline and the walk all read them.
#ifndef TRACEWRIGHT_CONVERT_CONVERSION_OPTIONS_H_
#define TRACEWRIGHT_CONVERT_CONVERSION_OPTIONS_H_

#include <cstdint>

struct ConversionOptions {
  bool delete_converted;  ///< remove each input after a successful conversion
  bool no_append_root;    ///< top-level folders keep their name on the output side
  bool non_interactive;   ///< no progress output, even on a terminal
  int64_t buffer_size;    ///< read buffer: 0 none, negative the whole file
};

#endif  // TRACEWRIGHT_CONVERT_CONVERSION_OPTIONS_H_
