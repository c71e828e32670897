// The command line: the option table, usage, version and error output, the
// verbosity threshold, and the filling of the configuration.
#ifndef TRACEWRIGHT_CLI_OPTIONS_H_
#define TRACEWRIGHT_CLI_OPTIONS_H_

struct ConverterConfig;

/// The tool's name as printed in usage and error lines.
constexpr const char* TOOL_NAME = "tracewright";
/// The project version, handed down by the build.
constexpr const char* TOOL_VERSION = TRACEWRIGHT_VERSION;

/// Parses the command line into `config`; true when conversion should go on.
/// On false, `*status` holds the exit status: it is written only on the paths
/// that name one and otherwise keeps the caller's value.
bool parse_command_line(ConverterConfig* config, int argc, char** argv, int* status);

#endif  // TRACEWRIGHT_CLI_OPTIONS_H_
