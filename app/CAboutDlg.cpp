#include "app/CAboutDlg.h"

#include "app/AppIcon.h"
#include "app/DialogTemplates.h"

CAboutDlg::CAboutDlg(QWidget* parent) : ui::CDialog(AboutDialogTemplate(), parent) { setWindowIcon(AppIcon()); }
