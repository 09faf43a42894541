#include "app/CUpdaterDlg.h"

#include <QPainter>

#include "app/AppIcon.h"
#include "app/CAboutDlg.h"
#include "app/DialogTemplates.h"
#include "discovery/DeviceChange.h"
#include "discovery/Scan.h"
#include "res/Resource.h"

namespace {

// The system's icon size, for the minimised window's picture.
constexpr int kSystemIconSize = 32;

}  // namespace

QPoint IconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
  return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

CUpdaterDlg::CUpdaterDlg(UpdaterEnvironment environment, transfer::ProcessState& state, QWidget* parent)
    : ui::CDialog(MainDialogTemplate(), parent),
      m_appIcon(AppIcon()),
      m_environment(std::move(environment)),
      m_state(state) {
}

CUpdaterDlg::~CUpdaterDlg() { ReleaseHidNotification(); }

void CUpdaterDlg::DoDataExchange() {
  DDX_Control(IDC_DEVICE_LIST, m_deviceList);
  DDX_Control(IDC_PROGRESS, m_progressBar);
  DDX_Control(IDC_UPDATE_BUTTON, m_updateButton);
}

void CUpdaterDlg::BindEvents() {
  bindSysCommand([this](std::uint32_t id, std::uint32_t parameter) { OnSysCommand(id, parameter); });
  bindPaint([this] { OnPaint(); });
  bindQueryDragIcon([this] { return OnQueryDragIcon(); });
  connect(m_updateButton, &QPushButton::clicked, this, [this] { OnUpdateFirmware(); });
  bindClose([this] { OnClose(); });
  connect(m_deviceList, &ui::CListBox::selChange, this, [this] { OnSelchangeDeviceList(); });
  // Device changes reach OnDeviceChange through the registration (RegisterHidNotification).
}

bool CUpdaterDlg::OnInitDialog() {
  ui::CDialog::OnInitDialog();
  BindEvents();

  if (ui::WindowMenu* menu = GetSystemMenu()) {
    const std::string aboutText = LoadResourceString(IDS_ABOUT_MENU);
    if (!aboutText.empty()) {
      menu->AppendSeparator();
      menu->AppendString(IDM_ABOUT, aboutText);
    }
  }
  setWindowIcon(m_appIcon);
  m_state.hidClassGuid = hid::GetHidGuid();
  m_updateButton->EnableWindow(ScanDevices() != 0);
  m_state.rescanEnabled = true;
  RegisterHidNotification();
  UpdateData(false);
  return true;
}

int CUpdaterDlg::ScanDevices() {
  const discovery::ScanEnvironment environment{m_environment.hid, m_environment.fetch, m_environment.clock,
                                               m_environment.serviceBaseUrl};
  const int count = discovery::ScanDevices(environment, m_state, *m_deviceList);
  UpdateData(false);
  return count;
}

void CUpdaterDlg::RegisterHidNotification() {
  m_state.hidNotifyHandle = m_environment.hid.registerNotification(m_state.hidClassGuid);
  if (!m_state.hidNotifyHandle || m_state.hidNotifyHandle->fd() < 0) return;
  // Events are read only while the GUI thread dispatches events: in a modal loop or a pump.
  m_hidNotifier = new QSocketNotifier(m_state.hidNotifyHandle->fd(), QSocketNotifier::Read, this);
  connect(m_hidNotifier, &QSocketNotifier::activated, this, [this] { DeliverPendingDeviceChanges(); });
}

void CUpdaterDlg::DeliverPendingDeviceChanges() {
  if (!m_state.hidNotifyHandle) return;
  for (const hid::DeviceChangeEvent& event : m_state.hidNotifyHandle->receive()) {
    OnDeviceChange(event.eventType, &event.record);
  }
}

void CUpdaterDlg::ReleaseHidNotification() {
  if (m_hidNotifier) {
    // The notifier may be the sender of the signal that led here: delete it later.
    m_hidNotifier->setEnabled(false);
    m_hidNotifier->deleteLater();
    m_hidNotifier = nullptr;
  }
  m_state.hidNotifyHandle.reset();
}

void CUpdaterDlg::OnSysCommand(std::uint32_t id, std::uint32_t parameter) {
  if ((id & 0xFFF0U) == IDM_ABOUT) {
    CAboutDlg about(this);
    about.DoModal();
  } else {
    DefaultSysCommand(id, parameter);
  }
}

void CUpdaterDlg::OnUpdateFirmware() {
  transfer::RunUpdateProcedure(m_environment, {*m_deviceList, *m_progressBar, *m_updateButton}, m_state,
                               [this] { return ScanDevices(); });
}

void CUpdaterDlg::OnPaint() {
  if (!IsIconic()) {
    DefaultPaint();
    return;
  }
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const QPoint position = IconPosition(width(), height(), kSystemIconSize, kSystemIconSize);
  m_appIcon.paint(&painter, QRect(position, QSize(kSystemIconSize, kSystemIconSize)));
}

void CUpdaterDlg::OnClose() {
  m_state.abortRequested = true;
  ReleaseHidNotification();
  DefaultClose();
}

void CUpdaterDlg::OnOK() { ui::CDialog::OnOK(); }

void CUpdaterDlg::OnSelchangeDeviceList() {
  for (int i = 0; i < m_deviceList->GetCount(); ++i) {
    const std::uint32_t slot = m_deviceList->GetItemData(i);
    // Every entry carries a slot below kMaxDevices; anything else cannot be a listed device.
    if (slot >= static_cast<std::uint32_t>(discovery::kMaxDevices) || !m_state.deviceTable[slot].selectable) {
      m_deviceList->SetSel(false, i);
    }
  }
  m_updateButton->EnableWindow(m_deviceList->GetSelCount() != 0);
}

bool CUpdaterDlg::OnDeviceChange(std::uint32_t eventType, const hid::DeviceChangeRecord* eventData) {
  return discovery::HandleDeviceChange(m_state, eventType, eventData, [this] { return ScanDevices(); },
                                       *m_updateButton);
}
