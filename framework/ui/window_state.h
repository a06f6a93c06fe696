#pragma once
// A screen's layout kept between openings and runs: the size and position of
// its window, whether it was maximized, its splitters' positions and its
// grids' column widths, in one settings file (QSettings, INI) under a group
// named after the screen. Unreadable or stale entries are ignored: the screen
// then opens as on its first time.

#include <QSize>
#include <QString>

class QWidget;

namespace fw {

// Saves the layout of `screen` (named by its objectName) shown in `frame`
// (its MDI sub-window, or the screen itself) to `file`. Nothing is saved
// without a file name or a screen name.
void SaveWindowState(const QString& file, const QWidget& screen, const QWidget& frame);

// Puts the kept layout of `screen` back: the frame's geometry (kept inside
// `bounds`, the size of the area it lives in), the splitters and the column
// widths. Returns whether the frame was maximized when kept; `found` tells
// whether anything was kept at all.
bool RestoreWindowState(const QString& file, QWidget& screen, QWidget& frame, const QSize& bounds,
                        bool& found);

// The width that shows every column of the screen's grids, whatever page
// they are on, with `chrome` pixels of frame and margins around them.
int WidthForAllColumns(const QWidget& screen, int chrome);

}  // namespace fw
