#include "ui/CListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>

namespace ui {

namespace {

constexpr int kTextRole = Qt::UserRole;       // the entry's 8-bit text, as QByteArray
constexpr int kItemDataRole = Qt::UserRole + 1;  // the entry's 32-bit item value

unsigned char foldCase(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c; }

// Negative, zero or positive as a sorts before, with or after b.
int compareTexts(const QByteArray& a, const std::string& b) {
  const std::size_t n = std::min(static_cast<std::size_t>(a.size()), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char ca = foldCase(static_cast<unsigned char>(a[static_cast<qsizetype>(i)]));
    const unsigned char cb = foldCase(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (static_cast<std::size_t>(a.size()) == b.size()) return 0;
  return static_cast<std::size_t>(a.size()) < b.size() ? -1 : 1;
}

}  // namespace

class CListBox::ProgrammaticChange {
 public:
  explicit ProgrammaticChange(CListBox& list) : m_list(list), m_previous(list.m_programmatic) {
    m_list.m_programmatic = true;
  }
  ~ProgrammaticChange() { m_list.m_programmatic = m_previous; }
  ProgrammaticChange(const ProgrammaticChange&) = delete;
  ProgrammaticChange& operator=(const ProgrammaticChange&) = delete;

 private:
  CListBox& m_list;
  bool m_previous;
};

CListBox::CListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::MultiSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setTextElideMode(Qt::ElideNone);
  setWordWrap(false);
  setUniformItemSizes(true);
  // Not a tab stop; a click still gives it the focus.
  setFocusPolicy(Qt::ClickFocus);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (!m_programmatic) emit selChange();
  });
}

void CListBox::ResetContent() {
  ProgrammaticChange change(*this);
  clear();
}

int CListBox::AddString(const std::string& text) {
  ProgrammaticChange change(*this);
  int index = count();
  for (int i = 0; i < count(); ++i) {
    if (compareTexts(item(i)->data(kTextRole).toByteArray(), text) > 0) {
      index = i;
      break;
    }
  }
  auto* entry = new QListWidgetItem(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  entry->setData(kTextRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
  entry->setData(kItemDataRole, 0U);
  insertItem(index, entry);
  entry->setSelected(false);
  return index;
}

void CListBox::SetSel(bool select, int index) {
  ProgrammaticChange change(*this);
  if (QListWidgetItem* entry = item(index)) entry->setSelected(select);
}

void CListBox::SetItemData(int index, std::uint32_t value) {
  if (QListWidgetItem* entry = item(index)) entry->setData(kItemDataRole, value);
}

std::uint32_t CListBox::GetItemData(int index) const {
  const QListWidgetItem* entry = item(index);
  return entry ? entry->data(kItemDataRole).toUInt() : static_cast<std::uint32_t>(kError);
}

int CListBox::GetCount() const { return count(); }

int CListBox::GetSel(int index) const {
  const QListWidgetItem* entry = item(index);
  if (!entry) return kError;
  return entry->isSelected() ? 1 : 0;
}

int CListBox::GetSelCount() const { return static_cast<int>(selectionModel()->selectedRows().size()); }

void CListBox::EnableWindow(bool enable) { setEnabled(enable); }

std::string CListBox::GetText(int index) const {
  const QListWidgetItem* entry = item(index);
  return entry ? entry->data(kTextRole).toByteArray().toStdString() : std::string();
}

QItemSelectionModel::SelectionFlags CListBox::selectionCommand(const QModelIndex& index, const QEvent* event) const {
  // Exactly one toggle per click (a double click is a second click) or Space; dragging,
  // releasing and moving the current entry with the keyboard select nothing.
  if (!index.isValid() || !event) return QItemSelectionModel::NoUpdate;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton) return QItemSelectionModel::Toggle;
      return QItemSelectionModel::NoUpdate;
    case QEvent::KeyPress:
      if (static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Space) return QItemSelectionModel::Toggle;
      return QItemSelectionModel::NoUpdate;
    default:
      return QItemSelectionModel::NoUpdate;
  }
}

}  // namespace ui
