// The settings the conversion side reads. Defined here (not with the command
// line) because the plug-in, the pipeline and the walk all read them.
#ifndef TRACEWRIGHT_CONVERT_CONVERSION_OPTIONS_H_
#define TRACEWRIGHT_CONVERT_CONVERSION_OPTIONS_H_

#include <cstdint>

/// Bits of ConversionOptions::formats: the traces each log becomes.
constexpr uint8_t FORMAT_ASC = 0x01;  ///< <stem>.asc and <stem>_LIN.asc
constexpr uint8_t FORMAT_BLF = 0x02;  ///< <stem>.blf
constexpr uint8_t FORMAT_LOG = 0x04;  ///< <stem>.log, a candump log

/// Most logs converted at once: more would only share the same cores and
/// disks, each conversion with its own memory.
constexpr uint32_t MAX_JOBS = 64;

struct ConversionOptions {
  bool delete_converted;  ///< remove each input after a successful conversion
  bool no_append_root;    ///< top-level folders keep their name on the output side
  bool non_interactive;   ///< no progress output, even on a terminal
  int64_t buffer_size;    ///< read buffer: 0 none, negative the whole file
  uint8_t formats;        ///< FORMAT_* bits; 0 stands for FORMAT_ASC alone
  uint32_t jobs;          ///< logs converted at once; 0 stands for 1
};

#endif  // TRACEWRIGHT_CONVERT_CONVERSION_OPTIONS_H_
