#include "project/output.h"

#include "project/project.h"

namespace pulldex {

namespace {

Status writeFailure(const Sink& sink) { return {Error::WriteFile, Subject::Output, sink.error()}; }

}  // namespace

Status writeOutput(const Destination& d, const Producer& produce, Written* written) {
  if (written) *written = {};
  if (d.path == "-" && d.standardOutput) {
    // A sink remembers its first failure: one write that failed is enough.
    const Status s = produce(*d.standardOutput);
    if (!s.ok()) return s;
    return d.standardOutput->write("", 0) ? Status{} : writeFailure(*d.standardOutput);
  }

  AtomicOutput out;
  if (const Status opened = out.open(d.path, d.cannotCreate); !opened.ok()) return opened;
  // Which project, if any, this would replace: one typo must not lose the
  // only copy.
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
  } else {
    for (const sys::Identity& other : d.otherProjects)
      if (out.replaces(other)) {
        if (!d.force) return {Error::OutputIsProject, Subject::Output, 0};
        replaced = &other;
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
