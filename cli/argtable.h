// The option parser's header, whichever of its two generations the build
// found. Both share the table API and the message texts; they differ only in
// where an entry's error function writes, which ARG_ERROR_PRINTF hides.
#ifndef TRACEWRIGHT_CLI_ARGTABLE_H_
#define TRACEWRIGHT_CLI_ARGTABLE_H_

#if TRACEWRIGHT_HAVE_ARGTABLE3
#include <argtable3.h>
/// Where an entry's error function writes: argtable3 collects the text in a
/// dynamic string and prints it afterwards.
using ArgErrorSink = arg_dstr_t;
#define ARG_ERROR_PRINTF(sink, ...) arg_dstr_catf((sink), __VA_ARGS__)
#else
#include <argtable2.h>
/// Where an entry's error function writes: argtable2 hands over the stream
/// that arg_print_errors was given.
using ArgErrorSink = FILE*;
#define ARG_ERROR_PRINTF(sink, ...) fprintf((sink), __VA_ARGS__)
#endif

#endif  // TRACEWRIGHT_CLI_ARGTABLE_H_
