#pragma once

#include <filesystem>
#include <string>

namespace pulldex::testing {

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  // Names of the files in the folder, to catch leftover temporary files.
  std::size_t fileCount() const;

 private:
  std::filesystem::path dir_;
};

}  // namespace pulldex::testing
