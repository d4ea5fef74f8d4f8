#include "tests/support/host_failure_note.h"

#include "platform/core/errors.h"

std::string hostFailureNote() {
  const HostFailure* f = lastHostFailure();
  if (!f) return "\n  no host call's failure is behind the last error (" +
                 std::to_string(GetLastError()) + ")";
  return "\n  last host failure: " + describeHostFailure(*f) + " (CE error " +
         std::to_string(f->ceError) + ")";
}
