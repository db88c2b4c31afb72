// The Win32 settings dialog, driven from a second thread through window
// messages, as a person's clicks and typing would reach it.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "settings/SettingsDialog.h"
#include "settings/SettingsFixture.h"
#include "settings/SettingsStore.h"
#include "settings/WindowsSettingsDialogResources.h"

namespace {

using qz::testing::CompleteStore;
using qz::testing::SettingsTest;

// Finds the dialog, lets `drive` work it, and makes sure it ends: `drive`
// closes it itself, and when it could not, Cancel does.
class DialogDriver {
 public:
  // Constructed on the thread that will show the dialog.
  explicit DialogDriver(std::function<void(HWND)> drive)
      : owner_(GetCurrentThreadId()), thread_([this, drive] { Run(drive); }) {}
  ~DialogDriver() { thread_.join(); }
  bool found() const { return found_; }

 private:
  void Run(const std::function<void(HWND)>& drive) {
    HWND dialog = nullptr;
    for (int i = 0; i < 500 && dialog == nullptr; ++i) {
      dialog = FindDialog();
      if (dialog == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (dialog == nullptr) return;
    // A modal dialog is shown once its message loop first runs idle.
    for (int i = 0; i < 100 && !IsWindowVisible(dialog); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    found_ = true;
    drive(dialog);
    if (IsWindow(dialog)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  }

  // The settings dialog of the owner thread: other test programs running at
  // the same time show theirs too.
  HWND FindDialog() const {
    for (HWND window = FindWindowExW(nullptr, nullptr, L"#32770", L"Database settings"); window != nullptr;
         window = FindWindowExW(nullptr, window, L"#32770", L"Database settings"))
      if (GetWindowThreadProcessId(window, nullptr) == owner_) return window;
    return nullptr;
  }

  const DWORD owner_;
  bool found_ = false;
  std::thread thread_;
};

std::wstring Text(HWND dialog, int control) {
  wchar_t text[512] = {};
  GetDlgItemTextW(dialog, control, text, 512);
  return text;
}

std::wstring ListItem(HWND dialog, int index) {
  wchar_t text[256] = {};
  SendDlgItemMessageW(dialog, IDC_QZ_SETTING_LIST, LB_GETTEXT, static_cast<WPARAM>(index),
                      reinterpret_cast<LPARAM>(text));
  return text;
}

// Selects an entry of the list as a click does: the selection, then the
// notification to the dialog.
void Select(HWND dialog, int index) {
  HWND list = GetDlgItem(dialog, IDC_QZ_SETTING_LIST);
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_QZ_SETTING_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void Type(HWND dialog, int control, const std::wstring& text) {
  SendDlgItemMessageW(dialog, control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// The kind list's entry that stands for kind, or -1.
int KindIndex(HWND dialog, int kind) {
  const int count = static_cast<int>(SendDlgItemMessageW(dialog, IDC_QZ_KIND, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i)
    if (static_cast<int>(SendDlgItemMessageW(dialog, IDC_QZ_KIND, CB_GETITEMDATA, static_cast<WPARAM>(i), 0)) == kind)
      return i;
  return -1;
}

int SelectedKind(HWND dialog) {
  const LRESULT selected = SendDlgItemMessageW(dialog, IDC_QZ_KIND, CB_GETCURSEL, 0, 0);
  return static_cast<int>(SendDlgItemMessageW(dialog, IDC_QZ_KIND, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0));
}

class WindowsSettingsDialogTest : public SettingsTest {
 protected:
  WindowsSettingsDialogTest() { QZNVGeZhuanSetSettingsDialog(qz::settings::DefaultSettingsDialog()); }
};

// The dialog shows each setting by its caption and the selected setting's
// values; what is typed into several settings is saved to the store on OK
// and handed back in the array.
TEST_F(WindowsSettingsDialogTest, EditsSavedAndHandedBackOnOk) {
  WriteStore(CompleteStore());
  const std::wstring kMusic = L"DSN=\U0001D11E乐谱";
  std::vector<DBsSetNode> settings;
  DialogDriver driver([&](HWND dialog) {
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_QZ_SETTING_LIST, LB_GETCOUNT, 0, 0), 6);
    EXPECT_EQ(ListItem(dialog, 0), L"Common data database");
    EXPECT_EQ(ListItem(dialog, 5), L"QZNV centre database");
    EXPECT_EQ(Text(dialog, IDC_QZ_CONNECT2_LABEL), L"Database or file");
    EXPECT_EQ(Text(dialog, IDC_QZ_CONNECT1), L"/var/lib/qz");
    EXPECT_EQ(SelectedKind(dialog), 0);
    Select(dialog, 1);
    EXPECT_EQ(Text(dialog, IDC_QZ_CONNECT3), L"user1");
    EXPECT_EQ(SelectedKind(dialog), 2);
    Type(dialog, IDC_QZ_CONNECT4, L"new secret");

    Select(dialog, 5);
    EXPECT_EQ(Text(dialog, IDC_QZ_CONNECT2), L"suite5");
    SendDlgItemMessageW(dialog, IDC_QZ_KIND, CB_SETCURSEL, static_cast<WPARAM>(KindIndex(dialog, 4)), 0);
    Type(dialog, IDC_QZ_CONNECT1, kMusic);
    Type(dialog, IDC_QZ_CONNECT2, L"gezhuan");
    // Back to an edited entry: the edit is still there.
    Select(dialog, 1);
    EXPECT_EQ(Text(dialog, IDC_QZ_CONNECT4), L"new secret");
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(control_.SetQZNVGeZhuanALLDBSettings(settings), 1);
  ASSERT_TRUE(driver.found()) << "the dialog did not appear";
  ASSERT_EQ(settings.size(), 6u);
  EXPECT_EQ(settings[1].strConnect4, L"new secret");
  EXPECT_EQ(settings[5].nDBType, 4);
  EXPECT_EQ(settings[5].strConnect1, kMusic);
  EXPECT_EQ(settings[0].strConnect1, L"/var/lib/qz");

  std::vector<DBsSetNode> stored;
  ASSERT_EQ(control_.GetQZNVGeZhuanALLDBSettings(stored, 0, 0), 1);
  EXPECT_EQ(stored[1].strConnect4, L"new secret");
  EXPECT_EQ(stored[5].nDBType, 4);
  EXPECT_EQ(stored[5].strConnect1, kMusic);
  EXPECT_EQ(stored[5].strConnect2, L"gezhuan");
}

// Cancel: the caller's array and the store stay as they were, and the
// method answers 0.
TEST_F(WindowsSettingsDialogTest, CancelChangesNothing) {
  WriteStore(CompleteStore());
  const std::string before = ReadStore();
  std::vector<DBsSetNode> settings;
  DialogDriver driver([&](HWND dialog) {
    Type(dialog, IDC_QZ_CONNECT1, L"changed");
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(control_.SetQZNVGeZhuanALLDBSettings(settings), 0);
  ASSERT_TRUE(driver.found());
  EXPECT_EQ(settings[0].strConnect1, L"/var/lib/qz");
  EXPECT_EQ(ReadStore(), before);
}

// The incomplete own setting brings the dialog up; a store that refuses
// the save keeps it open with the reason, and nothing typed is lost.
TEST_F(WindowsSettingsDialogTest, RefusedSaveKeepsTheDialogOpenWithTheReason) {
  DBsSetNode bad;
  bad.strSettingName = L"Bad\\Name";
  bad.strCaption = L"A setting with a bad name";
  std::vector<DBsSetNode> settings = {bad};
  std::wstring message;
  bool still_open = false;
  DialogDriver driver([&](HWND dialog) {
    Type(dialog, IDC_QZ_CONNECT1, L"typed");
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    still_open = IsWindow(dialog) && IsWindowVisible(dialog);
    message = Text(dialog, IDC_QZ_MESSAGE);
    EXPECT_EQ(Text(dialog, IDC_QZ_CONNECT1), L"typed");
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(qz::settings::CallDBsSettingDialog(settings, 1), 2);
  ASSERT_TRUE(driver.found());
  EXPECT_TRUE(still_open);
  EXPECT_NE(message.find(L"Bad\\Name"), std::wstring::npos);
  EXPECT_EQ(settings[0].strConnect1, L"");
}

}  // namespace
