#include "temp_dir.h"

#include <atomic>
#include <chrono>
#include <iterator>

namespace pulldex::testing {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  dir_ = std::filesystem::temp_directory_path() /
         ("pulldex-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(dir_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(dir_, ignored);
}

std::size_t TempDir::fileCount() const {
  return static_cast<std::size_t>(
      std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()));
}

}  // namespace pulldex::testing
