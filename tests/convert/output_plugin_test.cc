// The plug-in host: binding a plug-in to its filesystems and options, the
// optional init step, and release through the destroy slot.
#include "convert/output_plugin.h"

#include "convert/conversion_options.h"
#include "platform/filesystem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <type_traits>

namespace {

/// A plug-in record that reports its callbacks into counters the test owns,
/// since destroy frees the record itself.
struct CountingPlugin : OutputPlugin {
  int* init_calls;
  int* destroy_calls;
  bool init_result;
  bool bound_before_init;  ///< whether init saw the stored filesystems
};

}  // namespace

static_assert(std::is_trivial_v<CountingPlugin>);

static bool counting_init(OutputPlugin* plugin) {
  auto* self = static_cast<CountingPlugin*>(plugin);
  ++*self->init_calls;
  self->bound_before_init = plugin->input_fs != nullptr && plugin->output_fs != nullptr &&
                            plugin->options != nullptr;
  return self->init_result;
}

static void counting_destroy(OutputPlugin* plugin) {
  ++*static_cast<CountingPlugin*>(plugin)->destroy_calls;
}

static bool ignore_record(OutputPlugin*, const BusMessage*) { return true; }

static const OutputPluginOps kCountingOps = {
    .destroy = counting_destroy,
    .init = counting_init,
    .handle_record = ignore_record,
    .new_file = nullptr,  // the host never calls the per-file slots
    .end_file = nullptr,
};

static const OutputPluginOps kBareOps = {
    .destroy = nullptr,  // nothing to release
    .init = nullptr,     // binding alone suffices
    .handle_record = ignore_record,
    .new_file = nullptr,
    .end_file = nullptr,
};

static CountingPlugin* make_plugin(const OutputPluginOps* ops, int* init_calls,
                                   int* destroy_calls) {
  auto* plugin = static_cast<CountingPlugin*>(calloc(1, sizeof(CountingPlugin)));
  plugin->ops = ops;
  plugin->init_calls = init_calls;
  plugin->destroy_calls = destroy_calls;
  return plugin;
}

TEST(OutputPluginInit, AnyNullArgumentFailsAndChangesNothing) {
  FileSystem input{&kFileSystemBaseOps, "in"};
  FileSystem output{&kFileSystemBaseOps, "out"};
  ConversionOptions options{};
  int init_calls = 0;
  int destroy_calls = 0;
  OutputPluginPtr holder(make_plugin(&kCountingOps, &init_calls, &destroy_calls));
  auto* plugin = static_cast<CountingPlugin*>(holder.get());
  plugin->init_result = true;

  EXPECT_FALSE(output_plugin_init(nullptr, &input, &output, &options));
  EXPECT_FALSE(output_plugin_init(plugin, nullptr, &output, &options));
  EXPECT_FALSE(output_plugin_init(plugin, &input, nullptr, &options));
  EXPECT_FALSE(output_plugin_init(plugin, &input, &output, nullptr));
  EXPECT_EQ(plugin->input_fs, nullptr);
  EXPECT_EQ(plugin->output_fs, nullptr);
  EXPECT_EQ(plugin->options, nullptr);
  EXPECT_EQ(init_calls, 0);
}

TEST(OutputPluginInit, NullInitSlotBindsAndSucceeds) {
  FileSystem input{&kFileSystemBaseOps, "in"};
  FileSystem output{&kFileSystemBaseOps, "out"};
  ConversionOptions options{};
  int init_calls = 0;
  int destroy_calls = 0;
  OutputPluginPtr plugin(make_plugin(&kBareOps, &init_calls, &destroy_calls));
  EXPECT_TRUE(output_plugin_init(plugin.get(), &input, &output, &options));
  EXPECT_EQ(plugin->input_fs, &input);
  EXPECT_EQ(plugin->output_fs, &output);
  EXPECT_EQ(plugin->options, &options);
  EXPECT_EQ(init_calls, 0);
}

TEST(OutputPluginInit, ReturnsTheInitSlotsResultAfterBinding) {
  FileSystem fs{&kFileSystemBaseOps, "root"};
  ConversionOptions options{};
  for (bool result : {true, false}) {
    SCOPED_TRACE(result);
    int init_calls = 0;
    int destroy_calls = 0;
    OutputPluginPtr holder(make_plugin(&kCountingOps, &init_calls, &destroy_calls));
    auto* plugin = static_cast<CountingPlugin*>(holder.get());
    plugin->init_result = result;
    EXPECT_EQ(output_plugin_init(plugin, &fs, &fs, &options), result);
    EXPECT_EQ(init_calls, 1);
    EXPECT_TRUE(plugin->bound_before_init);
  }
}

TEST(OutputPluginDestroy, CallsTheDestroySlotOnceAndAcceptsNull) {
  int init_calls = 0;
  int destroy_calls = 0;
  output_plugin_destroy(make_plugin(&kCountingOps, &init_calls, &destroy_calls));
  EXPECT_EQ(destroy_calls, 1);
  output_plugin_destroy(nullptr);
  EXPECT_EQ(destroy_calls, 1);
  // A record without a destroy slot is only freed.
  output_plugin_destroy(make_plugin(&kBareOps, &init_calls, &destroy_calls));
  EXPECT_EQ(destroy_calls, 1);
  EXPECT_EQ(init_calls, 0);
}
