#include "framework/ui/number_entry.h"

#include "framework/data/paste_block.h"
#include "framework/ui/status_text.h"

#include <QValidator>

namespace fw {

namespace {

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

QString MaxDecimals(int decDigits) {
  if (decDigits <= 0) return QStringLiteral("Este valor não tem casas decimais");
  if (decDigits == 1) return QStringLiteral("Máximo de 1 casa decimal");
  return QStringLiteral("Máximo de %1 casas decimais").arg(decDigits);
}

}  // namespace

QChar NumberKey(QChar typed) { return typed == QLatin1Char('.') ? QLatin1Char(',') : typed; }

QString NumberKeyReason(QChar key) {
  if (key == QLatin1Char('-')) return QStringLiteral("Valores negativos não são aceitos");
  if (IsDigit(key) || key == QLatin1Char(','))
    return QStringLiteral("Este valor não pode ser alterado aqui");
  return QStringLiteral("Use só algarismos e vírgula");
}

QString NumberRefusal(const QString& text, int intDigits, int decDigits, QChar key, int selStart,
                      int selLength) {
  if (key.category() == QChar::Other_Control) return {};
  const bool comma = key == QLatin1Char(',');
  if (!IsDigit(key) && !comma) return NumberKeyReason(key);
  selStart = qBound(0, selStart, int(text.size()));
  selLength = qBound(0, selLength, int(text.size()) - selStart);
  const QString result = text.left(selStart) + key + text.mid(selStart + selLength);

  const qsizetype commaAt = result.indexOf(QLatin1Char(','));
  if (commaAt >= 0 && decDigits <= 0) return MaxDecimals(decDigits);
  if (commaAt >= 0 && result.indexOf(QLatin1Char(','), commaAt + 1) >= 0)
    return QStringLiteral("O valor já tem vírgula");
  int intCount = 0;
  int decCount = 0;
  for (qsizetype i = 0; i < result.size(); ++i) {
    if (!IsDigit(result.at(i))) continue;
    if (commaAt >= 0 && i > commaAt)
      ++decCount;
    else
      ++intCount;
  }
  if (decCount > decDigits) return MaxDecimals(decDigits);
  if (intCount > intDigits)
    return QStringLiteral("Máximo de %1 algarismos antes da vírgula").arg(intDigits);
  return {};
}

namespace {

class NumberValidator : public QValidator {
 public:
  NumberValidator(QLineEdit* edit, int intDigits, int decDigits)
      : QValidator(edit), edit_(edit), intDigits_(intDigits), decDigits_(decDigits) {}

  State validate(QString& input, int&) const override {
    if (input.isEmpty()) return Acceptable;
    if (input.contains(QLatin1Char('.')) && !input.contains(QLatin1Char(',')) && decDigits_ > 0)
      input.replace(QLatin1Char('.'), QLatin1Char(','));
    const QString refusal = ParsePastedNumber(input, intDigits_, decDigits_).refusal;
    if (refusal.isEmpty()) return Acceptable;
    RefuseInput(refusal, edit_);
    return Invalid;
  }

 private:
  QLineEdit* edit_;
  int intDigits_, decDigits_;
};

}  // namespace

void LimitToNumber(QLineEdit* edit, int intDigits, int decDigits) {
  // The validator judges the whole text, so a paste is taken or refused whole;
  // a length limit would cut it silently instead.
  edit->setMaxLength(32767);
  edit->setValidator(new NumberValidator(edit, intDigits, decDigits));
}

}  // namespace fw
