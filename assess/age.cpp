#include "assess/age.h"

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

}  // namespace trp::assess
