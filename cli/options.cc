// The command line: builds the option table, decides between usage, version,
// the error list and a run, and fills the configuration for the run. Usage,
// version and errors all go to standard output; nothing is logged before the
// threshold has been set from the verbosity.
#include "cli/options.h"

#include "cli/argtable.h"
#include "cli/config.h"
#include "cli/format_list.h"
#include "cli/input_set.h"
#include "convert/conversion_options.h"
#include "convert/exit_status.h"
#include "log/log.h"
#include "platform/filesystem.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

// The entries, in the order in which argtable prints and checks them.
struct OptionTable {
  arg_lit* help;
  arg_lit* version;
  arg_int* verbosity;
  arg_lit* non_interactive;
  arg_lit* delete_converted;
  arg_lit* no_append_root;
  arg_int* buffer;
  arg_str* output_directory;
  arg_str* format;
  arg_int* jobs;
  arg_lit* input_files;
  arg_file* inputs;
  struct arg_end* end;  // "struct": the constructor has the same name
};

// A failed check joins argtable's error list as an entry of its own, so that
// arg_print_errors prints its line in order with argtable's messages. The
// header's error function is all that argtable reads from such an entry.
struct CheckFailures {
  arg_hdr output_directory;
  arg_hdr format;
  arg_hdr no_common_root;
  arg_hdr no_working_directory;
};

}  // namespace

constexpr int kMaxErrors = 20;

// Log threshold by verbosity 0 to 5; 5 is accepted and logs like 4.
constexpr int32_t kThresholdByVerbosity[] = {
    LOG_FATAL, LOG_ERROR, LOG_WARN, LOG_INFO, LOG_VERBOSE, LOG_VERBOSE,
};
constexpr int32_t kDefaultThreshold = LOG_ERROR;

// The parser's error codes that end the run silently. Its integer entries
// raise 3 for a value that is not a number and its end entry raises 3
// (ARG_ENOMATCH) for an argument that nothing consumed; 5 is ARG_EMISSARG.
constexpr int kParserInvalidValue = 3;
constexpr int kParserMissingValue = 5;

static void print_output_directory_error(void*, ArgErrorSink sink, int, const char* argval,
                                         const char* progname) {
  ARG_ERROR_PRINTF(sink, "%s: invalid output directory: \"%s\"\n", progname, argval);
}

static void print_format_error(void*, ArgErrorSink sink, int, const char* argval,
                               const char* progname) {
  ARG_ERROR_PRINTF(sink, "%s: invalid format \"%s\" (use asc, blf or log)\n", progname, argval);
}

static void print_no_common_root_error(void*, ArgErrorSink sink, int, const char*,
                                       const char* progname) {
  ARG_ERROR_PRINTF(sink, "%s: input file(s)/folder(s) do not share a common root directory\n",
                   progname);
}

static void print_no_working_directory_error(void*, ArgErrorSink sink, int, const char*,
                                             const char* progname) {
  ARG_ERROR_PRINTF(sink,
                   "%s: cannot read the working directory for relative input file(s)/folder(s)\n",
                   progname);
}

static void add_error(struct arg_end* end, void* parent, int code, const char* argval) {
  // The checks run on an empty list and add at most two entries, so the
  // room argtable reserved is never short; the guard only keeps it in bounds.
  if (end->count >= end->hdr.maxcount) return;
  end->error[end->count] = code;
  end->parent[end->count] = parent;
  end->argval[end->count] = argval;
  ++end->count;
}

// Runs after an error-free parse, in table order: the output directory, the
// format list, the inputs' own count check, then the input set, which needs
// at least one input. A bad format name is copied into `bad_format`, which
// outlives the printing of the list.
static void run_checks(const OptionTable& t, arg_checkfn* inputs_count_check,
                       ConverterConfig* config, CheckFailures* failures, std::string* bad_format) {
  if (t.output_directory->count == 1) {
    const char* value = t.output_directory->sval[0];
    int code = check_output_directory(value);
    if (code != 0) add_error(t.end, &failures->output_directory, code, value);
  }
  std::string_view bad;
  if (t.format->count == 1 &&
      !format_list_parse(t.format->sval[0], &config->options.formats, &bad)) {
    bad_format->assign(bad);
    add_error(t.end, &failures->format, 1, bad_format->c_str());
  }
  int count_code = inputs_count_check != nullptr ? inputs_count_check(t.inputs->hdr.parent) : 0;
  if (count_code != 0) {
    add_error(t.end, t.inputs->hdr.parent, count_code, nullptr);
    return;
  }
  if (t.inputs->count == 0) return;
  std::vector<std::string> arguments(t.inputs->filename, t.inputs->filename + t.inputs->count);
  int code = check_input_set(arguments, config);
  if (code == INPUT_SET_NO_COMMON_ROOT) {
    add_error(t.end, &failures->no_common_root, code, nullptr);
  } else if (code == INPUT_SET_NO_WORKING_DIRECTORY) {
    add_error(t.end, &failures->no_working_directory, code, nullptr);
  }
}

