// Tests that do not capture the log keep standard error quiet: a threshold
// above every level. LogCapture lowers it for the tests that look.
#include "log/log.h"

static const bool kQuietByDefault = [] {
  log_set_output_level(LOG_FATAL + 1);
  return true;
}();
