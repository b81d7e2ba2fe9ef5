#include "project/output.h"

#include "project/project.h"

namespace pulldex {

namespace {

Status writeFailure(const Sink& sink) { return {Error::WriteFile, Subject::Output, sink.error()}; }

}  // namespace

void RunFiles::addInput(const std::string& path, Kind kind) {
  sys::PathFacts facts;
  if (path == "-" || sys::examine(path, facts) != 0 || !facts.exists || !facts.regular) return;
  inputs_.push_back({facts.identity, kind});
}

bool RunFiles::claim(const std::string& path, const std::string& owner, std::string& earlier) {
  if (path == "-" || sys::namesStreamOutput(path)) return true;
  Claim c{.owner = owner};
  // The file the writer will write: where the links lead, as it follows
  // them, a link to a file not yet there included.
  std::string target = path;
  bool unsafe = false;
  if (sys::followLinks(target, unsafe) != 0) target = path;
  sys::Identity id;
  if (sys::identifyPath(target, id)) {
    c.device = id.device;
    c.file = id.file;
  } else if (sys::identifyPath(sys::folderOf(target), id)) {
    c.device = id.device;
    c.file = id.file;
    c.name = sys::nameKey(target);
  } else {
    // No such folder: the write fails anyway; the spelling tells.
    c.name = target;
  }
  for (const Claim& other : claims_)
    if (other.device == c.device && other.file == c.file && other.name == c.name) {
      earlier = other.owner;
      return false;
    }
  claims_.push_back(std::move(c));
  return true;
}

OpenOutput::OpenOutput() = default;
OpenOutput::~OpenOutput() = default;

Status OpenOutput::open(const Destination& d) {
  d_ = d;
  opened_ = true;
  if (d.path == "-" && d.standardOutput) return {};
  sys::Handle stream = sys::kNoHandle;
  if (const int e = sys::openStreamOutput(d.path, stream); e != 0) return {d.cannotCreate, Subject::Output, e};
  if (stream != sys::kNoHandle) {
    // Nothing to replace: what is written is there at once.
    stream_ = std::make_unique<StreamOutput>(stream);
    return {};
  }
  file_ = std::make_unique<AtomicOutput>();
  if (const Status opened = file_->open(d.path, d.cannotCreate); !opened.ok()) return opened;
  // Which file the run reads, if any, this would replace: one typo must not
  // lose the only copy.
  if (d.project && d.project->regular()) {
    // The project's name may stand for a file saved anew since the load,
    // which is no more ours to replace than any other.
    sys::Identity named;
    if (sys::identifyPath(d.project->path(), named) && named != d.project->identity() && file_->replaces(named))
      return {Error::ProjectChanged, Subject::Project, 0};
  }
  ownProject_ = d.project && d.project->regular() && file_->replaces(d.project->identity());
  if (ownProject_) {
    if (!d.inPlace && !d.force) return {Error::OutputIsProject, Subject::Output, 0};
    replaced_ = d.project->identity();
  } else if (d.run) {
    for (const RunFiles::Input& input : d.run->inputs())
      if (file_->replaces(input.identity)) {
        if (!d.force)
          return {input.kind == RunFiles::Kind::Project ? Error::OutputIsProject : Error::OutputIsInput,
                  Subject::Output, 0};
        replaced_ = input.identity;
      }
  }
  return {};
}

Status OpenOutput::write(const Producer& produce, Written* written) {
  if (written) *written = {};
  if (!opened_) return {d_.cannotCreate, Subject::Output, 0};
  if (!stream_ && !file_) {
    // Standard output. A sink remembers its first failure: one write that
    // failed is enough.
    const Status s = produce(*d_.standardOutput);
    if (!s.ok()) return s;
    return d_.standardOutput->write("", 0) ? Status{} : writeFailure(*d_.standardOutput);
  }
  if (stream_) {
    if (const Status s = produce(*stream_); !s.ok()) return s;
    return stream_->finish() ? Status{} : writeFailure(*stream_);
  }
  if (const Status s = produce(*file_); !s.ok()) return s;
  // Windows replaces no file that is still open.
  if (ownProject_) d_.project->release();
  if (const Status s = file_->commit(replaced_ ? &*replaced_ : nullptr); !s.ok()) return s;
  if (written) {
    written->replacedProject = ownProject_;
    sys::identifyPath(file_->destination(), written->identity);
  }
  return {};
}

Status writeOutput(const Destination& d, const Producer& produce, Written* written) {
  OpenOutput out;
  if (const Status s = out.open(d); !s.ok()) return s;
  return out.write(produce, written);
}

}  // namespace pulldex
