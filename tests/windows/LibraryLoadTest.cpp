// The library as a host program meets it: loaded from a folder whose name
// is not ASCII (the build puts this program and the DLLs in one), it keeps
// its own module handle and shows its settings dialog from its own
// resources, with every caption of the list whole.
#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "settings/WindowsSettingsDialogResources.h"

namespace {

const wchar_t kLibrary[] = L"QZNVGeZhuanDBCtrlU.dll";

// The folder of this program, with its trailing backslash.
std::wstring OwnFolder() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

// What is seen of the settings dialog of the thread `owner` once it shows.
struct SeenDialog {
  bool found = false;
  HINSTANCE module = nullptr;        // whose template it was made from
  std::vector<std::wstring> cutOff;  // captions the list shows only in part
};

// Waits for the dialog, looks at it, and cancels it.
SeenDialog LookAndCancel(DWORD owner) {
  SeenDialog seen;
  HWND dialog = nullptr;
  for (int i = 0; i < 500 && dialog == nullptr; ++i) {
    for (HWND window = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, L"#32770", nullptr))
      if (GetWindowThreadProcessId(window, nullptr) == owner && GetDlgItem(window, IDC_QZ_SETTING_LIST) != nullptr)
        dialog = window;
    if (dialog == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (dialog == nullptr) return seen;
  seen.found = true;
  seen.module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));

  // A caption is whole when the list is wide enough for it, or scrolls
  // sideways far enough.
  HWND list = GetDlgItem(dialog, IDC_QZ_SETTING_LIST);
  RECT client = {};
  GetClientRect(list, &client);
  const LONG reach = std::max<LONG>(client.right, static_cast<LONG>(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0)));
  HDC context = GetDC(list);
  const HGDIOBJ previous = SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring caption(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0)) + 1, L'\0');
    caption.resize(static_cast<size_t>(
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(caption.data()))));
    SIZE size = {};
    GetTextExtentPoint32W(context, caption.c_str(), static_cast<int>(caption.size()), &size);
    if (size.cx > reach) seen.cutOff.push_back(caption);
  }
  SelectObject(context, previous);
  ReleaseDC(list, context);
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  return seen;
}

TEST(LibraryLoad, FromNonAsciiFolderFindsItsDialogThroughItsOwnModule) {
  const std::wstring folder = OwnFolder();
  ASSERT_NE(folder.find(L"扩展模块"), std::wstring::npos) << "the build puts this program in a folder named 扩展模块";

  // The DLL by its full path: the module the program's imports loaded.
  const HMODULE library = LoadLibraryW((folder + kLibrary).c_str());
  ASSERT_NE(library, nullptr) << "LoadLibraryW failed: " << GetLastError();
  EXPECT_EQ(library, GetModuleHandleW(kLibrary));
  EXPECT_NE(FindResourceW(library, MAKEINTRESOURCEW(IDD_QZ_DB_SETTINGS), MAKEINTRESOURCEW(5) /* RT_DIALOG */), nullptr);

  // A key of its own, so that nothing here touches real settings.
  QZNVGeZhuanSetSettingsFile("Software\\QZ\\LibraryLoadTest");
  SeenDialog seen;
  const DWORD owner = GetCurrentThreadId();
  std::thread looker([&] { seen = LookAndCancel(owner); });
  CQZNVGeZhuanDBControl control;
  std::vector<DBsSetNode> settings;
  control.GetQZNVGeZhuanALLDBSettings(settings, 1, 1);
  looker.join();
  QZNVGeZhuanSetSettingsFile("");
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QZ\\LibraryLoadTest");

  ASSERT_TRUE(seen.found) << "the settings dialog did not show";
  EXPECT_EQ(seen.module, library) << "the dialog was not made from the library's own module";
  for (const std::wstring& caption : seen.cutOff)
    ADD_FAILURE() << "cut off in the list: " << caption.size() << " characters";
  EXPECT_TRUE(FreeLibrary(library));
}

}  // namespace
