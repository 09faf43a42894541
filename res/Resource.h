#pragma once

// Resource identifiers of the program's windows, strings and icon.
inline constexpr int IDD_ABOUT_DIALOG = 100;
inline constexpr int IDS_ABOUT_MENU = 101;
inline constexpr int IDD_MAIN_DIALOG = 102;
inline constexpr int IDI_APP_ICON = 128;
inline constexpr int IDC_UPDATE_BUTTON = 1007;
inline constexpr int IDC_PROGRESS = 1039;
inline constexpr int IDC_DEVICE_LIST = 1044;

// Command of the window menu's About entry.
inline constexpr unsigned IDM_ABOUT = 16;

// The string table.
inline const char* LoadResourceString(int id) {
  switch (id) {
    case IDS_ABOUT_MENU:
      return "&About...";
    default:
      return "";
  }
}