// The entry whose long option an argument names, as getopt_long
// resolves it: a long name as written or as an unambiguous prefix. Null for
// an unknown or ambiguous name.
static const arg_hdr* find_long_option(void** table, std::string_view name) {
  const arg_hdr* prefix_match = nullptr;
  int prefix_matches = 0;
  for (int i = 0;; ++i) {
    const arg_hdr* entry = static_cast<const arg_hdr*>(table[i]);
    if (entry->flag & ARG_TERMINATOR) break;
    if (entry->longopts == nullptr) continue;
    std::string_view longopt = entry->longopts;
    if (longopt == name) return entry;
    if (!name.empty() && longopt.starts_with(name)) {
      prefix_match = entry;
      ++prefix_matches;
    }
  }
  return prefix_matches == 1 ? prefix_match : nullptr;
}

static const arg_hdr* find_short_option(void** table, char letter) {
  for (int i = 0;; ++i) {
    const arg_hdr* entry = static_cast<const arg_hdr*>(table[i]);
    if (entry->flag & ARG_TERMINATOR) return nullptr;
    if (entry->shortopts != nullptr && strchr(entry->shortopts, letter) != nullptr) return entry;
  }
}

// Replaces each "--flag=value" (a value given to an option that takes none)
// in `args` with its own copy of a name no entry has. The parser of the older
// generation reports such an argument with odd codes that end the run
// silently; an unknown name is reported as an invalid option, in command-line
// order among the other errors, which is how the newer generation treats the
// argument itself. The values of options that take one are skipped, as the
// parser skips them: "-O --help=1" names the folder "--help=1".
static void disguise_flags_given_value(void** table, std::vector<char*>* args,
                                       std::vector<std::string>* disguises) {
  disguises->reserve(args->size());  // the copies' addresses must not move
  for (size_t i = 1; i < args->size() && (*args)[i] != nullptr; ++i) {
    std::string_view arg = (*args)[i];
    if (arg == "--") return;
    if (arg.starts_with("--")) {
      size_t equals = arg.find('=');
      const arg_hdr* entry = find_long_option(table, arg.substr(2, equals - 2));
      if (entry == nullptr) continue;
      bool takes_value = (entry->flag & ARG_HASVALUE) != 0;
      if (equals == std::string_view::npos) {
        if (takes_value) ++i;
      } else if (!takes_value) {
        disguises->emplace_back("--\x7f");
        (*args)[i] = disguises->back().data();
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      for (size_t k = 1; k < arg.size(); ++k) {
        const arg_hdr* entry = find_short_option(table, arg[k]);
        if (entry == nullptr || (entry->flag & ARG_HASVALUE) == 0) continue;
        if (k + 1 == arg.size()) ++i;  // "-O dir"; "-Odir" holds its value
        break;
      }
    }
  }
}

// Points each error about a disguised argument back at the argument as typed.
static void undisguise_errors(struct arg_end* end, const std::vector<char*>& args, char** argv) {
  for (int e = 0; e < end->count; ++e) {
    for (size_t i = 0; i < args.size(); ++i) {
      if (args[i] == end->argval[e] && args[i] != argv[i]) end->argval[e] = argv[i];
    }
  }
}

static void print_usage(void** table) {
  printf("Usage: %s", TOOL_NAME);
  arg_print_syntaxv(stdout, table, "\n\n");
  arg_print_glossary(stdout, table, "  %-40s %s\n");
}

// Workers for "-j n": 0 asks for one per online core.
static uint32_t jobs_for(int n) {
  long wanted = n > 0 ? n : sysconf(_SC_NPROCESSORS_ONLN);
  return static_cast<uint32_t>(std::clamp(wanted, 1L, static_cast<long>(MAX_JOBS)));
}

// Everything after a clean command line: threshold, options and the two
// filesystems. False with the status set when a filesystem cannot be had.
static bool configure_run(const OptionTable& t, ConverterConfig* config, int* status) {
  log_set_output_level(t.verbosity->count > 0 ? kThresholdByVerbosity[t.verbosity->ival[0]]
                                              : kDefaultThreshold);

  config->options.delete_converted = t.delete_converted->count > 0;
  config->options.no_append_root = t.no_append_root->count > 0;
  config->options.non_interactive = t.non_interactive->count > 0;
  config->options.buffer_size = t.buffer->count > 0 ? static_cast<int64_t>(t.buffer->ival[0]) : -1;
  if (t.output_directory->count > 0) config->output_directory = t.output_directory->sval[0];
  if (t.format->count == 0) config->options.formats = FORMAT_ASC;
  config->options.jobs = t.jobs->count > 0 ? jobs_for(t.jobs->ival[0]) : 1;

  // The common root is only a textual parent: it may not exist at all, as
  // for a file in a missing folder. Nothing can be converted then, which is
  // a missing input, not a success.
  config->input_fs = filesystem_create(config->input_root);
  if (config->input_fs == nullptr) {
    LOG(LOG_ERROR, "Could not open input folder \"%s\"", config->input_root.c_str());
    *status = STATUS_NOT_FOUND;
    return false;
  }
  if (config->output_directory.empty()) {
    config->output_fs = config->input_fs;
    return true;
  }
  // The check proved this folder a moment ago; losing it since is not the
  // user's command line at fault.
  config->output_fs = filesystem_create(config->output_directory);
  if (config->output_fs == nullptr) {
    LOG(LOG_FATAL, "Could not open output folder \"%s\"", config->output_directory.c_str());
    *status = STATUS_INTERNAL_ERROR;
    return false;
  }
  return true;
}

static bool decide(const OptionTable& t, void** table, ConverterConfig* config, int argc,
                   char** argv, int* status) {
  // argtable would run the inputs' count check itself, before any check of
  // ours could follow the output-directory entry, and it cannot hand a check
  // the configuration. So every check runs in run_checks, in table order.
  arg_checkfn* inputs_count_check = t.inputs->hdr.checkfn;
  t.inputs->hdr.checkfn = nullptr;
  std::vector<char*> args(argv, argv + argc + 1);
  std::vector<std::string> disguises;
  disguise_flags_given_value(table, &args, &disguises);
  arg_parse(argc, args.data(), table);
  undisguise_errors(t.end, args, argv);

  if (t.help->count > 0 || argc <= 1) {
    print_usage(table);
    return false;
  }
  if (t.version->count > 0) {
    printf("Version: %s\n", TOOL_VERSION);
    *status = STATUS_OK;
    return false;
  }

  // Help and version win over any error, so the checks, which look at the
  // disk, wait until neither was asked for.
  CheckFailures failures{};
  failures.output_directory.errorfn = print_output_directory_error;
  failures.format.errorfn = print_format_error;
  failures.no_common_root.errorfn = print_no_common_root_error;
  failures.no_working_directory.errorfn = print_no_working_directory_error;
  std::string bad_format;
  if (t.end->count == 0) run_checks(t, inputs_count_check, config, &failures, &bad_format);

  if (t.end->count > 0) {
    switch (t.end->error[0]) {
      case kParserInvalidValue: *status = STATUS_INVALID_VALUE; break;
      case kParserMissingValue: *status = STATUS_MISSING_VALUE; break;
      default:
        arg_print_errors(stdout, t.end, TOOL_NAME);
        *status = STATUS_BAD_COMMAND_LINE;
        break;
    }
    return false;
  }
  if ((t.verbosity->count > 0 &&
       static_cast<unsigned>(t.verbosity->ival[0]) >= std::size(kThresholdByVerbosity)) ||
      (t.jobs->count > 0 && t.jobs->ival[0] < 0)) {
    *status = STATUS_INVALID_VALUE;
    return false;
  }
  return configure_run(t, config, status);
}

bool parse_command_line(ConverterConfig* config, int argc, char** argv, int* status) {
  OptionTable t = {
      .help = arg_lit0(nullptr, "help", "display this help and exit"),
      .version = arg_lit0("v", "version", "display tool version and exit"),
      .verbosity = arg_int0(nullptr, "verbosity", "<n>",
                            "verbosity of logging messages from 0 to 4, with 0 being fatal "
                            "messages only 4 being all messages including debug information. "
                            "defaults to 1"),
      .non_interactive = arg_lit0(nullptr, "non-interactive", "does not print any progress output"),
      .delete_converted =
          arg_lit0("d", "delete-converted", "deletes files after conversion if specified"),
      .no_append_root =
          arg_lit0("X", "no-append-root", "do not add \"_out\" when converting folders"),
      .buffer = arg_int0("b", "buffer", "<n>",
                         "buffer size in bytes. 0 disables and -1 takes entire file"),
      .output_directory =
          arg_str0("O", "output-directory", nullptr, "where to place the converted files"),
      .format = arg_str0("f", "format", "<list>",
                         "trace formats to write, a comma-separated list of asc, blf and log. "
                         "defaults to asc"),
      .jobs = arg_int0("j", "jobs", "<n>",
                       "convert up to n logs at once, 0 for one per online core. defaults to 1"),
      // The value placeholder is part of the long name: the flag takes no
      // value and exists only to document the positional inputs.
      .input_files = arg_lit0("i", "input-files=<file(s)/folder(s)>",
                              "list of input files/folders, must have common root"),
      // Every argument may be an input; argtable raises a maximum below the
      // minimum (no arguments at all) to the minimum.
      .inputs = arg_filen(nullptr, nullptr, "file(s)/folder(s)", 1, argc - 1, nullptr),
      .end = arg_end(kMaxErrors),
  };
  void* table[] = {
      t.help,
      t.version,
      t.verbosity,
      t.non_interactive,
      t.delete_converted,
      t.no_append_root,
      t.buffer,
      t.output_directory,
      t.format,
      t.jobs,
      t.input_files,
      t.inputs,
      t.end,
  };
  bool go_on = false;
  if (arg_nullcheck(table) != 0) {
    *status = STATUS_INTERNAL_ERROR;
  } else {
    go_on = decide(t, table, config, argc, argv, status);
  }
  arg_freetable(table, std::size(table));
  return go_on;
}
