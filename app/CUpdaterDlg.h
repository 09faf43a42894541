#pragma once

#include <QIcon>
#include <QPointer>
#include <QSocketNotifier>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "transfer/ProcessState.h"
#include "transfer/UpdateProcedure.h"
#include "hid/HidSystem.h"
#include "service/ServiceFetch.h"
#include "ui/CButton.h"
#include "ui/CDialog.h"
#include "ui/CListBox.h"
#include "ui/CProgressCtrl.h"
#include "ui/Clock.h"
#include "ui/Controls.h"

// Everything the program talks to, chosen where the program is composed: the real system in
// main(), simulated devices and a local service in the demo, fakes in tests.
using UpdaterEnvironment = transfer::UpdateEnvironment;

// Where the icon of a minimised window is drawn: centred, in signed arithmetic truncating
// toward zero, so a client area smaller than the icon gives a negative offset.
QPoint IconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight);

// The main window: the device list, the progress bar and the "Update Firmware" button.
class CUpdaterDlg : public ui::CDialog {
  Q_OBJECT

 public:
  CUpdaterDlg(UpdaterEnvironment environment, transfer::ProcessState& state, QWidget* parent = nullptr);
  ~CUpdaterDlg() override;

  int ScanDevices();
  void RegisterHidNotification();

  // The handlers of the event table.
  void OnSysCommand(std::uint32_t id, std::uint32_t parameter);
  void OnUpdateFirmware();
  void OnPaint();
  QIcon OnQueryDragIcon() const { return m_appIcon; }
  void OnClose();
  void OnSelchangeDeviceList();
  bool OnDeviceChange(std::uint32_t eventType, const hid::DeviceChangeRecord* eventData);

  ui::CListBox* deviceList() const { return m_deviceList; }
  ui::CProgressCtrl* progressBar() const { return m_progressBar; }
  ui::CButton* updateButton() const { return m_updateButton; }

 protected:
  bool OnInitDialog() override;
  void DoDataExchange() override;
  void OnOK() override;

 private:
  // The event table: binds each event to its handler, in table order.
  void BindEvents();
  void DeliverPendingDeviceChanges();
  void ReleaseHidNotification();

  ui::CListBox* m_deviceList = nullptr;
  ui::CProgressCtrl* m_progressBar = nullptr;
  ui::CButton* m_updateButton = nullptr;
  QIcon m_appIcon;

  UpdaterEnvironment m_environment;
  transfer::ProcessState& m_state;
  QPointer<QSocketNotifier> m_hidNotifier;
};
