// Window creation, posting, sending and the quit message, checked as tables of
// the messages the window procedure sees and the loop fetches.
#include <gtest/gtest.h>

#include <vector>

#include "platform/ce.h"
#include "platform/user/paint.h"
#include "platform/user/windows.h"
#include "platform/user/message_queue.h"
#include "platform/core/errors.h"
#include "tests/support/window_fixture.h"

namespace {

constexpr UINT kA = WM_USER + 1;
constexpr UINT kB = WM_USER + 2;
constexpr UINT kC = WM_USER + 3;

class WindowMessages : public WindowTest {
 protected:
  HWND make(DWORD style = 0, HWND owner = nullptr, LPCWSTR title = u"t") {
    return makeWindow(style, title, owner);
  }
  // Fetches what is waiting, without blocking, as (message, wParam) pairs.
  std::vector<std::pair<UINT, WPARAM>> fetchAll(HWND filter = nullptr) {
    std::vector<std::pair<UINT, WPARAM>> out;
    MSG m;
    while (PeekMessageW(&m, filter, 0, 0, PM_REMOVE)) {
      out.push_back({m.message, m.wParam});
      if (m.message == WM_QUIT) break;
    }
    return out;
  }
};

TEST_F(WindowMessages, CreationShowAndDestructionReachTheProcedureInOrder) {
  struct Step {
    const char* what;
    std::vector<UINT> expected;
  };
  HWND w = make(WS_VISIBLE);
  ASSERT_NE(w, nullptr);
  std::vector<Step> steps = {
      {"create visible", {WM_NCCREATE, WM_CREATE, WM_SHOWWINDOW}},
  };
  std::vector<std::vector<UINT>> seen = {MessageRecorder::instance().takeMessages(w)};
  ShowWindow(w, SW_HIDE);
  steps.push_back({"hide", {WM_SHOWWINDOW}});
  seen.push_back(MessageRecorder::instance().takeMessages(w));
  ShowWindow(w, SW_HIDE);
  steps.push_back({"hide again: no change, no message", {}});
  seen.push_back(MessageRecorder::instance().takeMessages(w));
  DestroyWindow(w);
  steps.push_back({"destroy", {WM_DESTROY, WM_NCDESTROY}});
  seen.push_back(MessageRecorder::instance().takeMessages(w));
  for (size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(seen[i], steps[i].expected) << steps[i].what;
  }
  EXPECT_FALSE(IsWindow(w));
}

TEST_F(WindowMessages, HiddenCreationShowsNothingAndVisibilityFollowsShowWindow) {
  HWND w = make(0);
  EXPECT_EQ(MessageRecorder::instance().takeMessages(w),
            (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
  EXPECT_FALSE(IsWindowVisible(w));
  EXPECT_FALSE(ShowWindow(w, SW_SHOW));  // it was hidden
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_TRUE(ShowWindow(w, SW_MAXIMIZE));  // it was visible
  EXPECT_TRUE(IsWindowVisible(w));
  RECT r;
  ASSERT_TRUE(GetClientRect(w, &r));
  EXPECT_EQ(r.right - r.left, 480);
  EXPECT_EQ(r.bottom - r.top, 272);
}

TEST_F(WindowMessages, ClassesAreRegisteredOnce) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = recordingWindowProc;
  wc.lpszClassName = recordingClass.c_str();
  SetLastError(0);
  EXPECT_EQ(RegisterClassW(&wc), 0);
  EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                            nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

TEST_F(WindowMessages, SentMessagesRunAtOncePostedOnesInOrderAndQuitComesLast) {
  HWND w = make();
  MessageRecorder::instance().clear();
  PostMessageW(w, kA, 1, 0);
  PostQuitMessage(7);
  PostMessageW(w, kB, 2, 0);
  EXPECT_EQ(SendMessageW(w, kC, 3, 0), 0);
  EXPECT_EQ(MessageRecorder::instance().takeMessages(w), std::vector<UINT>{kC});

  std::vector<std::pair<UINT, WPARAM>> expected = {{kA, 1}, {kB, 2}, {WM_QUIT, 7}};
  MSG m;
  std::vector<std::pair<UINT, WPARAM>> got;
  BOOL r;
  while ((r = GetMessageW(&m, nullptr, 0, 0)) != 0) {
    ASSERT_EQ(r, TRUE);
    got.push_back({m.message, m.wParam});
    DispatchMessageW(&m);
  }
  got.push_back({m.message, m.wParam});
  EXPECT_EQ(got, expected);
  EXPECT_EQ(MessageRecorder::instance().takeMessages(w), (std::vector<UINT>{kA, kB}));
}

TEST_F(WindowMessages, WindowFilterFetchesOnlyThatWindowButAlwaysTheQuit) {
  HWND mine = make();
  HWND other = make();
  PostMessageW(other, kA, 0, 0);
  PostThreadMessageW(GetCurrentThreadId(), kB, 0, 0);
  PostMessageW(mine, kC, 0, 0);
  PostMessageW(mine, WM_CLOSE, 0, 0);
  EXPECT_EQ(fetchAll(mine), (std::vector<std::pair<UINT, WPARAM>>{{kC, 0}, {WM_CLOSE, 0}}));
  // The others are still waiting, in order.
  EXPECT_EQ(fetchAll(), (std::vector<std::pair<UINT, WPARAM>>{{kA, 0}, {kB, 0}}));

  PostMessageW(other, kA, 0, 0);
  PostQuitMessage(3);
  MSG m;
  EXPECT_EQ(GetMessageW(&m, mine, 0, 0), 0) << "a filtered loop still ends on the quit";
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_EQ(fetchAll(), (std::vector<std::pair<UINT, WPARAM>>{{kA, 0}}));
}

TEST_F(WindowMessages, RangeFilterAndBadWindows) {
  HWND w = make();
  PostMessageW(w, kA, 0, 0);
  PostMessageW(w, kB, 0, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, kB, kB, PM_REMOVE));
  EXPECT_EQ(m.message, kB);
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, kA);
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, kA);

