#include "framework/data/format.h"

#include "framework/data/errors.h"

#include <QList>

#include <charconv>
#include <cmath>
#include <string>

namespace fw {

namespace {

// Decimal digits and exponent of the shortest text that reads back as |v|:
// |v| = 0.d1d2d3... x 10^point.
struct Decimal {
  std::string digits;
  int point = 0;
};

Decimal ShortestDecimal(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific);
  const std::string_view text(buf, size_t(r.ptr - buf));
  const size_t e = text.find('e');
  Decimal d;
  for (size_t k = 0; k < e; ++k)
    if (text[k] != '.') d.digits.push_back(text[k]);
  int exp = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(),
                  exp);
  d.point = exp + 1;
  return d;
}

// |v| with exactly `decimals` decimals, rounding half away from zero on the
// shortest decimal text (so 2.675 gives 2.68, as a user reading 2,675 expects).
void RoundedParts(double v, int decimals, std::string& intPart, std::string& fracPart) {
  Decimal d = ShortestDecimal(v);
  if (v == 0) d = Decimal{"0", 1};
  const int keep = d.point + decimals;  // digits kept from the front
  std::string digits;
  int point = d.point;
  if (keep < 0) {
    digits.clear();
  } else if (size_t(keep) < d.digits.size()) {
    digits = d.digits.substr(0, size_t(keep));
    if (d.digits[size_t(keep)] >= '5') {
      int k = int(digits.size()) - 1;
      while (k >= 0 && digits[size_t(k)] == '9') digits[size_t(k--)] = '0';
      if (k >= 0) {
        ++digits[size_t(k)];
      } else {
        digits.insert(digits.begin(), '1');
        ++point;
      }
    }
  } else {
    digits = d.digits;
  }
  // Lay the digits out around the point.
  intPart.clear();
  fracPart.clear();
  for (int k = 0; k < point; ++k)
    intPart.push_back(size_t(k) < digits.size() ? digits[size_t(k)] : '0');
  for (int k = 0; k < decimals; ++k) {
    const int idx = point + k;
    fracPart.push_back(idx >= 0 && size_t(idx) < digits.size() ? digits[size_t(idx)] : '0');
  }
  const size_t nz = intPart.find_first_not_of('0');
  intPart = nz == std::string::npos ? std::string() : intPart.substr(nz);
}

struct Section {
  QString prefix, suffix;
  int minInt = 0;
  int minDec = 0;
  int maxDec = 0;
  bool grouping = false;
  bool hasDigits = false;
};

QList<QString> SplitSections(const QString& format) {
  QList<QString> out;
  QString cur;
  QChar quote;
  for (const QChar c : format) {
    if (!quote.isNull()) {
      if (c == quote) quote = QChar();
      cur += c;
    } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
      quote = c;
      cur += c;
    } else if (c == QLatin1Char(';')) {
      out.append(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.append(cur);
  return out;
}

Section ParseSection(const QString& s) {
  Section sec;
  bool inDec = false;
  bool seenZeroInt = false;
  QChar quote;
  for (qsizetype k = 0; k < s.size(); ++k) {
    const QChar c = s[k];
    if (!quote.isNull()) {
      if (c == quote)
        quote = QChar();
      else
        (sec.hasDigits ? sec.suffix : sec.prefix) += c;
      continue;
    }
    if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
      quote = c;
    } else if (c == QLatin1Char('0') || c == QLatin1Char('#')) {
      sec.hasDigits = true;
      sec.suffix.clear();  // literals between digit places do not count
      if (inDec) {
        ++sec.maxDec;
        if (c == QLatin1Char('0')) sec.minDec = sec.maxDec;
      } else if (c == QLatin1Char('0') || seenZeroInt) {
        seenZeroInt = true;
        ++sec.minInt;
      }
    } else if (c == QLatin1Char('.')) {
      inDec = true;
      sec.hasDigits = true;
    } else if (c == QLatin1Char(',') && !inDec) {
      sec.grouping = true;
    } else {
      (sec.hasDigits ? sec.suffix : sec.prefix) += c;
    }
  }
  return sec;
}

QString Group(const std::string& digits) {
  QString out;
  const int n = int(digits.size());
  for (int k = 0; k < n; ++k) {
    if (k > 0 && (n - k) % 3 == 0) out += QLatin1Char('.');
    out += QLatin1Char(digits[size_t(k)]);
  }
  return out;
}

}  // namespace

