// The walk: output root names, depth-first name order, the ORed status, and
// what happens with missing paths, odd file types, failed stats, links that
// lead back into the walk, and inputs that vanish or turn unreadable between
// the listing of their folder and their conversion (a card still touched by
// the logger or the user while it is read).
#include "convert/convert_inputs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "convert/conversion_options.h"
#include "convert/exit_status.h"
#include "convert/output_plugin.h"
#include "platform/filesystem.h"
#include "support/failing_filesystem.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using Strings = std::vector<std::string>;

struct WalkState {
  Strings ended;  ///< output paths in the order end_file saw them
  /// Removed (files and whole folders, relative to `root`) when the first
  /// file ends.
  Strings remove_after_first;
  std::string root;
};

struct WalkPlugin : OutputPlugin {
  WalkState* state;
};

}  // namespace

static bool walk_handle_record(OutputPlugin*, const BusMessage*) { return true; }

static bool walk_end_file(OutputPlugin* plugin, std::string_view output_path, size_t, bool) {
  WalkState* state = static_cast<WalkPlugin*>(plugin)->state;
  state->ended.emplace_back(output_path);
  if (state->ended.size() == 1) {
    for (const std::string& rel : state->remove_after_first) {
      std::filesystem::remove_all(state->root + "/" + rel);
    }
  }
  return true;
}

static const OutputPluginOps kWalkOps = {
    .destroy = nullptr,  // the state belongs to the test
    .init = nullptr,
    .handle_record = walk_handle_record,
    .new_file = nullptr,  // nothing to prepare per file
    .end_file = walk_end_file,
};

namespace {

const char kLog[] = "# Value separator: \";\"\nTimestamp;ID\n0;1\n";

/// One walk over a fresh folder. `tree` entries: "f" is a log, "f=text" a
/// file with that text, "d/" a folder, "f|" a FIFO, "l -> target" a link.
struct Walk {
  Strings tree;
  Strings inputs;
  bool no_append_root = false;
  bool delete_converted = false;
  std::set<std::string> fail_stat = {};
  std::set<std::string> fail_open = {};
  Strings remove_after_first = {};
  int status = STATUS_OK;
  Strings ended = {};
  Strings log = {};     ///< "<level letter> <message>"
  Strings exists = {};  ///< paths that must exist afterwards; "!path": must not
};

void build(const TempDir& dir, const std::string& entry) {
  size_t arrow = entry.find(" -> ");
  size_t equals = entry.find('=');
  if (arrow != std::string::npos) {
    std::string link = dir.file(entry.substr(0, arrow));
    ASSERT_EQ(symlink(entry.substr(arrow + 4).c_str(), link.c_str()), 0);
  } else if (equals != std::string::npos) {
    dir.write(entry.substr(0, equals), entry.substr(equals + 1));
  } else if (entry.back() == '/') {
    std::filesystem::create_directories(dir.file(entry));
  } else if (entry.back() == '|') {
    ASSERT_EQ(mkfifo(dir.file(entry.substr(0, entry.size() - 1)).c_str(), 0600), 0);
  } else {
    dir.write(entry, kLog);
  }
}

void expect_walk(const Walk& walk) {
  TempDir dir;
  for (const std::string& entry : walk.tree) build(dir, entry);
  FileSystemPtr fs(filesystem_create(dir.path()));
  ASSERT_NE(fs, nullptr);
  auto input_fs = failing_filesystem_create(fs.get());
  input_fs->fail_stat = walk.fail_stat;
  input_fs->fail_open = walk.fail_open;
  ConversionOptions options{};
  options.buffer_size = -1;
  options.no_append_root = walk.no_append_root;
  options.delete_converted = walk.delete_converted;
  WalkState state{{}, walk.remove_after_first, dir.path()};
  auto* plugin = static_cast<WalkPlugin*>(calloc(1, sizeof(WalkPlugin)));
  plugin->ops = &kWalkOps;
  plugin->state = &state;
  OutputPluginPtr bound(plugin);
  ASSERT_TRUE(output_plugin_init(plugin, input_fs.get(), fs.get(), &options));

  LogCapture log;
  EXPECT_EQ(convert_inputs(plugin, walk.inputs), walk.status);
  EXPECT_EQ(state.ended, walk.ended);
  Strings lines;
  for (const CapturedLine& line : log.lines()) lines.push_back(line.level + (" " + line.message));
  EXPECT_EQ(lines, walk.log);
  for (const std::string& path : walk.exists) {
    if (path[0] == '!') {
      EXPECT_FALSE(dir.exists(path.substr(1))) << path;
    } else {
      EXPECT_TRUE(dir.exists(path)) << path;
    }
  }
}

}  // namespace

