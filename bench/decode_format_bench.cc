// Micro-benchmarks of the per-frame work: each hand-written decoder and line
// builder beside its C library or stb_sprintf reference, on values as a
// logger writes them. Built with Google Benchmark; no test waits on it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "convert/bus_message.h"
#include "input/text/column_decoders.h"
#include "input/text/text_log_reader.h"
#include "output/asc/asc_lines.h"

static std::vector<std::string> logger_fields(const char* kind) {
  std::mt19937_64 rng(7);
  std::vector<std::string> fields;
  for (int i = 0; i < 1024; ++i) {
    char text[32];
    if (strcmp(kind, "id") == 0) {
      snprintf(text, sizeof text, "%X",
               static_cast<unsigned>(rng() & (rng() % 10 < 6 ? 0x7FF : 0x1FFFFFFF)));
    } else if (strcmp(kind, "data") == 0) {
      snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(rng()));
    } else {
      snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", static_cast<unsigned>(rng() % 24),
               static_cast<unsigned>(rng() % 60), static_cast<unsigned>(rng() % 60),
               static_cast<unsigned>(rng() % 1000));
    }
    fields.push_back(text);
  }
  return fields;
}

static void decode_fields(benchmark::State& state, ColumnDecoder decoder, const char* kind) {
  std::vector<std::string> fields = logger_fields(kind);
  TextLogReader reader{};
  reader.ValueSeparator = ';';
  reader.TimeFormat = 3;
  reader.TimeSeparator = ':';
  reader.TimeSeparatorMs = '.';
  strcpy(reader.HeaderTimeText, "20240315T235800");
  text_log_prepare_time_prefix(&reader);  // as text_log_open does
  BusMessage record{};
  size_t i = 0;
  for (auto _ : state) {
    bus_message_clear(&record);
    decoder(&reader, fields[i++ % fields.size()].c_str(), &record);
    benchmark::DoNotOptimize(record);
  }
}

BENCHMARK_CAPTURE(decode_fields, id, text_log_decode_id, "id");
BENCHMARK_CAPTURE(decode_fields, id_reference, text_log_decode_id_reference, "id");
BENCHMARK_CAPTURE(decode_fields, data, text_log_decode_data, "data");
BENCHMARK_CAPTURE(decode_fields, data_reference, text_log_decode_data_reference, "data");
BENCHMARK_CAPTURE(decode_fields, timestamp, text_log_decode_timestamp, "time");
BENCHMARK_CAPTURE(decode_fields, timestamp_reference, text_log_decode_timestamp_reference, "time");

static void can_line(benchmark::State& state,
                     void (*append)(std::string*, const BusMessage&, double)) {
  std::mt19937_64 rng(8);
  std::vector<BusMessage> frames(1024);
  for (size_t i = 0; i < frames.size(); ++i) {
    BusMessage& frame = frames[i];
    bus_message_clear(&frame);
    frame.Timestamp = 1710547080.0 + static_cast<double>(i) * 0.0016;
    frame.CAN.IDE = rng() % 10 < 4 ? 1 : 0;
    frame.ID = static_cast<uint32_t>(rng() & (frame.CAN.IDE != 0 ? 0x1FFFFFFF : 0x7FF));
    frame.CAN.BusChannel = 1;
    frame.CAN.DLC = 8;
    frame.DataLength = 8;
    for (int b = 0; b < 8; ++b) frame.CAN.Payload[b] = static_cast<uint8_t>(rng());
    frame.DataBytes = frame.CAN.Payload;
  }
  std::string line;
  line.reserve(256);
  size_t i = 0;
  for (auto _ : state) {
    line.clear();
    append(&line, frames[i++ % frames.size()], 1710547080.0);
    benchmark::DoNotOptimize(line.data());
  }
}

BENCHMARK_CAPTURE(can_line, fast, asc_writer_append_can_line);
BENCHMARK_CAPTURE(can_line, reference, asc_writer_append_can_line_reference);
