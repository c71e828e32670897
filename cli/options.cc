// Placeholder until the option table lands.
#include "cli/options.h"

bool parse_command_line(ConverterConfig*, int, char**, int*) { return false; }
