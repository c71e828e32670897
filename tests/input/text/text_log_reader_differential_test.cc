// The reader's fast paths against its reference paths over generated logs:
// lines scanned in a lent buffer against 199 one-byte reads, and whole logs
// decoded with the hand-written decoders against the C library's. Lines,
// stream positions and records must agree byte for byte.
#include "input/text/text_log_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "convert/bus_message.h"
#include "input/text/column_decoders.h"
#include "platform/stream.h"
#include "support/differential.h"
#include "support/memory_stream.h"

namespace {

/// Binds the reference decoders for the life of the object.
class ReferenceDecoders {
 public:
  ReferenceDecoders() { text_log_bind_reference_decoders_for_testing(true); }
  ~ReferenceDecoders() { text_log_bind_reference_decoders_for_testing(false); }
  ReferenceDecoders(const ReferenceDecoders&) = delete;
  ReferenceDecoders& operator=(const ReferenceDecoders&) = delete;
};

std::string random_text(std::mt19937_64* rng, const std::string& alphabet, size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text.push_back(alphabet[(*rng)() % alphabet.size()]);
  return text;
}

/// A data line as a logger writes it, at `ms` milliseconds of the day.
std::string logger_line(std::mt19937_64* rng, uint64_t ms) {
  bool extended = (*rng)() % 10 < 4;
  uint32_t id = static_cast<uint32_t>((*rng)() & (extended ? 0x1FFFFFFF : 0x7FF));
  int kind = (extended ? 1 : 0) + ((*rng)() % 10 == 0 ? 8 : 0);
  size_t length = (*rng)() % 100 < 85 ? 8 : (*rng)() % 8;
  char line[128];
  int n = snprintf(line, sizeof line, "%02u:%02u:%02u.%03u;0;%d;%X;%zu;",
                   static_cast<unsigned>(ms / 3600000 % 24), static_cast<unsigned>(ms / 60000 % 60),
                   static_cast<unsigned>(ms / 1000 % 60), static_cast<unsigned>(ms % 1000), kind,
                   id, length);
  std::string text(line, static_cast<size_t>(n));
  text += random_text(rng, "0123456789ABCDEF", 2 * length);
  return text + "\n";
}

/// A line a damaged or unusual file may hold.
std::string hostile_line(std::mt19937_64* rng, uint64_t ms) {
  static const char* const kFields[] = {
      "", " ", "0x7DF", "-1", "+8", " 12", "zz", "0X", "99999999999999999999", "\t7",
      "2024-03-15 23:59:59.999", "20240315235960999", "00000000000000000", "99999999999999999",
      "1:2:3.4", "T", "::..", "12345678901234567890123",
  };
  std::string line;
  switch ((*rng)() % 6) {
    case 0:  // fields from the list, in any column
      for (int column = 0; column < 8; ++column) {
        if (column > 0) line += ';';
        line += kFields[(*rng)() % (sizeof kFields / sizeof kFields[0])];
      }
      break;
    case 1:  // a logger line ending in CR LF, or with a CR inside
      line = logger_line(rng, ms);
      line.insert(line.size() - 1 - ((*rng)() % 3 == 0 ? 5 : 0), "\r");
      return line;
    case 2:  // longer than one read of a line
      line = random_text(rng, "0123456789ABCDEF;:.", 150 + (*rng)() % 300);
      break;
    case 3:
      return (*rng)() % 2 == 0 ? "\n" : "# a comment among the data\n";
    case 4:
      line = random_text(rng, "0123456789abcdefABCDEF;:. \t+-x\r", (*rng)() % 60);
      break;
    case 5:  // time going backwards by up to a day, to exercise the rollover
      return logger_line(rng, ms - std::min<uint64_t>(ms, (*rng)() % 86400000));
  }
  return line + "\n";
}

const char kHeader[] =
    "# Logger type: Marrowbox2000\n"
    "# HW rev: 2.1\n"
    "# FW rev: 5.63\n"
    "# Logger ID: 1A2B3C4D\n"
    "# Session No.: 42\n"
    "# Split No.: 1\n"
    "# Time: %s\n"
    "# Value separator: \";\"\n"
    "# Time format: %d\n"
    "# Time separator: \"%s\"\n"
    "# Time separator ms: \"%s\"\n"
    "# Date separator: \"%s\"\n"
    "# Time and date separator: \"%s\"\n"
    "# Bit-rate: 500000\n"
    "# Silent mode: false\n"
    "# Cyclic mode: false\n"
    "Timestamp;Lost;Type;ID;Length;Data\n";

/// A log of `lines` data lines: logger lines every 0 to 3 ms from 23:58
/// (crossing midnight), and a hostile line among every hundred.
std::string generated_log(uint64_t seed, size_t lines, const char* time, int time_format,
                          const char* time_separator, const char* date_separator) {
  std::mt19937_64 rng(seed);
  char header[1024];
  snprintf(header, sizeof header, kHeader, time, time_format, time_separator, ".",
           date_separator, "");
  std::string log = header;
  uint64_t ms = (23 * 60 + 58) * 60000;
  for (size_t i = 0; i < lines; ++i) {
    log += rng() % 100 == 0 ? hostile_line(&rng, ms) : logger_line(&rng, ms);
    ms += rng() % 4;
  }
  return log;
}

/// Every record of `log`, read from `stream` (which the reader borrows).
std::vector<std::vector<uint8_t>> records(Stream* stream) {
  std::vector<std::vector<uint8_t>> result;
  TextLogReader* reader = text_log_open(stream);
  if (reader == nullptr) return result;
  text_log_rewind(reader);
  BusMessage record{};
  while (text_log_next(reader, &record) == 1) {
    // DataBytes points into the record itself: keep only whether it does.
    bool points_home = record.DataBytes == record.CAN.Payload;
    record.DataBytes = points_home ? reinterpret_cast<uint8_t*>(1) : nullptr;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    result.emplace_back(bytes, bytes + sizeof record);
  }
  text_log_close(reader);
  return result;
}

}  // namespace

