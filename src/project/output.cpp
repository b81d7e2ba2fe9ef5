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
  sys::Identity id;
  if (sys::identifyPath(path, id)) {
    c.device = id.device;
    c.file = id.file;
  } else if (sys::identifyPath(sys::folderOf(path), id)) {
    c.device = id.device;
    c.file = id.file;
    c.name = sys::nameKey(path);
  } else {
    // No such folder: the write fails anyway; the spelling tells.
    c.name = path;
  }
  for (const Claim& other : claims_)
    if (other.device == c.device && other.file == c.file && other.name == c.name) {
      earlier = other.owner;
      return false;
    }
  claims_.push_back(std::move(c));
  return true;
}

Status writeOutput(const Destination& d, const Producer& produce, Written* written) {
  if (written) *written = {};
  if (d.path == "-" && d.standardOutput) {
    // A sink remembers its first failure: one write that failed is enough.
    const Status s = produce(*d.standardOutput);
    if (!s.ok()) return s;
    return d.standardOutput->write("", 0) ? Status{} : writeFailure(*d.standardOutput);
  }
  sys::Handle stream = sys::kNoHandle;
  if (const int e = sys::openStreamOutput(d.path, stream); e != 0) return {d.cannotCreate, Subject::Output, e};
  if (stream != sys::kNoHandle) {
    // Nothing to replace: what is written is there at once.
    StreamOutput out(stream);
    if (const Status s = produce(out); !s.ok()) return s;
    return out.finish() ? Status{} : writeFailure(out);
  }

  AtomicOutput out;
  if (const Status opened = out.open(d.path, d.cannotCreate); !opened.ok()) return opened;
  // Which file the run reads, if any, this would replace: one typo must not
  // lose the only copy.
  const sys::Identity* replaced = nullptr;
  if (d.project && d.project->regular()) {
    // The project's name may stand for a file saved anew since the load,
    // which is no more ours to replace than any other.
    sys::Identity named;
    if (sys::identifyPath(d.project->path(), named) && named != d.project->identity() && out.replaces(named))
      return {Error::ProjectChanged, Subject::Project, 0};
  }
  const bool ownProject = d.project && d.project->regular() && out.replaces(d.project->identity());
  if (ownProject) {
    if (!d.inPlace && !d.force) return {Error::OutputIsProject, Subject::Output, 0};
    replaced = &d.project->identity();
  } else if (d.run) {
    for (const RunFiles::Input& input : d.run->inputs())
      if (out.replaces(input.identity)) {
        if (!d.force)
          return {input.kind == RunFiles::Kind::Project ? Error::OutputIsProject : Error::OutputIsInput,
                  Subject::Output, 0};
        replaced = &input.identity;
      }
  }

  if (const Status s = produce(out); !s.ok()) return s;
  // Windows replaces no file that is still open.
  if (ownProject) d.project->release();
  const sys::Identity expected = replaced ? *replaced : sys::Identity{};
  if (const Status s = out.commit(replaced ? &expected : nullptr); !s.ok()) return s;
  if (written) {
    written->replacedProject = ownProject;
    sys::identifyPath(out.destination(), written->identity);
  }
  return {};
}

}  // namespace pulldex
