#pragma once

#include <QDialog>
#include <QIcon>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/DialogTemplate.h"

class QEventLoop;

namespace ui {

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// System commands the window layer knows. The program's own commands lie below 0xF000.
inline constexpr std::uint32_t SC_MINIMIZE = 0xF020;
inline constexpr std::uint32_t SC_CLOSE = 0xF060;

// The window menu: Linux window managers own the title bar's menu, so the dialog's own entries
// live in a context menu of the window (right click, Shift+F10, the Menu key). Choosing an
// entry delivers its command to the dialog as a system command.
class WindowMenu {
 public:
  struct Entry {
    bool separator = false;
    std::uint32_t command = 0;
    std::string text;
  };
  void AppendSeparator() { m_entries.push_back({true, 0, {}}); }
  void AppendString(std::uint32_t command, const std::string& text) { m_entries.push_back({false, command, text}); }
  const std::vector<Entry>& entries() const { return m_entries; }

 private:
  std::vector<Entry> m_entries;
};

// A dialog built from a template and run modally, with the dialog commands OK and Cancel.
//
// The modal run has its own event loop. Ending the dialog while a handler is still running
// (from inside a message pump) ends the run once control returns to the loop; until then the
// window stays visible, so a long operation that goes on still shows its progress.
//
// Events are delivered to handlers that a subclass binds (see the bind* functions); events
// without a bound handler get the default handling.
class CDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CDialog(DialogTemplate dialogTemplate, QWidget* parent = nullptr);
  ~CDialog() override;

  // Creates the window and its controls, runs OnInitDialog, shows the window centred and runs
  // it until it ends. Returns the result passed to EndDialog.
  int DoModal();
  void EndDialog(int result);
  bool isRunning() const { return m_running; }

  QWidget* GetDlgItem(int id) const;
  WindowMenu* GetSystemMenu() { return &m_windowMenu; }
  bool IsIconic() const { return isMinimized(); }

  // Delivers a system command as a choice in the window menu does.
  void SendSysCommand(std::uint32_t command, std::uint32_t parameter);
  // Raises the close request, as the close box and Alt+F4 do.
  void RequestClose();

 protected:
  // Runs once, after the controls exist and before the window is shown. The base runs the
  // first data exchange. Returning true gives the focus to the first control that takes it.
  virtual bool OnInitDialog();
  virtual void DoDataExchange() {}
  bool UpdateData(bool saveAndValidate);
  template <class T>
  void DDX_Control(int id, T*& member) {
    if (!member) member = qobject_cast<T*>(GetDlgItem(id));
  }

  virtual void OnOK();
  virtual void OnCancel();

  // Bindings of events to handlers. Each is made once, by the subclass's event table.
  void bindSysCommand(std::function<void(std::uint32_t, std::uint32_t)> handler) { m_onSysCommand = std::move(handler); }
  void bindPaint(std::function<void()> handler) { m_onPaint = std::move(handler); }
  void bindQueryDragIcon(std::function<QIcon()> handler) { m_onQueryDragIcon = std::move(handler); }
  void bindClose(std::function<void()> handler) { m_onClose = std::move(handler); }

  // The default handling of events whose handler wants it.
  void DefaultSysCommand(std::uint32_t command, std::uint32_t parameter);
  void DefaultPaint();
  void DefaultClose();

  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void done(int result) override;

 private:
  void createControls();
  void centre();

  DialogTemplate m_template;
  std::map<int, QWidget*> m_controls;
  WindowMenu m_windowMenu;
  std::unique_ptr<QEventLoop> m_loop;
  bool m_created = false;
  bool m_running = false;
  bool m_endRequested = false;
  int m_result = IDCANCEL;
  QPaintEvent* m_currentPaint = nullptr;

  std::function<void(std::uint32_t, std::uint32_t)> m_onSysCommand;
  std::function<void()> m_onPaint;
  std::function<QIcon()> m_onQueryDragIcon;
  std::function<void()> m_onClose;
};

}  // namespace ui
