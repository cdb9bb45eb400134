// Through the wide-character API, so a folder named in any script works.
#include "program_folder.h"

#include <string>

#include <windows.h>

bool enterProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return false;
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // cut short: a longer buffer
  }
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return false;
  path.resize(slash + 1);
  return SetCurrentDirectoryW(path.c_str()) != 0;
}
