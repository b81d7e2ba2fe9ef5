// Files as the core uses them: a read-only input, and an output that only
// replaces its destination once every byte of it was written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/sys.h"

namespace pulldex {

class InputFile {
 public:
  InputFile() = default;
  ~InputFile() { sys::close(handle_); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool open(const std::string& path);
  void close() {
    sys::close(handle_);
    handle_ = sys::kNoHandle;
  }
  bool isOpen() const { return handle_ != sys::kNoHandle; }
  // Size in bytes at the time of the call, or -1.
  std::int64_t size() const { return sys::fileSize(handle_); }
  // Reads up to n bytes: the count, 0 at the end of the file, -1 on error.
  std::int64_t read(void* buffer, std::size_t n) { return sys::read(handle_, buffer, n); }
  bool seek(std::int64_t offset) { return sys::seek(handle_, offset); }
  sys::Handle handle() const { return handle_; }

 private:
  sys::Handle handle_ = sys::kNoHandle;
};

enum class CopyResult { Ok, ReadFailed, WriteFailed };

// Writes go to a temporary file in the destination's folder. commit()
// renames it over the destination; without a successful commit the
// temporary file is removed and the destination keeps its old content.
class AtomicOutput {
 public:
  AtomicOutput() = default;
  ~AtomicOutput() { discard(); }
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  // False when the destination cannot be replaced (a folder, a read-only
  // file) or no temporary file can be made beside it.
  bool open(const std::string& destination);
  // Buffered; false once any write has failed.
  bool write(const void* data, std::size_t n);
  bool write(const std::string& text) { return write(text.data(), text.size()); }
  // Copies `length` bytes of `in` from `offset`, or everything from `offset`
  // to the end of the file when `length` is negative.
  CopyResult copyFrom(InputFile& in, std::int64_t offset, std::int64_t length);
  bool commit();
  void discard();

 private:
  bool flush();

  static constexpr std::size_t kBufferSize = 1 << 16;
  sys::Handle handle_ = sys::kNoHandle;
  std::string destination_;
  std::string tempPath_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace pulldex
