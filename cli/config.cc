// Creation and release of the configuration record.
#include "cli/config.h"

#include <new>

#include "platform/filesystem.h"

ConverterConfig* config_create() {
  auto* config = new (std::nothrow) ConverterConfig{};
  if (config == nullptr) return nullptr;
  config->options.buffer_size = -1;
  return config;
}

void config_destroy(ConverterConfig* config) {
  if (config == nullptr) return;
  // Without "-O" both members name one object; release it only once.
  if (config->output_fs != config->input_fs) filesystem_destroy(config->output_fs);
  filesystem_destroy(config->input_fs);
  delete config;
}
