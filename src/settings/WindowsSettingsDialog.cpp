// The settings dialog of the Windows build: a modal Win32 dialog from the
// resource template in WindowsSettingsDialog.rc, showing the settings by
// caption and the kind and four connection texts of the one selected. OK
// saves every setting to the store and hands the edits back in the array;
// Cancel changes nothing and answers 2. It is the dialog installed until the
// host installs its own.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/WindowsModule.h"
#include "settings/Captions.h"
#include "settings/SettingsDialog.h"
#include "settings/SettingsStore.h"
#include "settings/WindowsSettingsDialogResources.h"

namespace qz::settings {
namespace {

constexpr int kAccepted = 1;
constexpr int kCancelled = 2;

const int kConnectControls[4] = {IDC_QZ_CONNECT1, IDC_QZ_CONNECT2, IDC_QZ_CONNECT3, IDC_QZ_CONNECT4};

struct KindChoice {
  int kind;
  const wchar_t* caption_key;
};

// The kinds a person picks from. A stored kind that is none of these is
// shown as its number and kept as it is.
const KindChoice kKindChoices[] = {
    {0, L"IDS_DB_KIND_EMBEDDED"},
    {2, L"IDS_DB_KIND_POSTGRESQL"},
    {4, L"IDS_DB_KIND_ODBC"},
};

struct DialogState {
  std::vector<DBsSetNode>* settings;
  std::vector<DBsSetNode> edited;  // the caller's array changes only on OK
  int shown = -1;                  // the entry in the fields, or -1
};

std::wstring Translate(const wchar_t* key) { return QZTranslate(key, 0, 1); }

std::wstring ControlText(HWND dialog, int control) {
  HWND window = GetDlgItem(dialog, control);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

void SetControlText(HWND dialog, int control, const std::wstring& text) {
  SetDlgItemTextW(dialog, control, text.c_str());
}

// Selects kind in the kind list, adding it as a number when it is not one
// of the choices.
void ShowKind(HWND dialog, int kind) {
  HWND combo = GetDlgItem(dialog, IDC_QZ_KIND);
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    if (static_cast<int>(SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0)) == kind) {
      SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
      return;
    }
  }
  const std::wstring caption = Translate(L"IDS_DB_KIND_OTHER") + L" " + std::to_wstring(kind);
  const LRESULT added = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(caption.c_str()));
  SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(added), static_cast<LPARAM>(kind));
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(added), 0);
}

int SelectedKind(HWND dialog, int fallback) {
  HWND combo = GetDlgItem(dialog, IDC_QZ_KIND);
  const LRESULT selected = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (selected == CB_ERR) return fallback;
  return static_cast<int>(SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0));
}

// Takes what the fields hold into the entry they show. A field shows a text
// only up to a NUL it holds; left as shown, the text keeps all it held, so
// that the store refuses it rather than the dialog saving it shortened.
void KeepFields(HWND dialog, DialogState* state) {
  if (state->shown < 0) return;
  DBsSetNode& node = state->edited[static_cast<size_t>(state->shown)];
  node.nDBType = SelectedKind(dialog, node.nDBType);
  std::wstring* const texts[4] = {&node.strConnect1, &node.strConnect2, &node.strConnect3, &node.strConnect4};
  for (int i = 0; i < 4; ++i) {
    std::wstring shown = ControlText(dialog, kConnectControls[i]);
    if (shown != texts[i]->substr(0, texts[i]->find(L'\0'))) *texts[i] = std::move(shown);
  }
}

void ShowEntry(HWND dialog, DialogState* state, int index) {
  state->shown = index >= 0 && static_cast<size_t>(index) < state->edited.size() ? index : -1;
  const bool any = state->shown >= 0;
  EnableWindow(GetDlgItem(dialog, IDC_QZ_KIND), any);
  for (int control : kConnectControls) EnableWindow(GetDlgItem(dialog, control), any);
  if (!any) return;
  const DBsSetNode& node = state->edited[static_cast<size_t>(state->shown)];
  ShowKind(dialog, node.nDBType);
  const std::wstring* const texts[4] = {&node.strConnect1, &node.strConnect2, &node.strConnect3, &node.strConnect4};
  for (int i = 0; i < 4; ++i) SetControlText(dialog, kConnectControls[i], *texts[i]);
}

