#include <windows.h>

#include "platform/code_page.h"
#include "platform/wide_path_win32.h"

bool representableIn(const wchar_t* text, unsigned codePage) {
  if (codePage == CP_UTF8) {
    // Only a lone surrogate has no UTF-8 form.
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr,
                               nullptr) != 0;
  }
  BOOL replaced = FALSE;
  int size =
      WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &replaced);
  return size != 0 && !replaced;
}

bool argumentsArriveWhole() { return representableIn(GetCommandLineW(), GetACP()); }
