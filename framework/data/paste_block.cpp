#include "framework/data/paste_block.h"

#include "framework/data/format.h"

#include <QRegularExpression>

namespace fw {

namespace {

QString WithoutTrailingBreak(const QString& text) {
  QString t = text;
  if (t.endsWith(QLatin1String("\r\n")))
    t.chop(2);
  else if (t.endsWith(QLatin1Char('\n')) || t.endsWith(QLatin1Char('\r')))
    t.chop(1);
  return t;
}

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

}  // namespace

bool IsBlockText(const QString& text) {
  const QString t = WithoutTrailingBreak(text);
  return t.contains(QLatin1Char('\t')) || t.contains(QLatin1Char('\n')) ||
         t.contains(QLatin1Char('\r'));
}

QList<QStringList> SplitBlock(const QString& text) {
  static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
  QList<QStringList> rows;
  for (const QString& line : WithoutTrailingBreak(text).split(lineBreak)) {
    QStringList cells = line.split(QLatin1Char('\t'));
    for (QString& cell : cells) cell = cell.trimmed();
    rows.append(cells);
  }
  return rows;
}

PastedNumber ParsePastedNumber(const QString& cell, int intDigits, int decDigits) {
  QString text = cell.trimmed();
  if (text.isEmpty()) return {};
  if (text.startsWith(QLatin1Char('-')))
    return {std::nullopt, QStringLiteral("Valores negativos não são aceitos")};
  if (text.contains(QLatin1Char(',')))
    text.remove(QLatin1Char('.'));
  else if (text.count(QLatin1Char('.')) == 1)
    text.replace(QLatin1Char('.'), QLatin1Char(','));
  for (const QChar c : text)
    if (!IsDigit(c) && c != QLatin1Char(','))
      return {std::nullopt, QStringLiteral("Use só algarismos e vírgula")};
  const qsizetype comma = text.indexOf(QLatin1Char(','));
  if (comma >= 0 && text.indexOf(QLatin1Char(','), comma + 1) >= 0)
    return {std::nullopt, QStringLiteral("O valor já tem vírgula")};
  const qsizetype decimals = comma < 0 ? 0 : text.size() - comma - 1;
  const qsizetype integers = comma < 0 ? text.size() : comma;
  if (comma >= 0 && decDigits <= 0)
    return {std::nullopt, QStringLiteral("Este valor não tem casas decimais")};
  if (decimals > decDigits)
    return {std::nullopt, decDigits == 1
                              ? QStringLiteral("Máximo de 1 casa decimal")
                              : QStringLiteral("Máximo de %1 casas decimais").arg(decDigits)};
  if (integers > intDigits)
    return {std::nullopt,
            QStringLiteral("Máximo de %1 algarismos antes da vírgula").arg(intDigits)};
  bool ok = false;
  // "12," is a number still being typed.
  const std::optional<double> value =
      ParseFloat(text.endsWith(QLatin1Char(',')) ? text.chopped(1) : text, &ok);
  if (!ok || !value) return {std::nullopt, QStringLiteral("Use só algarismos e vírgula")};
  return {value, {}};
}

}  // namespace fw
