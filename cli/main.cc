// The entry point: parse the command line, bind the trace writer to the run's
// filesystems, walk the inputs, and return the walk's status.
#include "cli/config.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "convert/convert_inputs.h"
#include "convert/exit_status.h"
#include "convert/output_plugin.h"
#include "log/log.h"
#include "output/trace_writer.h"
#include "platform/interrupt.h"

#include <unistd.h>

int main(int argc, char** argv) {
  int status = STATUS_OK;
  ConverterConfig* config = config_create();
  // Without a configuration there is nothing to report through; a silent
  // success here would hide the failure from scripts.
  if (config == nullptr) return STATUS_INTERNAL_ERROR;
  if (parse_command_line(config, argc, argv, &status)) {
    OutputPlugin* writer =
        trace_writer_create(config->input_fs, config->output_fs, &config->options);
    if (writer == nullptr) {
      LOG(LOG_FATAL, "Could not create the trace writer");
      status = STATUS_INTERNAL_ERROR;
    } else {
      // From here on a stop by signal must not leave a partial trace behind.
      interrupt_install();
      // Progress is for a person watching a terminal; scripts and logs that
      // capture standard error get the log lines alone.
      Progress* progress = nullptr;
      if (!config->options.non_interactive && isatty(2)) {
        progress = progress_start(writer, config->inputs);
      }
      status = convert_inputs(writer, config->inputs, progress_observer(progress));
      progress_finish(progress);
      output_plugin_destroy(writer);
    }
  }
  config_destroy(config);
  return status;
}
