// Heap buffers aligned to a page, as the pages of files in the system's cache
// are: the kernel copies between the two at full speed only when both start
// alike within a page (seen: 15 % slower reads into a buffer 16 bytes off).
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace pulldex {

inline constexpr std::size_t kPageAlignment = 4096;

template <class T>
struct PageRelease {
  void operator()(T* p) const { ::operator delete[](p, std::align_val_t{kPageAlignment}); }
};

template <class T>
using PageBuffer = std::unique_ptr<T[], PageRelease<T>>;

// Left uninitialised: the callers write into it before they read.
template <class T>
PageBuffer<T> makePageBuffer(std::size_t count) {
  return PageBuffer<T>(static_cast<T*>(::operator new[](count * sizeof(T), std::align_val_t{kPageAlignment})));
}

}  // namespace pulldex
