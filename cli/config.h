// The run's configuration: the options the conversion reads, the output
// directory as typed, the common root of the inputs with each input relative
// to it, and the two filesystems the run works through.
#ifndef TRACEWRIGHT_CLI_CONFIG_H_
#define TRACEWRIGHT_CLI_CONFIG_H_

#include <memory>
#include <string>
#include <vector>

#include "convert/conversion_options.h"

struct FileSystem;

struct ConverterConfig {
  ConversionOptions options;
  std::string output_directory;     ///< the "-O" value as typed; empty without it
  std::string input_root;           ///< absolute, cleaned textually
  std::vector<std::string> inputs;  ///< relative to input_root, command-line order
  FileSystem* input_fs;             ///< owned; rooted at input_root
  FileSystem* output_fs;            ///< owned; input_fs itself when no "-O"
};

/// A configuration with the defaults (buffer_size -1), or null when memory
/// is exhausted.
[[nodiscard]] ConverterConfig* config_create();
/// Releases the filesystems (once when they are the same object) and the
/// record; null does nothing.
void config_destroy(ConverterConfig* config);

struct ConfigDestroyer {
  void operator()(ConverterConfig* config) const { config_destroy(config); }
};
using ConfigPtr = std::unique_ptr<ConverterConfig, ConfigDestroyer>;

#endif  // TRACEWRIGHT_CLI_CONFIG_H_
