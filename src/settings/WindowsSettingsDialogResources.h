// Identifiers shared by the settings dialog's resource template
// (WindowsSettingsDialog.rc) and its code. The resource compiler reads this
// file too, so it holds nothing but #defines.
#pragma once

#define IDD_QZ_DB_SETTINGS 1100
#define IDC_QZ_SETTING_LIST 1101
#define IDC_QZ_KIND_LABEL 1102
#define IDC_QZ_KIND 1103
#define IDC_QZ_CONNECT1_LABEL 1104
#define IDC_QZ_CONNECT1 1105
#define IDC_QZ_CONNECT2_LABEL 1106
#define IDC_QZ_CONNECT2 1107
#define IDC_QZ_CONNECT3_LABEL 1108
#define IDC_QZ_CONNECT3 1109
#define IDC_QZ_CONNECT4_LABEL 1110
#define IDC_QZ_CONNECT4 1111
#define IDC_QZ_MESSAGE 1112
