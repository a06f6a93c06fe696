#pragma once
// Validation helpers used by screen handlers.

#include "framework/data/format.h"

#include <QChar>
#include <QString>

class QWidget;

namespace fw {

class DBGrid;

// Shows `text` as an error through the dialog seam; with `abort` it then
// throws fw::EAbort (the silent abort), so it does not return.
void MensErro(const QString& text, bool abort = true);

// True when `text` is empty or only blanks.
bool EmptyString(const QString& text);

// Decides whether `key`, typed into `text` replacing the selection
// [selStart, selStart + selLength), keeps the number within `intDigits`
// integer and `decDigits` decimal digits (decimal comma). When it would not,
// sets `key` to QChar() so that it is refused, with a beep and the reason in
// the status text (number_entry.h). A "." is taken as the comma (`key` then
// holds ","). Control characters (backspace, tab, enter, ...) always pass;
// characters other than digits and the comma are left for the caller to
// judge. A second comma is refused, as is a comma when decDigits is 0.
void MaxNumber(const QString& text, int intDigits, int decDigits, QChar& key, int selStart,
               int selLength);

// Index of the column of `grid` that shows `fieldName` (exact name), -1 when
// no column shows it.
int IndiceCol(const DBGrid* grid, const QString& fieldName);

// Enables or disables every widget inside `container` (not the container).
void SetChildEnabled(QWidget* container, bool enabled);

}  // namespace fw
