// The plug-in host: binding a plug-in to its filesystems and options, the
// optional init step, and release through the destroy slot.
#include "convert/output_plugin.h"

#include "convert/conversion_options.h"
#include "platform/filesystem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <type_traits>

namespace {
struct CountingPlugin : OutputPlugin {
  bool init_result;
};
// Counted outside the record, since destroy frees the record itself.
int g_init_calls = 0;
int g_destroy_calls = 0;
}  // namespace

static_assert(std::is_trivial_v<CountingPlugin>);

static bool counting_init(OutputPlugin* plugin) {
  ++g_init_calls;
  // Init may rely on what it is bound to.
  EXPECT_TRUE(plugin->input_fs != nullptr && plugin->output_fs != nullptr &&
              plugin->options != nullptr);
  return static_cast<CountingPlugin*>(plugin)->init_result;
}

static void counting_destroy(OutputPlugin*) { ++g_destroy_calls; }

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

static CountingPlugin* make_plugin(const OutputPluginOps* ops, bool init_result = true) {
  auto* plugin = static_cast<CountingPlugin*>(calloc(1, sizeof(CountingPlugin)));
  plugin->ops = ops;
  plugin->init_result = init_result;
  return plugin;
}

TEST(OutputPluginInit, BindsThenAnswersWithTheInitSlotOrTrueWithoutOne) {
  FileSystem input{&kFileSystemBaseOps, "in"};
  FileSystem output{&kFileSystemBaseOps, "out"};
  ConversionOptions options{};
  const struct {
    const OutputPluginOps* ops;
    bool init_result;
    bool expected;
    int init_calls;
  } rows[] = {
      {&kCountingOps, true, true, 1},
      {&kCountingOps, false, false, 1},
      {&kBareOps, false, true, 0},
  };
  for (const auto& row : rows) {
    g_init_calls = 0;
    OutputPluginPtr plugin(make_plugin(row.ops, row.init_result));
    EXPECT_EQ(output_plugin_init(plugin.get(), &input, &output, &options), row.expected);
    EXPECT_EQ(g_init_calls, row.init_calls);
    EXPECT_EQ(plugin->input_fs, &input);
    EXPECT_EQ(plugin->output_fs, &output);
    EXPECT_EQ(plugin->options, &options);
  }

  // Any null argument fails and changes nothing.
  g_init_calls = 0;
  OutputPluginPtr plugin(make_plugin(&kCountingOps));
  EXPECT_FALSE(output_plugin_init(nullptr, &input, &output, &options));
  EXPECT_FALSE(output_plugin_init(plugin.get(), nullptr, &output, &options));
  EXPECT_FALSE(output_plugin_init(plugin.get(), &input, nullptr, &options));
  EXPECT_FALSE(output_plugin_init(plugin.get(), &input, &output, nullptr));
  EXPECT_TRUE(plugin->input_fs == nullptr && plugin->output_fs == nullptr &&
              plugin->options == nullptr);
  EXPECT_EQ(g_init_calls, 0);
}

TEST(OutputPluginDestroy, CallsTheDestroySlotOnceAndAcceptsNull) {
  g_destroy_calls = 0;
  output_plugin_destroy(make_plugin(&kCountingOps));
  output_plugin_destroy(nullptr);
  output_plugin_destroy(make_plugin(&kBareOps));  // only freed
  EXPECT_EQ(g_destroy_calls, 1);
}
