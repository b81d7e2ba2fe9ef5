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
      if (!ahead_) ahead_ = std::make_unique<char[]>(kAhead);
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
  buffer_ = std::make_unique<char[]>(kBufferSize);
  used_ = 0;
  return {};
}

bool AtomicOutput::flush() {
  if (used_ > 0 && !failed_ && !sys::writeAll(pending_.handle, buffer_.get(), used_)) failed(sys::lastError());
  used_ = 0;
  return !failed_;
}

bool AtomicOutput::write(const void* data, std::size_t n) {
  if (failed_ || pending_.handle == sys::kNoHandle) return false;
  if (used_ + n > kBufferSize) {
    if (!flush()) return false;
    if (n >= kBufferSize) return sys::writeAll(pending_.handle, data, n) || failed(sys::lastError());
  }
  std::memcpy(buffer_.get() + used_, data, n);
  used_ += n;
  return true;
}

CopyResult AtomicOutput::copyFrom(InputFile& in, std::int64_t offset, std::int64_t length) {
  if (!flush()) return CopyResult::WriteFailed;
  if (!in.seek(offset)) return CopyResult::ReadFailed;
  std::int64_t left = length;

  // The kernel copies without passing the bytes through us where it can.
  if (left > 0) {
    const std::int64_t copied = sys::kernelCopy(in.handle(), pending_.handle, left);
    if (copied < 0 && sys::lastError() != 0) {
      // Which side failed is not told; the read side is checked by reading.
      failed(sys::lastError());
      return CopyResult::WriteFailed;
    }
    if (copied > 0) {
      left -= copied;
      if (!in.seek(offset + copied)) return CopyResult::ReadFailed;
    }
  }

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
