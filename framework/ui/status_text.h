#pragma once
// Short feedback where the user looks: the status bar of the host's main
// window, or a tooltip at the control when there is no host window (a screen
// run on its own). Nothing is asked and nothing waits.

#include <QString>

class QWidget;

namespace fw {

// Shows `text` for a few seconds; `near` places the tooltip when there is no
// status bar (nullptr: at the focused control).
void StatusText(const QString& text, QWidget* near = nullptr);

// A refused input: the beep, then `reason` as StatusText. Counted, so that a
// caller can tell whether a refusal was already explained.
void RefuseInput(const QString& reason, QWidget* near = nullptr);
int RefusalCount();

}  // namespace fw
