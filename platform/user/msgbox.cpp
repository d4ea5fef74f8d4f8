// Message boxes: MessageBoxW.
//
// Every box goes to a replaceable backend. The headless one (the default)
// prints the box as one line on standard output,
//   msgbox<TAB>title<TAB>text
// in UTF-8, each line break of the text written as the two characters \n so
// that one box is always one line, and answers OK at once. The host's waiting
// backend draws the box over the screen and waits; it prints the same line.
#include "platform/user/msgbox.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/core/wide_text.h"

namespace {
std::atomic<MessageBoxBackend> gBackend{nullptr};
std::mutex gStdoutLock;  // one box, one whole line, whichever thread shows it
}  // namespace

std::string messageBoxLine(LPCWSTR text, LPCWSTR caption) {
  std::string line = "msgbox\t";
  line += utf8FromUtf16(caption ? caption : u"Error");
  line += '\t';
  std::string body = utf8FromUtf16(text ? text : u"");
  for (size_t i = 0; i < body.size(); ++i) {
    char ch = body[i];
    if (ch == '\r') {
      if (i + 1 < body.size() && body[i + 1] == '\n') ++i;  // CR LF is one break
      line += "\\n";
    } else if (ch == '\n') {
      line += "\\n";
    } else {
      line += ch;
    }
  }
  return line;
}

int headlessMessageBox(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
  std::string line = messageBoxLine(text, caption);
  line += '\n';
  std::lock_guard<std::mutex> lock(gStdoutLock);
  fwrite(line.data(), 1, line.size(), stdout);
  fflush(stdout);
  return IDOK;
}

MessageBoxBackend setMessageBoxBackend(MessageBoxBackend backend) {
  return gBackend.exchange(backend);
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  MessageBoxBackend backend = gBackend.load();
  if (!backend) backend = headlessMessageBox;
  return backend(owner, text, caption, type);
}