TEST(TextLogReadLine, LentBytesGiveTheLinesAndPositionsOfOneByteReads) {
  std::mt19937_64 rng(11);
  const uint64_t capacities[] = {8, 16, 24, 200, 256, 1 << 16};
  size_t count = differential_count(4000);
  for (size_t i = 0; i < count; ++i) {
    // Short and long lines, CR before, after and instead of LF, and a CR as
    // the 199th byte of a line.
    std::string text = random_text(&rng, "ab;\r\n\n", rng() % 64);
    text += random_text(&rng, std::string(40, 'x') + "\r\n", rng() % 1500);
    text += std::string(198, 'y') + "\r\r\nz" + std::string(rng() % 400, 'w');
    uint64_t capacity = capacities[i % (sizeof capacities / sizeof capacities[0])];

    StreamPtr plain(memory_stream_create(text));
    StreamPtr buffered(buffered_stream_create(memory_stream_create(text), true, capacity));
    TextLogReader plain_reader{};
    TextLogReader buffered_reader{};
    plain_reader.stream = plain.get();
    buffered_reader.stream = buffered.get();
    for (;;) {
      char plain_line[TEXT_LOG_LINE_SIZE];
      char buffered_line[TEXT_LOG_LINE_SIZE];
      memset(buffered_line, '?', sizeof buffered_line);
      size_t plain_stored = text_log_read_line(&plain_reader, plain_line);
      size_t buffered_stored = text_log_read_line(&buffered_reader, buffered_line);
      ASSERT_EQ(buffered_stored, plain_stored) << "text " << i << ", capacity " << capacity;
      ASSERT_EQ(memcmp(buffered_line, plain_line, sizeof plain_line), 0)
          << "text " << i << ", capacity " << capacity;
      ASSERT_EQ(stream_tell(buffered.get()), stream_tell(plain.get()))
          << "text " << i << ", capacity " << capacity;
      if (plain_stored == 0) break;
    }
  }
}

