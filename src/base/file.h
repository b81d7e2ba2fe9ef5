// Files as the core uses them: a read-only input, and an output that only
// replaces its destination once every byte of it was written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/page_buffer.h"
#include "base/sys.h"
#include "model/error.h"

namespace pulldex {

class InputFile {
 public:
  InputFile() = default;
  ~InputFile() { sys::close(handle_); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens a regular file or a stream (a pipe, a FIFO, "-" for standard
  // input). A folder or a device is refused; kind() then tells a device.
  bool open(const std::string& path);
  void close() {
    sys::close(handle_);
    handle_ = sys::kNoHandle;
  }
  bool isOpen() const { return handle_ != sys::kNoHandle; }
  sys::Kind kind() const { return kind_; }
  bool regular() const { return kind_ == sys::Kind::Regular; }
  // The error number of the first call that failed, 0 when none did.
  int error() const { return error_; }
  // Size in bytes at the time of the call, or -1 (always for a stream).
  std::int64_t size() const { return regular() ? sys::fileSize(handle_) : -1; }
  // Reads up to n bytes, fewer only at the end: the count, or -1 on error.
  // Small reads are served from a read-ahead buffer, so that a scan in
  // small steps costs few system calls.
  std::int64_t read(void* buffer, std::size_t n);
  // Also the way back to the system's own file position, which read-ahead
  // leaves further on: every use of handle() by others starts with a seek.
  bool seek(std::int64_t offset) {
    ahead_.reset();
    aheadUsed_ = aheadFill_ = 0;
    return noted(sys::seek(handle_, offset) ? 0 : -1) == 0;
  }
  bool identity(sys::Identity& out) const { return sys::identify(handle_, out); }
  sys::Handle handle() const { return handle_; }

 private:
  std::int64_t noted(std::int64_t result) {
    if (result < 0 && error_ == 0) error_ = sys::lastError();
    return result;
  }

  static constexpr std::size_t kAhead = 1 << 18;
  sys::Handle handle_ = sys::kNoHandle;
  sys::Kind kind_ = sys::Kind::Regular;
  int error_ = 0;
  PageBuffer<char> ahead_;
  std::size_t aheadUsed_ = 0;
  std::size_t aheadFill_ = 0;
};

enum class CopyResult { Ok, ReadFailed, WriteFailed };

// Where an output's bytes go: a file, or standard output.
class Sink {
 public:
  virtual ~Sink() = default;
  // False once any write has failed.
  virtual bool write(const void* data, std::size_t n) = 0;
  bool write(std::string_view text) { return write(text.data(), text.size()); }
  // Copies exactly `length` bytes of `in` from `offset`; fewer, because the
  // file ended early, is a read failure. This one reads through a buffer.
  virtual CopyResult copyFrom(InputFile& in, std::int64_t offset, std::int64_t length);
  // The error number of the write that failed, 0 when none did or none is known.
  virtual int error() const { return 0; }
};

// Writes straight through to a file that is not replaced but written into:
// a device, a FIFO, one of the process's own descriptors. What was written
// stays written; there is nothing to roll back.
class StreamOutput final : public Sink {
 public:
  // Takes the open handle over.
  explicit StreamOutput(sys::Handle handle) : handle_(handle), buffer_(makePageBuffer<char>(kBufferSize)) {}
  ~StreamOutput() override { sys::close(handle_); }
  StreamOutput(const StreamOutput&) = delete;
  StreamOutput& operator=(const StreamOutput&) = delete;

  bool write(const void* data, std::size_t n) override;
  using Sink::write;
  int error() const override { return error_; }
  // Writes what is buffered and closes; false when any write failed.
  bool finish();

 private:
  bool flush();
  static constexpr std::size_t kBufferSize = 1 << 16;
  sys::Handle handle_;
  PageBuffer<char> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
  int error_ = 0;
};

// Writes go to a temporary file in the destination's folder that no one sees
// under a name. commit() flushes it and puts it in the destination's place;
// without a successful commit it disappears and the destination keeps its
// old content. A replaced file keeps its owner, group, rights and attributes.
//
// The rules for what may be replaced live here and nowhere else: a folder,
// a read-only file, a file with other hard links, a link the kernel would
// not follow for us and an owner that cannot be kept are refused.
class AtomicOutput final : public Sink {
 public:
  AtomicOutput() = default;
  ~AtomicOutput() override { discard(); }
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  // `cannotCreate` is the writer's own message for a destination that cannot
  // be made (a folder, a read-only file, a missing folder).
  Status open(const std::string& destination, Error cannotCreate);
  // Buffered; false once any write has failed.
  bool write(const void* data, std::size_t n) override;
  using Sink::write;
  // In the kernel where it can; when that fails, the rest goes through a
  // buffer, so that a failed read is told from a failed write.
  CopyResult copyFrom(InputFile& in, std::int64_t offset, std::int64_t length) override;
  int error() const override { return error_; }
  // With `expected`, the destination must still be that file: a project
  // rewritten in place that was saved anew meanwhile is kept, and the
  // result is ProjectChanged.
  Status commit(const sys::Identity* expected = nullptr);
  // The file the output replaces, links followed.
  const std::string& destination() const { return pending_.destination; }
  // Whether the destination was the file `id` when the output was opened.
  bool replaces(const sys::Identity& id) const { return pending_.existed && old_ == id; }
  void discard();
  // The failure of the last write or copy, for its message.
  Status writeFailure() const { return {Error::WriteFile, Subject::Output, error_}; }

 private:
  bool flush();
  // Counts bytes that reached the file and starts their write-back every
  // kWritebackStep bytes: the disk works while more is made, instead of all
  // at once in the commit's flush.
  void wrote(std::int64_t n);
  bool failed(int error) {
    if (error_ == 0) error_ = error;
    failed_ = true;
    return false;
  }

  static constexpr std::size_t kBufferSize = 1 << 16;
  static constexpr std::int64_t kWritebackStep = std::int64_t{8} << 20;
  sys::Pending pending_;
  sys::Identity old_;
  std::int64_t written_ = 0;
  std::int64_t writebackFrom_ = 0;
  PageBuffer<char> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
  int error_ = 0;
};

}  // namespace pulldex
