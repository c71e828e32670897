// Placeholder until the input-set check lands.
#include "cli/input_set.h"

int check_input_set(const std::vector<std::string>&, ConverterConfig*) { return 1; }
int check_output_directory(const std::string&) { return 2; }
bool current_directory(std::string*) { return false; }
