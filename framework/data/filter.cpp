#include "framework/data/filter.h"

#include "framework/data/errors.h"

namespace fw {

namespace {

[[noreturn]] void Fail(const QString& expression, qsizetype pos, const QString& problem) {
  throw Error(QStringLiteral("Filtro inválido \"%1\" na posição %2: %3.")
                  .arg(expression)
                  .arg(pos + 1)
                  .arg(problem));
}

bool IsIdentStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }
bool IsIdentChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

}  // namespace

QList<FilterTerm> ParseFilter(const QString& e) {
  QList<FilterTerm> terms;
  qsizetype i = 0;
  const qsizetype n = e.size();
  auto skipWs = [&] {
    while (i < n && e[i].isSpace()) ++i;
  };
  skipWs();
  if (i == n) return terms;
  for (;;) {
    FilterTerm t;
    skipWs();
    if (i < n && e[i] == QLatin1Char('[')) {  // [FIELD] names are accepted too
      const qsizetype close = e.indexOf(QLatin1Char(']'), i);
      if (close < 0) Fail(e, i, QStringLiteral("falta ']'"));
      t.field = e.mid(i + 1, close - i - 1).trimmed();
      i = close + 1;
    } else {
      if (i >= n || !IsIdentStart(e[i])) Fail(e, i, QStringLiteral("esperado o nome de um campo"));
      const qsizetype start = i;
      while (i < n && IsIdentChar(e[i])) ++i;
      t.field = e.mid(start, i - start);
    }
    if (t.field.isEmpty()) Fail(e, i, QStringLiteral("esperado o nome de um campo"));
    skipWs();
    if (i >= n || e[i] != QLatin1Char('='))
      Fail(e, i, QStringLiteral("esperado '=' depois de %1").arg(t.field));
    ++i;
    skipWs();
    if (i < n && e[i] == QLatin1Char('\'')) {
      const qsizetype open = i;
      ++i;
      for (;;) {
        if (i >= n) Fail(e, open, QStringLiteral("valor sem aspa de fechamento"));
        if (e[i] == QLatin1Char('\'')) {
          if (i + 1 < n && e[i + 1] == QLatin1Char('\'')) {
            t.value += QLatin1Char('\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        t.value += e[i++];
      }
    } else {
      const qsizetype start = i;
      while (i < n &&
             (e[i].isDigit() || e[i] == QLatin1Char('.') || e[i] == QLatin1Char('-') ||
              e[i] == QLatin1Char('+') || e[i] == QLatin1Char('e') || e[i] == QLatin1Char('E')))
        ++i;
      if (i == start) Fail(e, i, QStringLiteral("esperado um valor entre aspas simples"));
      t.value = e.mid(start, i - start);
      t.quoted = false;
    }
    terms.append(t);
    skipWs();
    if (i == n) break;
    const qsizetype at = i;
    if (i + 3 <= n && e.mid(i, 3).compare(QLatin1String("and"), Qt::CaseInsensitive) == 0 &&
        (i + 3 == n || !IsIdentChar(e[i + 3]))) {
      i += 3;
      skipWs();
      if (i == n) Fail(e, i, QStringLiteral("esperada uma condição depois de 'and'"));
      continue;
    }
    Fail(e, at, QStringLiteral("esperado 'and' ou o fim da expressão"));
  }
  return terms;
}

}  // namespace fw
