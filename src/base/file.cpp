#include "base/file.h"

#include <algorithm>
#include <cstring>

namespace pulldex {

bool InputFile::open(const std::string& path) {
  close();
  error_ = 0;
  kind_ = sys::Kind::Regular;
  aheadUsed_ = aheadFill_ = 0;
  handle_ = sys::openRead(path, kind_);
  if (handle_ == sys::kNoHandle) error_ = sys::lastError();
  return isOpen();
}

std::int64_t InputFile::read(void* buffer, std::size_t n) {
  auto* out = static_cast<char*>(buffer);
  std::size_t total = 0;
  while (total < n) {
    if (aheadUsed_ == aheadFill_) {
      // Large reads go straight to the file.
      if (n - total >= kAhead / 2) {
        const std::int64_t got = noted(sys::read(handle_, out + total, n - total));
        if (got < 0) return -1;
        return static_cast<std::int64_t>(total) + got;
      }
      if (!ahead_) ahead_ = makePageBuffer<char>(kAhead);
      const std::int64_t got = noted(sys::read(handle_, ahead_.get(), kAhead));
      if (got < 0) return -1;
      aheadUsed_ = 0;
      aheadFill_ = static_cast<std::size_t>(got);
      if (got == 0) break;
    }
    const std::size_t part = std::min(n - total, aheadFill_ - aheadUsed_);
    std::memcpy(out + total, ahead_.get() + aheadUsed_, part);
    aheadUsed_ += part;
    total += part;
  }
  return static_cast<std::int64_t>(total);
}

Status AtomicOutput::open(const std::string& destination, Error cannotCreate) {
  discard();
  error_ = 0;
  failed_ = false;
  const sys::Refusal refusal = sys::beginReplace(destination, pending_);
  if (refusal != sys::Refusal::None) {
    const int error = sys::lastError();
    sys::abandonReplace(pending_);
    switch (refusal) {
      case sys::Refusal::HardLinks:
        return {Error::HardLinks, Subject::Output, 0};
      case sys::Refusal::UnsafeLink:
        return {Error::UnsafeLink, Subject::Output, 0};
      case sys::Refusal::KeepOwner:
        return {Error::KeepOwner, Subject::Output, error};
      default:
        return {cannotCreate, Subject::Output, error};
    }
  }
  buffer_ = makePageBuffer<char>(kBufferSize);
  used_ = 0;
  written_ = writebackFrom_ = 0;
  return {};
}

void AtomicOutput::wrote(std::int64_t n) {
  written_ += n;
  if (written_ - writebackFrom_ < kWritebackStep) return;
  sys::startWriteback(pending_.handle, writebackFrom_, written_ - writebackFrom_);
  writebackFrom_ = written_;
}

bool AtomicOutput::flush() {
  if (used_ > 0 && !failed_) {
    if (sys::writeAll(pending_.handle, buffer_.get(), used_))
      wrote(static_cast<std::int64_t>(used_));
    else
      failed(sys::lastError());
  }
  used_ = 0;
  return !failed_;
}

bool AtomicOutput::write(const void* data, std::size_t n) {
  if (failed_ || pending_.handle == sys::kNoHandle) return false;
  // Only whole buffers go to the file, so that its offsets stay aligned to
  // pages for the copies into the system's cache.
  const auto* bytes = static_cast<const char*>(data);
  while (n > 0) {
    if (used_ == 0 && n >= kBufferSize) {
      const std::size_t whole = n - n % kBufferSize;
      if (!sys::writeAll(pending_.handle, bytes, whole)) return failed(sys::lastError());
      wrote(static_cast<std::int64_t>(whole));
      bytes += whole;
      n -= whole;
      continue;
    }
    const std::size_t part = std::min(n, kBufferSize - used_);
    std::memcpy(buffer_.get() + used_, bytes, part);
    used_ += part;
    bytes += part;
    n -= part;
    if (used_ == kBufferSize && !flush()) return false;
  }
  return true;
}

CopyResult AtomicOutput::copyFrom(InputFile& in, std::int64_t offset, std::int64_t length) {
  if (!flush()) return CopyResult::WriteFailed;
  if (!in.seek(offset)) return CopyResult::ReadFailed;
  std::int64_t left = length;

  // The kernel copies without passing the bytes through us where it can, a
  // write-back step at a time.
  while (left > 0) {
    const std::int64_t copied = sys::kernelCopy(in.handle(), pending_.handle, std::min(left, kWritebackStep));
    if (copied < 0 && sys::lastError() != 0) {
      // Which side failed is not told; the read side is checked by reading.
      failed(sys::lastError());
      return CopyResult::WriteFailed;
    }
    if (copied <= 0) break;
    left -= copied;
    wrote(copied);
  }
  if (left < length && !in.seek(offset + (length - left))) return CopyResult::ReadFailed;

  // What the kernel did not copy goes through the write buffer, empty after the flush above.
  char* chunk = buffer_.get();
  while (left > 0) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, kBufferSize));
    const std::int64_t got = in.read(chunk, want);
    if (got < 0) return CopyResult::ReadFailed;
    if (got == 0) break;
    if (!sys::writeAll(pending_.handle, chunk, static_cast<std::size_t>(got))) {
      failed(sys::lastError());
      return CopyResult::WriteFailed;
    }
    wrote(got);
    left -= got;
  }
  // A file that shrank under us would otherwise leave a silent hole.
  return left > 0 ? CopyResult::ReadFailed : CopyResult::Ok;
}

Status AtomicOutput::commit(const sys::Identity* expected) {
  if (pending_.handle == sys::kNoHandle) return writeFailure();
  if (!flush()) {
    discard();
    return writeFailure();
  }
  bool changed = false;
  const bool ok = sys::commitReplace(pending_, expected, changed);
  const int error = sys::lastError();
  discard();
  if (changed) return {Error::ProjectChanged, Subject::Project, 0};
  return ok ? Status{} : Status{Error::WriteFile, Subject::Output, error};
}

void AtomicOutput::discard() {
  sys::abandonReplace(pending_);
  buffer_.reset();
  used_ = 0;
}

}  // namespace pulldex
