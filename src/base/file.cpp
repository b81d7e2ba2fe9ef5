#include "base/file.h"

#include <algorithm>
#include <cstring>

namespace pulldex {

bool InputFile::open(const std::string& path) {
  sys::close(handle_);
  handle_ = sys::openRead(path);
  return isOpen();
}

bool AtomicOutput::open(const std::string& destination) {
  discard();
  destination_ = sys::resolveLinks(destination);
  if (!sys::replaceable(destination_)) return false;
  handle_ = sys::createTempBeside(destination_, tempPath_);
  if (handle_ == sys::kNoHandle) return false;
  buffer_ = std::make_unique<char[]>(kBufferSize);
  used_ = 0;
  failed_ = false;
  return true;
}

bool AtomicOutput::flush() {
  if (used_ > 0 && !failed_) failed_ = !sys::writeAll(handle_, buffer_.get(), used_);
  used_ = 0;
  return !failed_;
}

bool AtomicOutput::write(const void* data, std::size_t n) {
  if (failed_ || handle_ == sys::kNoHandle) return false;
  if (used_ + n > kBufferSize) {
    if (!flush()) return false;
    if (n >= kBufferSize) {
      failed_ = !sys::writeAll(handle_, data, n);
      return !failed_;
    }
  }
  std::memcpy(buffer_.get() + used_, data, n);
  used_ += n;
  return true;
}

CopyResult AtomicOutput::copyFrom(InputFile& in, std::int64_t offset, std::int64_t length) {
  if (!flush()) return CopyResult::WriteFailed;
  if (!in.seek(offset)) return CopyResult::ReadFailed;
  const std::int64_t size = in.size();
  if (size < 0) return CopyResult::ReadFailed;
  const bool toEnd = length < 0;
  std::int64_t left = toEnd ? std::max<std::int64_t>(size - offset, 0) : length;
  if (!toEnd && offset + length > size) return CopyResult::ReadFailed;

  // The kernel copies without passing the bytes through us where it can.
  const std::int64_t copied = left > 0 ? sys::kernelCopy(in.handle(), handle_, left) : 0;
  if (copied > 0) {
    left -= copied;
    if (!in.seek(offset + copied)) return CopyResult::ReadFailed;
  }

  // What the kernel did not copy goes through the write buffer, empty after the flush above.
  char* chunk = buffer_.get();
  while (left > 0 || toEnd) {
    const std::size_t want = toEnd ? kBufferSize : static_cast<std::size_t>(std::min<std::int64_t>(left, kBufferSize));
    const std::int64_t got = in.read(chunk, want);
    if (got < 0) return CopyResult::ReadFailed;
    if (got == 0) break;
    if (!sys::writeAll(handle_, chunk, static_cast<std::size_t>(got))) {
      failed_ = true;
      return CopyResult::WriteFailed;
    }
    left -= got;
  }
  // A file that shrank under us would otherwise leave a silent hole.
  return !toEnd && left > 0 ? CopyResult::ReadFailed : CopyResult::Ok;
}

bool AtomicOutput::commit() {
  if (handle_ == sys::kNoHandle) return false;
  bool ok = flush() && sys::finish(handle_, destination_);
  sys::close(handle_);
  handle_ = sys::kNoHandle;
  ok = ok && sys::replace(tempPath_, destination_);
  if (!ok) sys::removeFile(tempPath_);
  tempPath_.clear();
  buffer_.reset();
  return ok;
}

void AtomicOutput::discard() {
  if (handle_ != sys::kNoHandle) {
    sys::close(handle_);
    handle_ = sys::kNoHandle;
  }
  if (!tempPath_.empty()) {
    sys::removeFile(tempPath_);
    tempPath_.clear();
  }
  buffer_.reset();
  used_ = 0;
}

}  // namespace pulldex