QString FloatToStr(double value) {
  if (std::isnan(value)) return QStringLiteral("NAN");
  if (std::isinf(value)) return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
  if (value == 0) return QStringLiteral("0");
  char buf[400];
  const double a = std::fabs(value);
  std::to_chars_result r;
  if (a >= 1e-4 && a < 1e15) {
    r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    QString s = QString::fromLatin1(buf, r.ptr - buf);
    s.replace(QLatin1Char('.'), QLatin1Char(','));
    return s;
  }
  // Very large or small: mantissa and exponent, "1,5E-7".
  r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string t(buf, r.ptr);
  const size_t e = t.find('e');
  std::string mant = t.substr(0, e);
  int exp = 0;
  std::from_chars(t.data() + e + 1 + (t[e + 1] == '+' ? 1 : 0), t.data() + t.size(), exp);
  QString s = QString::fromLatin1(mant.data(), qsizetype(mant.size()));
  s.replace(QLatin1Char('.'), QLatin1Char(','));
  return s + QLatin1Char('E') + QString::number(exp);
}

QString FormatFloat(double value, const QString& format) {
  if (format.isEmpty() || !std::isfinite(value)) return FloatToStr(value);
  const QList<QString> sections = SplitSections(format);
  Section sec = ParseSection(sections[0]);
  if (!sec.hasDigits) return sec.prefix + sec.suffix;
  std::string intPart, fracPart;
  RoundedParts(value, sec.maxDec, intPart, fracPart);
  const bool zero = intPart.empty() && fracPart.find_first_not_of('0') == std::string::npos;
  bool negative = value < 0 && !zero;
  if (zero && sections.size() > 2 && !sections[2].isEmpty()) {
    sec = ParseSection(sections[2]);
    if (!sec.hasDigits) return sec.prefix + sec.suffix;
    RoundedParts(0, sec.maxDec, intPart, fracPart);
  } else if (negative && sections.size() > 1 && !sections[1].isEmpty()) {
    sec = ParseSection(sections[1]);
    negative = false;  // the negative section writes its own sign
    if (!sec.hasDigits) return sec.prefix + sec.suffix;
    RoundedParts(value, sec.maxDec, intPart, fracPart);
  }
  while (int(fracPart.size()) > sec.minDec && !fracPart.empty() && fracPart.back() == '0')
    fracPart.pop_back();
  while (int(intPart.size()) < sec.minInt) intPart.insert(intPart.begin(), '0');
  QString number = sec.grouping ? Group(intPart)
                                : QString::fromLatin1(intPart.data(), qsizetype(intPart.size()));
  if (!fracPart.empty())
    number += QLatin1Char(',') + QString::fromLatin1(fracPart.data(), qsizetype(fracPart.size()));
  return sec.prefix + (negative ? QStringLiteral("-") : QString()) + number + sec.suffix;
}

std::optional<int> FormatDecimals(const QString& format) {
  if (format.isEmpty()) return std::nullopt;
  const Section sec = ParseSection(SplitSections(format)[0]);
  if (!sec.hasDigits) return std::nullopt;
  return sec.maxDec;
}

std::optional<long long> ScaledRound(double value, int decimals) {
  if (!std::isfinite(value) || decimals < 0) return std::nullopt;
  std::string intPart, fracPart;
  RoundedParts(value, decimals, intPart, fracPart);
  const std::string digits = intPart + fracPart;
  if (digits.size() > 18) return std::nullopt;
  long long n = 0;
  for (const char c : digits) n = n * 10 + (c - '0');
  return value < 0 ? -n : n;
}

std::optional<double> ParseFloat(const QString& text, bool* ok) {
  auto bad = [ok]() -> std::optional<double> {
    if (ok) *ok = false;
    return std::nullopt;
  };
  const QString t = text.trimmed();
  if (t.isEmpty()) {
    if (ok) *ok = true;
    return std::nullopt;
  }
  qsizetype i = 0;
  std::string norm;
  if (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')) {
    if (t[i] == QLatin1Char('-')) norm.push_back('-');
    ++i;
  }
  const qsizetype commas = t.count(QLatin1Char(','));
  const qsizetype points = t.count(QLatin1Char('.'));
  if (commas > 1) return bad();
  // A lone point with no comma is a decimal point ("110.5"); otherwise points group thousands.
  const bool pointIsDecimal = commas == 0 && points == 1;
  // Integer part: digits, optionally grouped by points in threes.
  int groupLen = 0;
  int intDigits = 0;
  bool grouped = false;
  for (; i < t.size(); ++i) {
    const QChar c = t[i];
    if (c.isDigit() && c.unicode() < 128) {
      norm.push_back(char(c.unicode()));
      ++groupLen;
      ++intDigits;
    } else if (c == QLatin1Char('.') && !pointIsDecimal) {
      if (groupLen == 0 || (grouped ? groupLen != 3 : groupLen > 3)) return bad();
      grouped = true;
      groupLen = 0;
    } else {
      break;
    }
  }
  if (grouped && groupLen != 3) return bad();
  if (i < t.size() && (t[i] == QLatin1Char(',') || (pointIsDecimal && t[i] == QLatin1Char('.')))) {
    norm.push_back('.');
    ++i;
    int fracDigits = 0;
    for (; i < t.size() && t[i].unicode() < 128 && t[i].isDigit(); ++i, ++fracDigits)
      norm.push_back(char(t[i].unicode()));
    if (intDigits == 0 && fracDigits == 0) return bad();
  } else if (intDigits == 0) {
    return bad();
  }
  if (i < t.size() && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
    norm.push_back('e');
    ++i;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
      norm.push_back(char(t[i++].unicode()));
    const qsizetype start = i;
    for (; i < t.size() && t[i].unicode() < 128 && t[i].isDigit(); ++i)
      norm.push_back(char(t[i].unicode()));
    if (i == start) return bad();
  }
  if (i != t.size()) return bad();
  double v = 0;
  const char* b = norm.data();
  const auto r = std::from_chars(b, b + norm.size(), v);
  if (r.ec != std::errc() || r.ptr != b + norm.size() || !std::isfinite(v)) return bad();
  if (ok) *ok = true;
  return v;
}

