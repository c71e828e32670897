// The benchmark's I/O floor: reads each input file whole and writes as many
// bytes as the converter's output for it, through plain read and write calls
// with a 1 MiB buffer. No converter can beat this, so it marks how much of a
// conversion's time is spent on anything but moving bytes.
//
//   io_floor IN OUT BYTES [IN OUT BYTES ...]
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

static bool read_all(const char* path, std::vector<char>* buffer) {
  int fd = open(path, O_RDONLY);
  if (fd < 0) {
    fprintf(stderr, "io_floor: open(%s): %s\n", path, strerror(errno));
    return false;
  }
  for (;;) {
    ssize_t n = read(fd, buffer->data(), buffer->size());
    if (n == 0) break;
    if (n < 0) {
      fprintf(stderr, "io_floor: read(%s): %s\n", path, strerror(errno));
      close(fd);
      return false;
    }
  }
  close(fd);
  return true;
}

static bool write_bytes(const char* path, unsigned long long bytes,
                        const std::vector<char>& buffer) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    fprintf(stderr, "io_floor: open(%s): %s\n", path, strerror(errno));
    return false;
  }
  while (bytes > 0) {
    size_t chunk = bytes < buffer.size() ? static_cast<size_t>(bytes) : buffer.size();
    ssize_t n = write(fd, buffer.data(), chunk);
    if (n <= 0) {
      fprintf(stderr, "io_floor: write(%s): %s\n", path, strerror(errno));
      close(fd);
      return false;
    }
    bytes -= static_cast<unsigned long long>(n);
  }
  return close(fd) == 0;
}

int main(int argc, char** argv) {
  if (argc < 4 || (argc - 1) % 3 != 0) {
    fprintf(stderr, "usage: io_floor IN OUT BYTES [IN OUT BYTES ...]\n");
    return 2;
  }
  std::vector<char> buffer(1 << 20, 'x');
  for (int i = 1; i < argc; i += 3) {
    if (!read_all(argv[i], &buffer)) return 1;
    if (!write_bytes(argv[i + 1], strtoull(argv[i + 2], nullptr, 10), buffer)) return 1;
  }
  return 0;
}
