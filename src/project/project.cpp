#include "project/project.h"

namespace pulldex {

Project::Project() : file_(std::make_unique<InputFile>()) {}
Project::~Project() = default;
Project::Project(Project&&) noexcept = default;
Project& Project::operator=(Project&&) noexcept = default;

Status Project::load(const std::string& path, bool fieldOrder) {
  auto file = std::make_unique<InputFile>();
  if (!file->open(path))
    return file->kind() == sys::Kind::Device ? Status{Error::Device}
                                             : Status{Error::OpenProject, Subject::Project, file->error()};
  FrameList list;
  BlockLocation block;
  if (const Status s = readIvtcList(*file, list, &block, fieldOrder); !s.ok()) return s;
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