// Lets the list scroll sideways as far as its widest caption reaches, so
// that a caption longer than the list is never cut off.
void FitCaptions(HWND list, const std::vector<std::wstring>& captions) {
  HDC context = GetDC(list);
  if (context == nullptr) return;
  const HGDIOBJ previous = SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  LONG widest = 0;
  for (const std::wstring& caption : captions) {
    SIZE size = {};
    if (GetTextExtentPoint32W(context, caption.c_str(), static_cast<int>(caption.size()), &size) && size.cx > widest)
      widest = size.cx;
  }
  SelectObject(context, previous);
  ReleaseDC(list, context);
  // The list draws each item a few pixels in from its left edge.
  const LONG kItemMargin = 2 * GetSystemMetrics(SM_CXEDGE) + 4;
  SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + kItemMargin), 0);
}

void Initialise(HWND dialog, DialogState* state) {
  SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
  SetWindowTextW(dialog, Translate(L"IDS_DB_SETTINGS_DIALOG").c_str());
  const std::pair<int, const wchar_t*> labels[] = {
      {IDC_QZ_KIND_LABEL, L"IDS_DB_KIND"},
      {IDC_QZ_CONNECT1_LABEL, L"IDS_DB_CONNECT1"},
      {IDC_QZ_CONNECT2_LABEL, L"IDS_DB_CONNECT2"},
      {IDC_QZ_CONNECT3_LABEL, L"IDS_DB_CONNECT3"},
      {IDC_QZ_CONNECT4_LABEL, L"IDS_DB_CONNECT4"},
      {IDOK, L"IDS_OK"},
      {IDCANCEL, L"IDS_CANCEL"},
  };
  for (const auto& [control, key] : labels) SetControlText(dialog, control, Translate(key));

  HWND combo = GetDlgItem(dialog, IDC_QZ_KIND);
  for (const KindChoice& choice : kKindChoices) {
    const std::wstring caption = Translate(choice.caption_key);
    const LRESULT added = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(caption.c_str()));
    SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(added), static_cast<LPARAM>(choice.kind));
  }

  HWND list = GetDlgItem(dialog, IDC_QZ_SETTING_LIST);
  std::vector<std::wstring> captions;
  for (const DBsSetNode& node : state->edited) {
    captions.push_back(node.strCaption.empty() ? node.strSettingName : node.strCaption);
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(captions.back().c_str()));
  }
  FitCaptions(list, captions);
  SendMessageW(list, LB_SETCURSEL, 0, 0);
  ShowEntry(dialog, state, state->edited.empty() ? -1 : 0);
}

// Saves every entry; the dialog stays open with the reason when the store
// refuses, so that nothing the user typed is lost.
void Accept(HWND dialog, DialogState* state) {
  KeepFields(dialog, state);
  std::wstring error;
  if (!SaveSettings(state->edited, &error)) {
    SetControlText(dialog, IDC_QZ_MESSAGE, error);
    return;
  }
  *state->settings = state->edited;
  EndDialog(dialog, kAccepted);
}

INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      Initialise(dialog, reinterpret_cast<DialogState*>(lparam));
      return TRUE;
    case WM_COMMAND:
      if (state == nullptr) return FALSE;
      switch (LOWORD(wparam)) {
        case IDC_QZ_SETTING_LIST:
          if (HIWORD(wparam) == LBN_SELCHANGE) {
            KeepFields(dialog, state);
            const LRESULT selected = SendMessageW(GetDlgItem(dialog, IDC_QZ_SETTING_LIST), LB_GETCURSEL, 0, 0);
            ShowEntry(dialog, state, selected == LB_ERR ? -1 : static_cast<int>(selected));
          }
          return TRUE;
        case IDOK:
          Accept(dialog, state);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, kCancelled);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

// The mode is the suite's and changes nothing here. The template is in the
// module the library kept at load. A dialog that cannot be created is a
// dialog nobody confirmed.
int ShowSettingsDialog(std::vector<DBsSetNode>& settings, int /*mode*/) {
  DialogState state;
  state.settings = &settings;
  state.edited = settings;
  const INT_PTR result = DialogBoxParamW(qz::platform::OwnModule(), MAKEINTRESOURCEW(IDD_QZ_DB_SETTINGS),
                                         GetActiveWindow(), DialogProcedure, reinterpret_cast<LPARAM>(&state));
  return result == kAccepted ? kAccepted : kCancelled;
}

}  // namespace

QZNVGeZhuanSettingsDialog DefaultSettingsDialog() { return ShowSettingsDialog; }

}  // namespace qz::settings
