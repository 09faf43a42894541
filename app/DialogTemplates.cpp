#include "app/DialogTemplates.h"

#include "quorvel/Version.h"
#include "res/Resource.h"
#include "ui/CDialog.h"

using ui::ControlKind;

const ui::DialogTemplate& MainDialogTemplate() {
  static const ui::DialogTemplate tmpl{
      IDD_MAIN_DIALOG,
      "Quorvel",
      280,
      162,
      "MS Sans Serif",
      10,
      {
          {IDC_UPDATE_BUTTON, ControlKind::PushButton, "Update Firmware", 100, 138, 80, 16, true, true},
          {IDC_PROGRESS, ControlKind::ProgressBar, "", 5, 125, 270, 5, false, false},
          {IDC_DEVICE_LIST, ControlKind::ListBox, "", 5, 6, 270, 114, false, false},
      },
  };
  return tmpl;
}

const ui::DialogTemplate& AboutDialogTemplate() {
  static const ui::DialogTemplate tmpl{
      IDD_ABOUT_DIALOG,
      "About",
      144,
      78,
      "MS Sans Serif",
      8,
      {
          {0, ControlKind::StaticIcon, "", 7, 18, 20, 20, false, false},
          {0, ControlKind::StaticText, quorvel::version::kAboutText, 35, 17, 97, 8, false, false},
          {0, ControlKind::StaticText, quorvel::version::kMakerNotice, 35, 30, 100, 8, false, false},
          {ui::IDOK, ControlKind::DefPushButton, "OK", 49, 53, 45, 14, false, true},
      },
  };
  return tmpl;
}
