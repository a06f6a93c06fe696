#include "framework/ui/consiste.h"

#include "framework/data/errors.h"
#include "framework/ui/dbgrid.h"
#include "framework/ui/dialogs.h"

#include <QWidget>

namespace fw {

void MensErro(const QString& text, bool abort) {
  Dialogs().ShowError(text);
  if (abort) Abort();
}

bool EmptyString(const QString& text) { return text.trimmed().isEmpty(); }

void MaxNumber(const QString& text, int intDigits, int decDigits, QChar& key, int selStart,
               int selLength) {
  const bool digit = key >= QLatin1Char('0') && key <= QLatin1Char('9');
  const bool comma = key == QLatin1Char(',');
  if (!digit && !comma) return;  // control keys pass; other characters are the caller's
  selStart = qBound(0, selStart, int(text.size()));
  selLength = qBound(0, selLength, int(text.size()) - selStart);
  const QString result = text.left(selStart) + key + text.mid(selStart + selLength);

  const qsizetype commaAt = result.indexOf(QLatin1Char(','));
  if (commaAt >= 0 && (decDigits <= 0 || result.indexOf(QLatin1Char(','), commaAt + 1) >= 0)) {
    key = QChar();
    return;
  }
  int intCount = 0;
  int decCount = 0;
  for (qsizetype i = 0; i < result.size(); ++i) {
    const QChar c = result.at(i);
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) continue;
    if (commaAt >= 0 && i > commaAt)
      ++decCount;
    else
      ++intCount;
  }
  if (intCount > intDigits || decCount > decDigits) key = QChar();
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
