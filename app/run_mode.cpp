// The mode test. The first letter of each word is left out of the patterns so
// that install-, Install- and INSTALL- all match, while a mixed spelling such
// as InStall- does not; install is tested first, so a path naming both roles
// installs.
#include "app/run_mode.h"

#include "platform/core/wide_text.h"

RunMode runModeOf(LPCWSTR modulePath) {
  if (wcsstr16(modulePath, u"nstall-") || wcsstr16(modulePath, u"NSTALL-")) return RunMode::Install;
  if (wcsstr16(modulePath, u"emove-") || wcsstr16(modulePath, u"EMOVE-")) return RunMode::Remove;
  return RunMode::Normal;
}
