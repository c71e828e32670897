// Byte streams: one small interface over files and memory buffers, so the
// reader and the writer never care where their bytes live. A stream starts
// with its operation table; an empty slot means "not supported".
#ifndef TRACEWRIGHT_PLATFORM_STREAM_H_
#define TRACEWRIGHT_PLATFORM_STREAM_H_

#include <cstdint>
#include <memory>

/// Answer of a dispatcher whose slot is empty.
constexpr int64_t STREAM_NOT_SUPPORTED = -2;
/// Answer of a read (or borrow) that failed: the device reported an error,
/// which is not the end of the data. Errors are sticky: once a read failed,
/// every later read of that stream fails too, so a caller that looks only
/// at its last read still learns of it. The position after a failed read is
/// unspecified.
constexpr int64_t STREAM_READ_ERROR = -1;

enum StreamMode : int32_t {
  STREAM_MODE_READ = 0,        ///< "rb": read, tell, seek, close
  STREAM_MODE_WRITE = 1,       ///< "wb": creates or truncates; write, tell, seek, close
  STREAM_MODE_READ_WRITE = 2,  ///< existing file, read and write
  STREAM_MODE_CREATE_NEW = 3,  ///< "wbx": like write, but fails when the path exists
};

struct Stream;

/// The operations of one stream type. Any slot may be null: the dispatchers
/// below then answer STREAM_NOT_SUPPORTED (close: 0) without calling it.
struct StreamOps {
  /// Reads up to `count` bytes; returns the number read, 0 at end of data,
  /// STREAM_READ_ERROR when the data could not be read (bytes the call got
  /// before the error are not reported).
  int64_t (*read)(Stream* stream, void* destination, int64_t count);
  /// Writes up to `count` bytes; returns the number written.
  int64_t (*write)(Stream* stream, const void* source, int64_t count);
  /// The current position.
  int64_t (*tell)(Stream* stream);
  /// `whence` 0 (start), 1 (current) or 2 (end); returns the new position or
  /// a negative value (-1 for a bad whence or a failed seek).
  int64_t (*seek)(Stream* stream, int64_t offset, int32_t whence);
  /// Releases the stream whatever happens; 0 on success, else the failure value.
  int32_t (*close)(Stream* stream);
  /// Lends the bytes that follow the current position without copying them:
  /// sets `*bytes` and returns how many there are (at least 1), loading them
  /// first exactly when a one-byte read would; 0 at the end of data,
  /// STREAM_READ_ERROR when loading failed. The position does not move: a
  /// caller that uses n of the bytes seeks n from the current position
  /// (whence 1), which must then succeed without loading. The view lives
  /// until the next operation on the stream. Empty for streams that hold no
  /// bytes of their own to lend; readers then read.
  int64_t (*borrow)(Stream* stream, const void** bytes);
};

/// The common head of every stream record; the rest is private to the
/// implementation's .cc file.
struct Stream {
  const StreamOps* ops;
};

// Dispatchers. `stream` must not be null (stream_close accepts null).
int64_t stream_read(Stream* stream, void* destination, int64_t count);
int64_t stream_write(Stream* stream, const void* source, int64_t count);
int64_t stream_tell(Stream* stream);
int64_t stream_seek(Stream* stream, int64_t offset, int32_t whence);
/// 0 for null or an empty slot. The stream is gone afterwards, whatever the
/// result; a non-zero result only reports that the underlying close failed.
int32_t stream_close(Stream* stream);
/// STREAM_NOT_SUPPORTED (and `*bytes` untouched) for an empty slot.
int64_t stream_borrow(Stream* stream, const void** bytes);

/// False when either pointer is null; otherwise stores stream_tell.
bool stream_get_position(Stream* stream, int64_t* position);
/// False when either pointer is null; otherwise seeks from the start and
/// returns whether the stream landed at `*position`.
bool stream_set_position(Stream* stream, const int64_t* position);
/// The stream's length, found by seeking to the end and back; the position is
/// unchanged afterwards. -1 for null, when the position cannot be taken or
/// when the seek to the end fails.
int64_t stream_size(Stream* stream);
/// Copies `source` to `destination` in 4096-byte chunks until a read returns
/// 0 or less. Write results are not tested. Nothing happens for null.
void stream_copy(Stream* source, Stream* destination);

/// Opens a file stream over `path` (NUL-terminated) in `mode`. Null for a null
/// path, an unknown mode, short memory or a file that cannot be opened so.
[[nodiscard]] Stream* file_stream_open(const char* path, int32_t mode);

/// A read-only stream serving reads and seeks from one buffer of `capacity`
/// bytes (rounded up to a multiple of 8) that it fills from `inner`. With
/// `owns_inner`, closing it closes `inner` too. Null when memory is short.
/// A null `inner` gives a stream without data: reads answer 0, seeks from
/// the end -1.
/// A seek inside the buffered bytes or right behind them only moves the
/// cursor; a seek elsewhere loads the buffer there, and when no data can be
/// loaded it changes nothing and returns the unchanged position, or
/// STREAM_READ_ERROR when the inner read failed. A failed inner read makes
/// every later read and borrow fail (the error is sticky).
[[nodiscard]] Stream* buffered_stream_create(Stream* inner, bool owns_inner, uint64_t capacity);

/// A read-only stream that passes reads, tells and seeks to `inner` (which it
/// owns: closing it closes `inner`) and calls `on_read(arg, position)` each
/// time reading gets 64 KiB or more past the position last reported (at
/// first, where `inner` stood; a larger read is made in pieces of 64 KiB),
/// and when a short read ends at a position not yet reported. A seek to before that mark moves the
/// mark there, so a second reading of the same bytes is reported as it goes. It lends nothing
/// (empty borrow slot): readers read through it. Null for a null `inner` or `on_read` and when
/// memory is short; `inner` then stays the caller's.
[[nodiscard]] Stream* observed_stream_create(Stream* inner,
                                             void (*on_read)(void* arg, int64_t position),
                                             void* arg);

struct StreamCloser {
  void operator()(Stream* stream) const { (void)stream_close(stream); }
};
/// For locals on early-exit paths and in tests; where the close result
/// matters, call stream_close(p.release()) and test it.
using StreamPtr = std::unique_ptr<Stream, StreamCloser>;

#endif  // TRACEWRIGHT_PLATFORM_STREAM_H_
