#pragma once
// The application icon (frame, about box, task bar): a snow-capped peak
// against an evening sky, drawn at every size it is needed in.
#include <QIcon>
#include <QPixmap>

// The icon at `size` x `size` pixels.
QPixmap DrawAppIcon(int size);
// The icon with the usual sizes from 16 to 256 pixels.
QIcon MakeAppIcon();