EditMaskInfo ParseEditMask(const QString& editMask) {
  EditMaskInfo info;
  // The last two ';'-separated parts are the flags, unless escaped inside the mask.
  QList<qsizetype> semis;
  for (qsizetype k = 0; k < editMask.size(); ++k) {
    if (editMask[k] == QLatin1Char('\\')) {
      ++k;
      continue;
    }
    if (editMask[k] == QLatin1Char(';')) semis.append(k);
  }
  if (semis.isEmpty()) {
    info.mask = editMask;
    return info;
  }
  info.mask = editMask.left(semis[0]);
  const QString save = editMask.mid(semis[0] + 1, semis.size() > 1 ? semis[1] - semis[0] - 1 : -1);
  info.saveLiterals = save != QLatin1String("0");
  if (semis.size() > 1 && semis[1] + 1 < editMask.size()) info.blank = editMask[semis[1] + 1];
  return info;
}

QString ApplyEditMask(const QString& editMask, const QString& text) {
  if (editMask.isEmpty()) return text;
  const EditMaskInfo info = ParseEditMask(editMask);
  const auto isBlank = [&](QChar c) { return c == info.blank || c == QLatin1Char(' '); };
  qsizetype b = 0, e = text.size();
  while (b < e && isBlank(text[b])) ++b;
  while (e > b && isBlank(text[e - 1])) --e;
  const QString t = text.mid(b, e - b);
  if (t.isEmpty()) return QString();
  const auto reject = [&]() {
    throw Error(QStringLiteral("'%1' não está de acordo com o formato %2.").arg(t, info.mask));
  };
  QString out;
  qsizetype i = 0;
  enum { kNone, kUpper, kLower } caseMode = kNone;
  for (qsizetype m = 0; m < info.mask.size(); ++m) {
    QChar mc = info.mask[m];
    if (mc == QLatin1Char('>')) {
      caseMode = (m + 1 < info.mask.size() && info.mask[m + 1] == QLatin1Char('<')) ? (++m, kNone)
                                                                                    : kUpper;
      continue;
    }
    if (mc == QLatin1Char('<')) {
      caseMode = kLower;
      continue;
    }
    if (mc == QLatin1Char('!')) continue;
    bool literal = false;
    if (mc == QLatin1Char('\\') && m + 1 < info.mask.size()) {
      mc = info.mask[++m];
      literal = true;
    }
    const char16_t u = mc.unicode();
    const bool isClass = !literal && (u == '0' || u == '9' || u == '#' || u == 'L' || u == 'l' ||
                                      u == 'A' || u == 'a' || u == 'C' || u == 'c');
    if (!isClass) {
      if (i < t.size() && t[i] == mc) {
        if (info.saveLiterals) out += mc;
        ++i;
      } else if (info.saveLiterals && i < t.size()) {
        out += mc;
      }
      continue;
    }
    const bool required = u == '0' || u == 'L' || u == 'A' || u == 'C';
    if (i >= t.size()) {
      if (required) reject();
      continue;
    }
    const QChar c = t[i];
    if (isBlank(c) && !required) {
      ++i;
      continue;
    }
    bool fits = false;
    switch (u) {
      case '0':
      case '9':
        fits = c.isDigit();
        break;
      case '#':
        fits = c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-');
        break;
      case 'L':
      case 'l':
        fits = c.isLetter();
        break;
      case 'A':
      case 'a':
        fits = c.isLetterOrNumber();
        break;
      default:
        fits = true;
    }
    if (!fits) reject();
    out += caseMode == kUpper ? c.toUpper() : caseMode == kLower ? c.toLower() : c;
    ++i;
  }
  if (i < t.size()) reject();
  return out;
}

static bool AllDigits(const QString& text) {
  if (text.isEmpty()) return false;
  for (QChar c : text)
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  return true;
}

QString Ajusta(const QString& text, int width) {
  QString trimmed = text.trimmed();
  if (width <= 0) return trimmed;
  if (AllDigits(trimmed)) return trimmed.rightJustified(width, QLatin1Char('0'));
  return trimmed.toUpper();
}

}  // namespace fw
