// The batch's closing message, formatted as the device's wsprintfW does.
#include "ui/closing_message.h"

#include "platform/core/wide_text.h"

namespace {

const WCHAR kClosingFormat[] = u"Обработано фотографий: %d из %d фотографий.";
const WCHAR kTitleCancelled[] = u"Действие отменено!";
const WCHAR kTitleFinished[] = u"Запись GPS завершена";

}  // namespace

LPCWSTR closingMessage(int tagged, int total, bool cancelled, WCHAR* text, size_t size) {
  WCHAR formatted[1024];  // wsprintfW's own bound
  wsprintfW(formatted, kClosingFormat, tagged, total);
  wcsncpy16(text, formatted, size);
  return cancelled ? kTitleCancelled : kTitleFinished;
}
