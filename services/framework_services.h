#pragma once
// The framework services this module leans on, under names that read well in
// the screen's handlers: the host's main window and busy indicator, showing a
// screen as a child window of the host, and filter expressions built from
// quoted values.

#include <QList>
#include <QPair>
#include <QString>

class QWidget;

namespace trp::services {

// The host's main window (null without a host).
QWidget* HostMainWindow();

// Busy indicator over the host's main window; every show needs one hide.
void ShowBusy(int kind);
void HideBusy();

// Shows and hides the busy indicator for a block, also when it unwinds.
class Busy {
 public:
  explicit Busy(int kind) { ShowBusy(kind); }
  ~Busy() { HideBusy(); }
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;
};

// "F1 = 'a' and F2 = 'b'": equality tests joined by "and", each value quoted
// so that a quote inside a code cannot break the expression.
QString FilterEquals(const QList<QPair<QString, QString>>& fieldValues);

}  // namespace trp::services
