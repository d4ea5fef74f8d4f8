// The headless display: no window, no X and no SDL. The screen is shown
// nowhere; the control channel's `snapshot` saves it. Every composed frame
// counts as presented the moment it is made, so a wait for what was painted
// to be visible (displayPresentedGeneration) returns at once.
//
// Input comes only through the control channel (`tap`, `key`), which reaches
// deliverTouch and deliverKey whatever the display.
#include "platform/display/display_driver.h"

namespace {

class HeadlessDisplay final : public DisplayDriver {
 public:
  explicit HeadlessDisplay(const DisplayHostSide* host) : host_(host) {}
  const char* name() const override { return "headless"; }
  bool start() override { return true; }
  void stop() override {}
  uint64_t presentedGeneration() const override { return host_->screenGeneration(); }

 private:
  const DisplayHostSide* host_;
};

}  // namespace

DisplayDriver* makeHeadlessDisplay(const DisplayHostSide* host, int) {
  return new HeadlessDisplay(host);
}
