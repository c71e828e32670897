// The plug-in host: binding a plug-in to the run's filesystems and options,
// and releasing it.
#include "convert/output_plugin.h"

#include <cstdlib>

bool output_plugin_init(OutputPlugin* plugin, FileSystem* input_fs, FileSystem* output_fs,
                        ConversionOptions* options) {
  if (plugin == nullptr || input_fs == nullptr || output_fs == nullptr || options == nullptr) {
    return false;
  }
  plugin->input_fs = input_fs;
  plugin->output_fs = output_fs;
  plugin->options = options;
  if (plugin->ops->init == nullptr) return true;
  return plugin->ops->init(plugin);
}

void output_plugin_destroy(OutputPlugin* plugin) {
  if (plugin == nullptr) return;
  if (plugin->ops->destroy != nullptr) plugin->ops->destroy(plugin);
  free(plugin);
}