TEST(ConvertInputs, OutputRootsAndOrderFollowTheRules) {
  const Walk walks[] = {
      // Folders get "_out" and are walked depth first in byte order.
      {.tree = {"LOG/b.txt", "LOG/B.txt", "LOG/a/z.txt", "LOG/.h.txt", "LOG/ab.txt", "top.TXT"},
       .inputs = {"LOG", "top.TXT"},
       .ended = {"LOG_out/.h.txt", "LOG_out/B.txt", "LOG_out/a/z.txt", "LOG_out/ab.txt",
                 "LOG_out/b.txt", "top.TXT"},
       .log = {"I ls: LOG", "I ls: LOG/a"}},
      // In a name with folders, "_out" goes in front of the first "/".
      {.tree = {"LOG/sub/x.txt"}, .inputs = {"LOG/sub"}, .ended = {"LOG_out/sub/x.txt"},
       .log = {"I ls: LOG/sub"}},
      // -X keeps the folder's name; an empty root name becomes "_out" alone.
      {.tree = {"LOG/a.txt"}, .inputs = {"LOG"}, .no_append_root = true, .ended = {"LOG/a.txt"},
       .log = {"I ls: LOG"}},
      {.tree = {"a.txt"}, .inputs = {""}, .ended = {"_out/a.txt"}, .log = {"I ls: "}},
      // The same input named twice converts twice.
      {.tree = {"a.txt"}, .inputs = {"a.txt", "a.txt"}, .ended = {"a.txt", "a.txt"}},
      // A folder without logs creates nothing.
      {.tree = {"LOG/notes.csv=x\n", "LOG/empty/"}, .inputs = {"LOG"},
       .log = {"I ls: LOG", "I ls: LOG/empty"}, .exists = {"!LOG_out"}},
      // A link back to an ancestor is skipped; one elsewhere is followed.
      {.tree = {"LOG/a.txt", "LOG/sub/b.txt", "other/c.txt", "LOG/sub/up -> ..",
                "LOG/sub/side -> ../../other"},
       .inputs = {"LOG"},
       .ended = {"LOG_out/a.txt", "LOG_out/sub/b.txt", "LOG_out/sub/side/c.txt"},
       .log = {"I ls: LOG", "I ls: LOG/sub", "I ls: LOG/sub/side",
               "W Skipping LOG/sub/up: it leads back into a folder being converted"}},
      // A second input with the same stem is refused and kept under -d.
      {.tree = {"LOG/a.TXT", "LOG/a.txt"}, .inputs = {"LOG"}, .delete_converted = true,
       .status = STATUS_CONVERSION_FAILED, .ended = {"LOG_out/a.TXT"},
       .log = {"I ls: LOG", "E Output of LOG/a.txt would overwrite that of LOG/a.TXT",
               "E Error during conversion of LOG/a.txt"},
       .exists = {"!LOG/a.TXT", "LOG/a.txt"}},
  };
  for (size_t i = 0; i < std::size(walks); ++i) {
    SCOPED_TRACE(testing::Message() << "walk " << i);
    expect_walk(walks[i]);
  }
}

TEST(ConvertInputs, FailuresAreOredAndTheWalkGoesOn) {
  const Strings abc = {"LOG/a.txt", "LOG/b.txt", "LOG/c.txt"};
  const Strings ac = {"LOG_out/a.txt", "LOG_out/c.txt"};
  const Walk walks[] = {
      {.tree = {"bad.txt=not a log\n", "good.txt"}, .inputs = {"bad.txt", "gone", "good.txt"},
       .status = STATUS_CONVERSION_FAILED | STATUS_NOT_FOUND, .ended = {"good.txt"},
       .log = {"E Could not open log", "E Error during conversion of bad.txt",
               "W Could not find input file/folder gone"}},
      // A FIFO is an internal error without message.
      {.tree = {"pipe.txt|"}, .inputs = {"pipe.txt"}, .status = STATUS_INTERNAL_ERROR},
      // A failed stat of a top-level input ends the walk; inside, it skips
      // the path.
      {.tree = {"a.txt", "b.txt"}, .inputs = {"a.txt", "b.txt", "a.txt"}, .fail_stat = {"b.txt"},
       .status = STATUS_INTERNAL_ERROR, .ended = {"a.txt"},
       .log = {"F Could not query b.txt for information"}},
      {.tree = abc, .inputs = {"LOG"}, .fail_stat = {"LOG/a.txt"}, .status = STATUS_INTERNAL_ERROR,
       .ended = {"LOG_out/b.txt", "LOG_out/c.txt"},
       .log = {"I ls: LOG", "F Error during stat of LOG/a.txt, exiting"}},
      // Inputs that vanish after the listing are missing; -d still removes
      // the others.
      {.tree = abc, .inputs = {"LOG"}, .delete_converted = true,
       .remove_after_first = {"LOG/b.txt"}, .status = STATUS_NOT_FOUND, .ended = ac,
       .log = {"I ls: LOG", "W Could not find input file/folder LOG/b.txt"},
       .exists = {"!LOG/a.txt", "!LOG/c.txt"}},
      {.tree = {"LOG/a.txt", "LOG/sub/x.txt", "LOG/c.txt"}, .inputs = {"LOG"},
       .remove_after_first = {"LOG/sub"}, .status = STATUS_NOT_FOUND, .ended = ac,
       .log = {"I ls: LOG", "W Could not find input file/folder LOG/sub"},
       .exists = {"!LOG_out/sub"}},
      // A file that cannot be opened after its stat fails alone.
      {.tree = abc, .inputs = {"LOG"}, .fail_open = {"LOG/b.txt"},
       .status = STATUS_CONVERSION_FAILED, .ended = ac,
       .log = {"I ls: LOG", "E Could not open input file LOG/b.txt",
               "E Error during conversion of LOG/b.txt"},
       .exists = {"LOG/b.txt"}},
  };
  for (size_t i = 0; i < std::size(walks); ++i) {
    SCOPED_TRACE(testing::Message() << "walk " << i);
    expect_walk(walks[i]);
  }
}
