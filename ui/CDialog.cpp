#include "ui/CDialog.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPaintEvent>
#include <QPushButton>
#include <QScreen>

#include "ui/CButton.h"
#include "ui/CListBox.h"
#include "ui/CProgressCtrl.h"
#include "ui/DialogUnits.h"

namespace ui {

CDialog::CDialog(DialogTemplate dialogTemplate, QWidget* parent)
    : QDialog(parent), m_template(std::move(dialogTemplate)) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setWindowModality(Qt::ApplicationModal);
  m_windowMenu.AppendString(SC_CLOSE, "&Close");
}

CDialog::~CDialog() = default;

void CDialog::createControls() {
  if (m_created) return;
  m_created = true;
  setWindowTitle(QString::fromLatin1(m_template.caption));
  QFont font(QString::fromLatin1(m_template.fontFamily), m_template.pointSize);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  const DialogUnits units(font);

  QWidget* previous = nullptr;
  for (const ControlTemplate& control : m_template.controls) {
    const QString text = QString::fromLatin1(control.text);
    QWidget* widget = nullptr;
    switch (control.kind) {
      case ControlKind::PushButton:
        widget = new CButton(text, this);
        break;
      case ControlKind::DefPushButton: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(true);
        button->setDefault(true);
        widget = button;
        break;
      }
      case ControlKind::ProgressBar:
        widget = new CProgressCtrl(this);
        break;
      case ControlKind::ListBox:
        widget = new CListBox(this);
        break;
      case ControlKind::StaticText: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        widget = label;
        break;
      }
      case ControlKind::StaticIcon: {
        auto* label = new QLabel(this);
        label->setPixmap(windowIcon().pixmap(32, 32));
        widget = label;
        break;
      }
    }
    widget->setGeometry(units.toPixels(control.x, control.y, control.cx, control.cy));
    widget->setEnabled(!control.disabled);
    if (control.kind == ControlKind::PushButton || control.kind == ControlKind::DefPushButton) {
      widget->setFocusPolicy(control.tabStop ? Qt::StrongFocus : Qt::ClickFocus);
    }
    if (control.id > 0) m_controls[control.id] = widget;
    // The dialog commands: a button with the ID of OK or Cancel raises that command.
    if (auto* button = qobject_cast<QPushButton*>(widget); button && (control.id == IDOK || control.id == IDCANCEL)) {
      const int command = control.id;
      connect(button, &QPushButton::clicked, this, [this, command] { command == IDOK ? OnOK() : OnCancel(); });
    }
    if (previous && widget->focusPolicy() & Qt::TabFocus) setTabOrder(previous, widget);
    if (widget->focusPolicy() & Qt::TabFocus) previous = widget;
  }
  setFixedSize(units.toPixelsX(m_template.cx), units.toPixelsY(m_template.cy));
}

QWidget* CDialog::GetDlgItem(int id) const {
  const auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : it->second;
}

int CDialog::DoModal() {
  createControls();
  m_endRequested = false;
  m_result = IDCANCEL;
  const bool setFocusToFirst = OnInitDialog();
  if (m_endRequested) return m_result;
  centre();
  show();
  if (setFocusToFirst) {
    QWidget* first = nullptr;
    for (const ControlTemplate& control : m_template.controls) {
      QWidget* widget = GetDlgItem(control.id);
      if (widget && control.tabStop && widget->isEnabled()) {
        first = widget;
        break;
      }
    }
    if (first) {
      first->setFocus(Qt::TabFocusReason);
    } else {
      setFocus(Qt::OtherFocusReason);
    }
  }
  m_loop = std::make_unique<QEventLoop>();
  m_running = true;
  if (!m_endRequested) m_loop->exec(QEventLoop::DialogExec);
  m_running = false;
  m_loop.reset();
  hide();
  return m_result;
}

void CDialog::EndDialog(int result) {
  m_result = result;
  m_endRequested = true;
  if (m_loop) m_loop->exit(result);
}

void CDialog::centre() {
  const QRect frame = frameGeometry();
  QRect area;
  if (QWidget* owner = parentWidget(); owner && owner->isVisible()) {
    area = owner->frameGeometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

bool CDialog::UpdateData(bool /*saveAndValidate*/) {
  // Controls are bound on the first exchange; no value is ever moved between members and controls.
  DoDataExchange();
  return true;
}

void CDialog::OnOK() {
  if (!UpdateData(true)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::SendSysCommand(std::uint32_t command, std::uint32_t parameter) {
  if (m_onSysCommand) {
    m_onSysCommand(command, parameter);
  } else {
    DefaultSysCommand(command, parameter);
  }
}

void CDialog::DefaultSysCommand(std::uint32_t command, std::uint32_t /*parameter*/) {
  switch (command & 0xFFF0U) {
    case SC_CLOSE:
      RequestClose();
      break;
    case SC_MINIMIZE:
      showMinimized();
      break;
    default:
      break;
  }
}

void CDialog::RequestClose() {
  if (m_onClose) {
    m_onClose();
  } else {
    DefaultClose();
  }
}

void CDialog::DefaultClose() {
  // The close request is answered with a Cancel command, handled when events are next dispatched.
  QMetaObject::invokeMethod(this, [this] { OnCancel(); }, Qt::QueuedConnection);
}

void CDialog::closeEvent(QCloseEvent* event) {
  // The window is never closed behind the modal run's back: the close request decides.
  event->ignore();
  RequestClose();
}

void CDialog::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      if (event->modifiers() == Qt::NoModifier) {
        OnCancel();
        return;
      }
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled()) {
        button->click();
      } else if (auto* defaultButton = findChild<QPushButton*>(); defaultButton && defaultButton->isDefault() &&
                                                                  defaultButton->isEnabled()) {
        defaultButton->click();
      } else {
        OnOK();
      }
      return;
    default:
      break;
  }
  // Past QDialog's own handler on purpose: it would make Escape reject and Enter click a default button.
  QWidget::keyPressEvent(event);
}

void CDialog::paintEvent(QPaintEvent* event) {
  m_currentPaint = event;
  if (m_onPaint) {
    m_onPaint();
  } else {
    DefaultPaint();
  }
  m_currentPaint = nullptr;
}

void CDialog::DefaultPaint() {
  if (m_currentPaint) QDialog::paintEvent(m_currentPaint);
}

void CDialog::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  for (const WindowMenu::Entry& entry : m_windowMenu.entries()) {
    if (entry.separator) {
      menu.addSeparator();
    } else {
      const std::uint32_t command = entry.command;
      menu.addAction(QString::fromLatin1(entry.text.c_str()), this, [this, command] { SendSysCommand(command, 0); });
    }
  }
  if (!menu.isEmpty()) menu.exec(event->globalPos());
}

void CDialog::done(int result) { EndDialog(result); }

}  // namespace ui