TEST(TextLogSplitFields, WordWiseSplitMatchesTheBytewiseOneForAnyBytes) {
  std::mt19937_64 rng(12);
  // Separators, line ends, and the bytes one away from them: a word-wise
  // test that let a borrow run on would take ':' after ';' or '\v' after a
  // line feed for a hit.
  const std::string alphabet = std::string(";:<\n\v\x01\x02\t,.0aZ\xff\x80") + '\0';
  const char separators[] = {';', ',', '\t', '\0', '\n', ':', '\x01', '\xff'};
  size_t count = differential_count(300000);
  for (size_t i = 0; i < count; ++i) {
    char separator = separators[i % sizeof separators];
    // A line as text_log_next holds it: at most 199 bytes, a NUL, and
    // defined bytes behind it.
    std::string text = random_text(&rng, alphabet, rng() % (i % 16 == 0 ? 200 : 40));
    char fast[TEXT_LOG_LINE_SIZE + TEXT_LOG_SPLIT_SLACK];
    char reference[TEXT_LOG_LINE_SIZE + TEXT_LOG_SPLIT_SLACK];
    memset(fast, 'z', sizeof fast);
    memcpy(fast, text.data(), text.size());
    fast[text.size()] = '\0';
    memcpy(reference, fast, sizeof fast);
    char* fast_fields[TEXT_LOG_COLUMN_SLOTS];
    char* reference_fields[TEXT_LOG_COLUMN_SLOTS];
    int fast_count = text_log_split_fields(fast, separator, fast_fields);
    int reference_count = text_log_split_fields_reference(reference, separator, reference_fields);
    ASSERT_EQ(fast_count, reference_count) << "line " << i;
    for (int f = 0; f < fast_count; ++f) {
      ASSERT_EQ(fast_fields[f] - fast, reference_fields[f] - reference) << "line " << i;
    }
    ASSERT_EQ(memcmp(fast, reference, sizeof fast), 0) << "line " << i;
  }
}

TEST(TextLogNext, FastDecodingMatchesTheReferenceOverAGeneratedCorpus) {
  struct Variant {
    const char* time;
    int time_format;
    const char* time_separator;
    const char* date_separator;
  };
  // The benchmark's layout first, then other separators, formats and header
  // times (none, and one with separators of its own).
  const Variant variants[] = {
      {"20240315T235800", 3, ":", ""},
      {"20240315T235800", 1, ":", ""},
      {"2024-03-15T23:58:00", 2, ":", "-"},
      {"", 0, "", ""},
      {"20241231T235800", 3, "", ":"},
  };
  size_t lines = differential_count(60000);
  for (size_t v = 0; v < sizeof variants / sizeof variants[0]; ++v) {
    const Variant& variant = variants[v];
    std::string log = generated_log(100 + v, lines, variant.time, variant.time_format,
                                    variant.time_separator, variant.date_separator);

    StreamPtr fast_stream(
        buffered_stream_create(memory_stream_create(log), true, v % 2 == 0 ? log.size() : 4096));
    std::vector<std::vector<uint8_t>> fast = records(fast_stream.get());

    std::vector<std::vector<uint8_t>> reference;
    {
      ReferenceDecoders binding;
      StreamPtr plain_stream(memory_stream_create(log));
      reference = records(plain_stream.get());
    }
    // Only a few hostile lines are no frames.
    ASSERT_GE(reference.size(), lines * 99 / 100) << "variant " << v;
    ASSERT_EQ(fast.size(), reference.size()) << "variant " << v;
    for (size_t i = 0; i < fast.size(); ++i) {
      ASSERT_EQ(fast[i], reference[i]) << "variant " << v << ", record " << i;
    }
  }
}
