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

CopyResult Sink::copyFrom(InputFile& in, std::int64_t offset, std::int64_t length) {
  if (length <= 0) return CopyResult::Ok;
  if (!in.seek(offset)) return CopyResult::ReadFailed;
  constexpr std::size_t kChunk = 1 << 16;
  const auto chunk = makePageBuffer<char>(kChunk);
  for (std::int64_t left = length; left > 0;) {
    const std::int64_t got = in.read(chunk.get(), static_cast<std::size_t>(std::min<std::int64_t>(left, kChunk)));
    // A file that shrank under us would otherwise leave a silent hole.
    if (got <= 0) return CopyResult::ReadFailed;
    if (!write(chunk.get(), static_cast<std::size_t>(got))) return CopyResult::WriteFailed;
    left -= got;
  }
  return CopyResult::Ok;
}

bool StreamOutput::flush() {
  if (used_ > 0 && !failed_ && !sys::writeAll(handle_, buffer_.get(), used_)) {
    failed_ = true;
    error_ = sys::lastError();
  }
  used_ = 0;
  return !failed_;
}

bool StreamOutput::write(const void* data, std::size_t n) {
  const auto* bytes = static_cast<const char*>(data);
  while (n > 0 && !failed_) {
    const std::size_t part = std::min(n, kBufferSize - used_);
    std::memcpy(buffer_.get() + used_, bytes, part);
    used_ += part;
    bytes += part;
    n -= part;
    if (used_ == kBufferSize) flush();
  }
  return !failed_;
}

bool StreamOutput::finish() {
  flush();
  sys::close(handle_);
  handle_ = sys::kNoHandle;
  return !failed_;
}

Status AtomicOutput::open(const std::string& destination, Error cannotCreate) {
  discard();
  error_ = 0;
  failed_ = false;
  old_ = {};
  pending_ = sys::Pending{};
  pending_.destination = destination;
  const auto refused = [&](Error error, int osError) {
    discard();
    return Status{error, Subject::Output, osError};
  };
  bool unsafe = false;
  if (const int e = sys::followLinks(pending_.destination, unsafe); e != 0) return refused(cannotCreate, e);
  if (unsafe) return refused(Error::UnsafeLink, 0);
  sys::PathFacts facts;
  if (const int e = sys::examine(pending_.destination, facts); e != 0) return refused(cannotCreate, e);
  if (facts.exists) {
    if (facts.folder || !facts.regular) return refused(cannotCreate, facts.folder ? sys::kErrorFolder : 0);
    // Refused even for root, who could write it anyway: the user marked it
    // so on purpose.
    if (facts.readOnly || !facts.writable) return refused(cannotCreate, sys::kErrorDenied);
    // Replacing one name of several would split them silently.
    if (facts.links > 1) return refused(Error::HardLinks, 0);
    pending_.existed = true;
    old_ = facts.identity;
  }
  if (const int e = sys::createPending(pending_); e != 0) return refused(cannotCreate, e);
  if (pending_.existed) {
    if (const int e = sys::copyMetadata(pending_); e != 0) return refused(Error::KeepOwner, e);
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
  // write-back step at a time. When it fails, it does not say which side
  // did: the rest then goes through the buffer, whose reads and writes do.
  while (left > 0) {
    const std::int64_t copied = sys::kernelCopy(in.handle(), pending_.handle, std::min(left, kWritebackStep));
    if (copied <= 0) break;
    left -= copied;
    wrote(copied);
  }
  // What the kernel did not copy goes through the write buffer.
  return Sink::copyFrom(in, offset + (length - left), left);
}

Status AtomicOutput::commit(const sys::Identity* expected) {
  if (pending_.handle == sys::kNoHandle) return writeFailure();
  if (!flush()) {
    discard();
    return writeFailure();
  }
  if (const int e = sys::syncPending(pending_); e != 0) {
    discard();
    return {Error::WriteFile, Subject::Output, e};
  }
  // Checked as late as can be: a project saved anew while we wrote is kept.
  sys::PathFacts now;
  if (expected && (sys::examine(pending_.destination, now) != 0 || !now.exists || now.identity != *expected)) {
    discard();
    return {Error::ProjectChanged, Subject::Project, 0};
  }
  const int e = sys::replaceDestination(pending_);
  discard();
  return e == 0 ? Status{} : Status{Error::WriteFile, Subject::Output, e};
}

void AtomicOutput::discard() {
  sys::abandonPending(pending_);
  buffer_.reset();
  used_ = 0;
}

}  // namespace pulldex
