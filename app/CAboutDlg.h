#pragma once

#include "ui/CDialog.h"

// The About box: the icon, the program's name and release, the maker's notice and OK.
class CAboutDlg : public ui::CDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};
