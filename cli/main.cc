// The entry point: parse the command line, bind the trace writer to the run's
// filesystems, walk the inputs, and return the walk's status.
#include "cli/config.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "convert/convert_inputs.h"
#include "convert/exit_status.h"
#include "convert/output_plugin.h"
#include "convert/output_registry.h"
#include "log/log.h"
#include "output/trace_writer.h"
#include "platform/interrupt.h"

#include <vector>

#include <unistd.h>

// Converts with one trace writer per worker; fewer when memory is short.
static int convert(ConverterConfig* config, OutputRegistry* registry) {
  std::vector<OutputPluginPtr> owned;
  std::vector<OutputPlugin*> writers;
  uint32_t jobs = config->options.jobs > 0 ? config->options.jobs : 1;
  while (writers.size() < jobs) {
    OutputPlugin* writer =
        trace_writer_create(config->input_fs, config->output_fs, &config->options, registry);
    if (writer == nullptr) break;
    owned.emplace_back(writer);
    writers.push_back(writer);
  }
  if (writers.empty()) {
    LOG(LOG_FATAL, "Could not create the trace writer");
    return STATUS_INTERNAL_ERROR;
  }
  // From here on a stop by signal must not leave a partial trace behind.
  interrupt_install();
  // Progress is for a person watching a terminal; scripts and logs that
  // capture standard error get the log lines alone.
  Progress* progress = nullptr;
  if (!config->options.non_interactive && isatty(2)) {
    progress = progress_start(writers[0], config->inputs, writers.size());
  }
  int status =
      convert_inputs(writers.data(), writers.size(), config->inputs, progress_observer(progress));
  progress_finish(progress);
  return status;
}

int main(int argc, char** argv) {
  int status = STATUS_OK;
  ConverterConfig* config = config_create();
  // Without a configuration there is nothing to report through; a silent
  // success here would hide the failure from scripts.
  if (config == nullptr) return STATUS_INTERNAL_ERROR;
  if (parse_command_line(config, argc, argv, &status)) {
    // Outlives the writers, which all record their traces in it.
    OutputRegistry* registry = output_registry_create();
    status = convert(config, registry);
    output_registry_destroy(registry);
  }
  config_destroy(config);
  return status;
}
