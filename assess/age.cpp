#include "assess/age.h"

#include <QRegularExpression>

#include <algorithm>

namespace trp::assess {

std::optional<int> AgeDays(const QDate& birth, const QDate& measured) {
  if (!birth.isValid() || !measured.isValid() || measured < birth) return std::nullopt;
  return int(birth.daysTo(measured));
}

QString AgeText(const QDate& birth, const QDate& measured) {
  if (!AgeDays(birth, measured)) return {};
  int months = (measured.year() - birth.year()) * 12 + measured.month() - birth.month();
  if (measured.day() < birth.day()) --months;
  // A birthday on the 31st counts as reached on the last day of a shorter month.
  const QDate anchor = birth.addMonths(months);
  const int days = int(anchor.daysTo(measured));
  auto part = [](int n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n == 1 ? one : many));
  };
  return QStringLiteral("%1, %2 e %3")
      .arg(part(months / 12, "ano", "anos"), part(months % 12, "mês", "meses"),
           part(days, "dia", "dias"));
}

std::optional<int> ParseGestation(const QString& text) {
  static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,2})(?:\\s*[+ ]\\s*(\\d))?\\s*$"));
  const QRegularExpressionMatch m = form.match(text);
  if (!m.hasMatch()) return std::nullopt;
  const int weeks = m.captured(1).toInt();
  const int days = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
  if (weeks < 20 || weeks > 44 || days > 6) return std::nullopt;
  return weeks * 7 + days;
}

std::optional<int> CorrectedAgeDays(const QDate& birth, const QDate& measured, int gestationDays) {
  const std::optional<int> age = AgeDays(birth, measured);
  if (!age || gestationDays >= 37 * 7 || measured >= birth.addMonths(24)) return std::nullopt;
  return std::max(0, *age - (40 * 7 - gestationDays));
}

}  // namespace trp::assess
