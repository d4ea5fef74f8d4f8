// What the tool says on standard error when a CE call fails: the host call
// behind the failure, with the path it was given and the host's reason.
#include <cstdio>

#include "platform/core/errors.h"
#include "tools/tool/commands.h"

void reportHostFailure(const std::string& what) {
  const HostFailure* failure = lastHostFailure();
  if (!failure) return;
  fprintf(stderr, "vellumtrace-tool: %s: %s\n", what.c_str(), describeHostFailure(*failure).c_str());
}