  HWND gone = make();
  DestroyWindow(gone);
  SetLastError(0);
  EXPECT_FALSE(PostMessageW(gone, kA, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(GetMessageW(&m, gone, 0, 0), -1);
  EXPECT_EQ(SendMessageW(gone, kA, 0, 0), 0);
  EXPECT_FALSE(ShowWindow(gone, SW_SHOW));
  // A handle reused for a new window does not reach the new one.
  HWND fresh = make();
  EXPECT_NE(fresh, gone);
  EXPECT_FALSE(IsWindow(gone));
}

TEST_F(WindowMessages, CloseGoesThroughTheDefaultProcedureToDestroy) {
  HWND w = make();
  PostMessageW(w, WM_CLOSE, 1147, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  MessageRecorder::instance().clear();
  DispatchMessageW(&m);
  EXPECT_EQ(MessageRecorder::instance().takeMessages(w),
            (std::vector<UINT>{WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(IsWindow(w));
}

TEST_F(WindowMessages, FindWindowMatchesClassAndTitleOldestFirst) {
  HWND first = make(0, nullptr, u"Title");
  HWND owned = make(0, first, u"Title");
  HWND otherTitle = make(0, nullptr, u"Other");
  EXPECT_EQ(FindWindowW(recordingClass.c_str(), u"Title"), first);
  EXPECT_EQ(FindWindowW(recordingClass.c_str(), u"Other"), otherTitle);
  EXPECT_EQ(FindWindowW(nullptr, u"Other"), otherTitle);
  EXPECT_EQ(FindWindowW(recordingClass.c_str(), u"title"), nullptr);
  DestroyWindow(first);  // takes the owned window of this thread with it
  EXPECT_FALSE(IsWindow(owned));
  EXPECT_EQ(FindWindowW(recordingClass.c_str(), u"Title"), nullptr);
  auto top = listLocalTopLevelWindows();
  bool listed = false;
  for (auto& t : top) listed = listed || t.window == otherTitle;
  EXPECT_TRUE(listed);
}

}  // namespace
