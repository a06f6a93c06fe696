#include "framework/ui/consiste.h"

#include "framework/data/errors.h"
#include "framework/ui/dbgrid.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/number_entry.h"
#include "framework/ui/status_text.h"

#include <QWidget>

namespace fw {

void MensErro(const QString& text, bool abort) {
  Dialogs().ShowError(text);
  if (abort) Abort();
}

bool EmptyString(const QString& text) { return text.trimmed().isEmpty(); }

void MaxNumber(const QString& text, int intDigits, int decDigits, QChar& key, int selStart,
               int selLength) {
  key = NumberKey(key);
  const bool digit = key >= QLatin1Char('0') && key <= QLatin1Char('9');
  if (!digit && key != QLatin1Char(','))
    return;  // control keys pass; other characters are the caller's
  const QString reason = NumberRefusal(text, intDigits, decDigits, key, selStart, selLength);
  if (reason.isEmpty()) return;
  key = QChar();
  RefuseInput(reason);
}

int IndiceCol(const DBGrid* grid, const QString& fieldName) {
  if (!grid) return -1;
  const QList<DBGridColumn*> columns = grid->Columns();
  for (int i = 0; i < columns.size(); ++i)
    if (columns.at(i)->FieldName() == fieldName) return i;
  return -1;
}

void SetChildEnabled(QWidget* container, bool enabled) {
  if (!container) return;
  const auto children = container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (QWidget* child : children)
    if (!child->isWindow()) child->setEnabled(enabled);
}

}  // namespace fw
