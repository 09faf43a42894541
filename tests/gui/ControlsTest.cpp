// The list box, progress bar and dialog keyboard rules the program relies on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "ui/CListBox.h"
#include "ui/CProgressCtrl.h"

namespace ui {
namespace {

class ListBoxTest : public testing::Test {
 protected:
  void SetUp() override {
    list.resize(300, 200);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
  }
  void click(int index) {
    const QRect rect = list.visualItemRect(list.item(index));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (int i = 0; i < list.GetCount(); ++i) out.push_back(list.GetText(i));
    return out;
  }
  CListBox list;
};

TEST_F(ListBoxTest, AddStringInsertsAtTheSortedPlaceIgnoringCase) {
  struct Step {
    std::string text;
    int index;
  };
  const Step steps[] = {{"b", 0}, {"D", 1}, {"a", 0}, {"C", 2}, {"c", 3}, {"B", 2}, {"", 0}, {"_", 1}, {"[", 1}};
  for (const Step& s : steps) EXPECT_EQ(list.AddString(s.text), s.index) << s.text;
  // '[' and '_' lie between 'Z' and 'a': compared after folding, both sort before every letter.
  EXPECT_EQ(texts(), (std::vector<std::string>{"", "[", "_", "a", "b", "B", "C", "c", "D"}));
}

TEST_F(ListBoxTest, ItemValuesTravelWithTheirEntries) {
  list.SetItemData(list.AddString("m"), 7);
  list.SetItemData(list.AddString("z"), 8);
  list.SetItemData(list.AddString("a"), 9);
  EXPECT_EQ(list.GetItemData(0), 9U);
  EXPECT_EQ(list.GetItemData(1), 7U);
  EXPECT_EQ(list.GetItemData(2), 8U);
  EXPECT_EQ(list.GetSel(5), CListBox::kError);
}

TEST_F(ListBoxTest, ProgramChangesRaiseNoSelectionEventButEachClickToggles) {
  for (const char* t : {"a", "b", "c"}) list.AddString(t);
  QSignalSpy spy(&list, &CListBox::selChange);
  list.SetSel(true, 0);
  list.SetSel(true, 2);
  list.SetSel(false, 0);
  EXPECT_EQ(spy.count(), 0);
  EXPECT_EQ(list.GetSelCount(), 1);

  click(1);
  EXPECT_EQ(spy.count(), 1);
  EXPECT_GT(list.GetSel(1), 0);
  EXPECT_GT(list.GetSel(2), 0) << "a click adds to the selection";
  click(1);
  EXPECT_EQ(spy.count(), 2);
  EXPECT_EQ(list.GetSel(1), 0);

  list.setFocus();
  list.setCurrentRow(0, QItemSelectionModel::NoUpdate);
  QTest::keyClick(&list, Qt::Key_Down);
  EXPECT_EQ(spy.count(), 2) << "moving with the keyboard selects nothing";
  QTest::keyClick(&list, Qt::Key_Space);
  EXPECT_EQ(spy.count(), 3);
  EXPECT_GT(list.GetSel(1), 0);

  list.ResetContent();
  EXPECT_EQ(spy.count(), 3);
  EXPECT_EQ(list.GetCount(), 0);
}

TEST_F(ListBoxTest, ADisabledListTakesNoClick) {
  list.AddString("a");
  QSignalSpy spy(&list, &CListBox::selChange);
  list.EnableWindow(false);
  // Sent directly: QTest would warn that a disabled widget did not accept the click.
  const QPointF at = list.visualItemRect(list.item(0)).center();
  QMouseEvent press(QEvent::MouseButtonPress, at, list.viewport()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(list.viewport(), &press);
  EXPECT_EQ(spy.count(), 0);
  EXPECT_EQ(list.GetSel(0), 0);
}

TEST_F(ListBoxTest, NeverScrollsSideways) {
  list.AddString(std::string(500, 'W'));
  EXPECT_EQ(list.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  list.scrollToItem(list.item(0));
  EXPECT_EQ(list.horizontalScrollBar()->value(), 0);
}

TEST(ProgressCtrl, APositionOutsideTheRangeShowsAsTheNearerBound) {
  CProgressCtrl bar;
  bar.SetRange(0, 10000);
  struct Case {
    int position, shown;
  };
  for (const Case c : {Case{0, 0}, Case{5000, 5000}, Case{10000, 10000}, Case{10975, 10000}, Case{-3, 0}}) {
    bar.SetPos(c.position);
    EXPECT_EQ(bar.value(), c.shown) << c.position;
  }
  bar.SetRange(0, 6000);
  EXPECT_EQ(bar.value(), 0) << "the last position, -3, against the new range";
}

}  // namespace
}  // namespace ui
