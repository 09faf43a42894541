#pragma once

#include <vector>

namespace ui {

enum class ControlKind { PushButton, DefPushButton, ProgressBar, ListBox, StaticText, StaticIcon };

// One control of a dialog template. Positions and sizes are in dialog units of the dialog's font.
struct ControlTemplate {
  int id = 0;  // 0 or negative: a static control nobody refers to
  ControlKind kind = ControlKind::StaticText;
  const char* text = "";
  int x = 0, y = 0, cx = 0, cy = 0;
  bool disabled = false;
  bool tabStop = false;
};

// A dialog laid out as its template says: caption, client size in dialog units, the font the
// units are measured in, and the controls in template order, which is also the tab order.
struct DialogTemplate {
  int id = 0;
  const char* caption = "";
  int cx = 0, cy = 0;
  const char* fontFamily = "";
  int pointSize = 0;
  std::vector<ControlTemplate> controls;
};

}  // namespace ui
