#pragma once
// Filter expressions of a Dataset: equality tests joined by "and", values in
// single quotes with a quote inside written doubled. Internal to framework/data.

#include <QList>
#include <QString>

namespace fw {

struct FilterTerm {
  QString field;
  QString value;
  bool quoted = true;  // false for a bare number: NRIDADEINI = 5
};

// An empty or blank expression gives no terms. Throws fw::Error naming the
// position when the expression is malformed.
QList<FilterTerm> ParseFilter(const QString& expression);

}  // namespace fw
