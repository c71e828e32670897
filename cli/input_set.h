// The checks that turn the positional inputs into one common root folder plus
// names relative to it, and that make sure the output directory exists.
#ifndef TRACEWRIGHT_CLI_INPUT_SET_H_
#define TRACEWRIGHT_CLI_INPUT_SET_H_

#include <string>
#include <vector>

struct ConverterConfig;

/// 0 when every argument has the same parent folder: input_root and inputs
/// of `config` are then written. 1 otherwise (the common-root message).
int check_input_set(const std::vector<std::string>& arguments, ConverterConfig* config);

/// 0 when `output_directory` is empty or names an existing folder (as typed,
/// relative to the working directory); 2 otherwise.
int check_output_directory(const std::string& output_directory);

/// The working directory (up to 2048 bytes) appended to `out`; false when
/// it cannot be read.
bool current_directory(std::string* out);

#endif  // TRACEWRIGHT_CLI_INPUT_SET_H_
