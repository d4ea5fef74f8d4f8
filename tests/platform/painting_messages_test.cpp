// Paint requests: the update rectangle, WM_PAINT made only when nothing is
// posted, BeginPaint handing over and emptying the area, UpdateWindow painting
// at once.
#include <gtest/gtest.h>

#include "platform/ce.h"
#include "platform/user/paint.h"
#include "platform/user/message_queue.h"
#include "tests/support/window_fixture.h"

namespace {

bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class PaintMessages : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    window = makeWindow(WS_VISIBLE);
    validate();
    clearWindowInvalidationLog(window);
    MessageRecorder::instance().clear();
  }
  void validate() {
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    EndPaint(window, &ps);
  }
  HWND window = nullptr;
};

TEST_F(PaintMessages, PaintWaitsForPostedMessagesAndCoversTheUnion) {
  RECT a{180, 128, 220, 140};
  RECT b{-9, 151, 450, 163};
  InvalidateRect(window, &a, FALSE);
  PostMessageW(window, WM_USER, 0, 0);
  InvalidateRect(window, &b, FALSE);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER) << "posted messages come before the paint";
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_PAINT);
  EXPECT_EQ(m.hwnd, window);
  PAINTSTRUCT ps;
  BeginPaint(window, &ps);
  // The union, clipped to the client area.
  EXPECT_TRUE(ps.rcPaint == (RECT{0, 128, 450, 163}));
  EXPECT_FALSE(ps.fErase);
  EndPaint(window, &ps);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) << "BeginPaint emptied the area";
  auto log = windowInvalidationLog(window);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(log[0] == a);
  EXPECT_TRUE(log[1] == b) << "the log keeps the rectangle as asked";
}

TEST_F(PaintMessages, NullRectangleIsTheWholeClientAndEmptyOnesAreNothing) {
  RECT empty{10, 10, 10, 20};
  InvalidateRect(window, &empty, FALSE);
  RECT r;
  EXPECT_FALSE(windowUpdateRect(window, &r));
  InvalidateRect(window, nullptr, TRUE);
  ASSERT_TRUE(windowUpdateRect(window, &r));
  EXPECT_TRUE(r == (RECT{0, 0, 480, 272}));
}

TEST_F(PaintMessages, UpdateWindowPaintsNowOnlyWhenSomethingIsInvalid) {
  UpdateWindow(window);
  EXPECT_TRUE(MessageRecorder::instance().takeMessages(window).empty());
  RECT a{0, 128, 480, 150};
  InvalidateRect(window, &a, FALSE);
  RECT seen{};
  MessageRecorder::instance().hook = [&](HWND w, UINT msg, WPARAM, LPARAM, LRESULT* result) {
    if (msg != WM_PAINT) return false;
    PAINTSTRUCT ps;
    BeginPaint(w, &ps);
    seen = ps.rcPaint;
    EndPaint(w, &ps);
    *result = 0;
    return true;
  };
  UpdateWindow(window);
  EXPECT_EQ(MessageRecorder::instance().takeMessages(window), std::vector<UINT>{WM_PAINT});
  EXPECT_TRUE(seen == a);
  MSG m;
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(PaintMessages, HiddenWindowsAreNotPaintedAndShowingPaintsAll) {
  ShowWindow(window, SW_HIDE);
  RECT a{0, 0, 10, 10};
  InvalidateRect(window, &a, FALSE);
  MSG m;
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(windowInvalidationLog(window).size(), 1u);
  ShowWindow(window, SW_SHOW);
  RECT r;
  ASSERT_TRUE(windowUpdateRect(window, &r));
  EXPECT_TRUE(r == (RECT{0, 0, 480, 272}));
}

TEST_F(PaintMessages, APaintNobodyValidatesIsNotRepeatedForever) {
  InvalidateRect(window, nullptr, FALSE);
  MessageRecorder::instance().hook = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT* result) {
    *result = 0;
    return msg == WM_PAINT;  // answers without BeginPaint
  };
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  DispatchMessageW(&m);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

}  // namespace
