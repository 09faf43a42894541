#pragma once

#include <QIcon>

// The application icon: the picture at the sizes the desktop asks for.
QIcon AppIcon();
