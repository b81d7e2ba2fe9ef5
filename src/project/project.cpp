#include "project/project.h"

#include <cctype>
#include <cstring>

#include "project/block_scanner.h"

namespace pulldex {

Project::Project() : file_(std::make_unique<InputFile>()) {}
Project::~Project() = default;
Project::Project(Project&&) noexcept = default;
Project& Project::operator=(Project&&) noexcept = default;

Status Project::load(const std::string& path) {
  auto file = std::make_unique<InputFile>();
  if (!file->open(path))
    return file->kind() == sys::Kind::Device ? Status{Error::Device}
                                             : Status{Error::OpenProject, Subject::Project, file->error()};
  FrameList list;
  BlockLocation block;
  if (const Status s = readIvtcList(*file, list, &block); !s.ok()) return s;
  path_ = path;
  regular_ = file->regular();
  file_ = std::move(file);
  list_ = std::move(list);
  block_ = block;
  loaded_ = true;
  return {};
}

Status Project::input(InputFile*& file) {
  file = nullptr;
  if (!loaded_) return {Error::OpenSource};
  if (!file_->isOpen()) {
    if (!regular_) return {Error::NotRegular};
    if (!file_->open(path_)) return {Error::OpenSource, Subject::Project, file_->error()};
  }
  if (regular_) {
    // Whatever was loaded must still be what is read.
    sys::Identity now;
    if (!file_->identity(now)) return {Error::ReadFile, Subject::Project, file_->error()};
    if (now != block_.identity) return {Error::ProjectChanged};
  }
  file = file_.get();
  return {};
}

void Project::release() { file_->close(); }

FrameList Project::storedList() const {
  FrameList stored = list_;
  const Normalisation& n = block_.normalisation;
  if (n.movedFrom > 0 && n.movedFrom < stored.count()) {
    stored.entries[0].state = n.stateAt0;
    stored.entries[static_cast<std::size_t>(n.movedFrom)].state = Kept;
  }
  return stored;
}

std::optional<bool> Project::topFieldFirst() {
  InputFile* in = nullptr;
  if (!regular_ || !input(in).ok() || !in->seek(0)) return std::nullopt;
  static constexpr char kName[] = "Video.TopFieldFirst";
  BlockScanner scanner(*in);
  if (scanner.findMarker(kName) < 0) return std::nullopt;
  char after[64] = {};
  const std::int32_t n = scanner.readBytes(after, sizeof after);
  const std::size_t name = std::strlen(kName);
  if (static_cast<std::size_t>(n) <= name) return std::nullopt;
  if (block_.form == ProjectForm::Binary) {
    // The value's type tag: 8 False, 9 True.
    if (after[name] == 8) return false;
    if (after[name] == 9) return true;
    return std::nullopt;
  }
  // "Name = True" or "Name = False".
  std::string rest(after + name, static_cast<std::size_t>(n) - name);
  std::size_t i = rest.find_first_not_of(" \t");
  if (i == std::string::npos || rest[i] != '=') return std::nullopt;
  i = rest.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos) return std::nullopt;
  std::string word;
  while (i < rest.size() && std::isalpha(static_cast<unsigned char>(rest[i])))
    word += static_cast<char>(std::tolower(static_cast<unsigned char>(rest[i++])));
  if (word == "true") return true;
  if (word == "false") return false;
  return std::nullopt;
}

Status Project::importSettings(const std::string& path, FrameSettingsFacts* facts) {
  FrameSettingsFacts found;
  const Status s = readFrameSettings(path, list_, &found);
  // An empty file leaves the list as it was, normalisation and all.
  if (s.ok() && found.bytes > 0) block_.normalisation = {};
  if (facts) *facts = found;
  return s;
}

void Project::savedOver(const sys::Identity& written, const BlockLocation& block) {
  file_->close();
  block_ = block;
  block_.identity = written;
}

}  // namespace pulldex
