#include "assess/batch.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace trp::assess {

namespace {

constexpr int kColumns = 7;
constexpr qint64 kProgressEvery = 100000;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// A number with comma or point; nullopt for an empty cell. Throws the
// reason (a Portuguese text) for anything else that is not a positive number.
std::optional<double> Number(std::string_view cell, const char* column) {
  cell = Trim(cell);
  if (cell.empty()) return std::nullopt;
  char buf[64];
  if (cell.size() >= sizeof buf) throw QStringLiteral("%1 inválido").arg(QLatin1String(column));
  for (size_t i = 0; i < cell.size(); ++i) buf[i] = cell[i] == ',' ? '.' : cell[i];
  double v = 0;
  const auto [end, ec] = std::from_chars(buf, buf + cell.size(), v);
  if (ec != std::errc() || end != buf + cell.size() || !std::isfinite(v) || !(v > 0))
    throw QStringLiteral("%1 inválido: '%2' (esperado um número positivo)")
        .arg(QLatin1String(column), QString::fromUtf8(cell.data(), qsizetype(cell.size())));
  return v;
}

Child Parse(const std::vector<std::string_view>& cells) {
  if (cells.size() != kColumns)
    throw QStringLiteral("esperadas %1 colunas separadas por ';', encontradas %2")
        .arg(kColumns)
        .arg(cells.size());
  Child c;
  const std::string_view sex = Trim(cells[1]);
  if (sex == "M" || sex == "m")
    c.sex = Sex::Male;
  else if (sex == "F" || sex == "f")
    c.sex = Sex::Female;
  else
    throw QStringLiteral("sexo deve ser M ou F, não '%1'")
        .arg(QString::fromUtf8(sex.data(), qsizetype(sex.size())));
  const std::string_view age = Trim(cells[2]);
  int days = -1;
  const auto [end, ec] = std::from_chars(age.data(), age.data() + age.size(), days);
  if (age.empty() || ec != std::errc() || end != age.data() + age.size() || days < 0)
    throw QStringLiteral("idade_dias deve ser um número inteiro de dias, não '%1'")
        .arg(QString::fromUtf8(age.data(), qsizetype(age.size())));
  c.ageDays = days;
  c.weight = Number(cells[3], "peso");
  const std::string_view position = Trim(cells[4]);
  if (position == "D" || position == "d")
    c.position = Position::Lying;
  else if (position == "P" || position == "p")
    c.position = Position::Standing;
  else if (!position.empty())
    throw QStringLiteral("medida deve ser D (deitado) ou P (em pé), não '%1'")
        .arg(QString::fromUtf8(position.data(), qsizetype(position.size())));
  c.stature = Number(cells[5], "estatura");
  c.head = Number(cells[6], "pc");
  return c;
}

void AppendFixed(std::string& out, double v, int decimals, bool comma) {
  char buf[32];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return;
  for (char* p = buf; p != end; ++p) out += (comma && *p == '.') ? ',' : *p;
}

// The cell text of the CSV: a class never holds ';', but be safe. The few
// class texts are converted once each.
void AppendText(std::string& out, const QString& text,
                std::unordered_map<const QChar*, std::string>& converted) {
  // The class texts are literals: their data pointer names them.
  auto it = converted.find(text.constData());
  if (it == converted.end()) {
    std::string s = text.toStdString();
    for (char& ch : s)
      if (ch == ';') ch = ',';
    it = converted.emplace(text.constData(), std::move(s)).first;
  }
  out += it->second;
}

}  // namespace

BatchCounts AssessCsv(QIODevice& in, QIODevice& out, const Reference* ref, bool commaDecimal,
                      const std::function<void(qint64, const QString&)>& malformed,
                      const std::function<void(qint64)>& progress) {
  BatchCounts counts;
  std::string buffer = "id;sexo;idade_dias;peso;medida;estatura;pc";
  for (int i = 0; i < kIndicatorCount; ++i) {
    const std::string key = IndicatorKey(Indicator(i));
    buffer += ";z_" + key + ";p_" + key + ";class_" + key;
  }
  buffer += '\n';
  auto flush = [&](bool always) {
    if (!always && buffer.size() < (1 << 20)) return;
    if (out.write(buffer.data(), qint64(buffer.size())) != qint64(buffer.size()))
      throw std::runtime_error(QStringLiteral("Não foi possível gravar a saída: %1")
                                   .arg(out.errorString())
                                   .toStdString());
    buffer.clear();
  };
  std::vector<std::string_view> cells;
  std::unordered_map<const QChar*, std::string> converted;
  qint64 lineNumber = 0;
  while (!in.atEnd()) {
    const QByteArray raw = in.readLine();
    ++lineNumber;
    std::string_view line(raw.constData(), size_t(raw.size()));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (Trim(line).empty()) continue;
    if (lineNumber == 1 && line.substr(0, 3) == "id;") continue;
    ++counts.lines;
    if (progress && counts.lines % kProgressEvery == 0) progress(counts.lines);
    cells.clear();
    for (size_t from = 0;;) {
      const size_t at = line.find(';', from);
      cells.push_back(line.substr(from, at == std::string_view::npos ? at : at - from));
      if (at == std::string_view::npos) break;
      from = at + 1;
    }
    Child child;
    try {
      child = Parse(cells);
    } catch (const QString& reason) {
      ++counts.malformed;
      malformed(lineNumber, reason);
      continue;
    }
    buffer.append(line);
    std::vector<Result> results;
    if (ref) results = Assess(*ref, child, false);
    size_t next = 0;
    for (int i = 0; i < kIndicatorCount; ++i) {
      const Result* r =
          next < results.size() && int(results[next].indicator) == i ? &results[next++] : nullptr;
      buffer += ';';
      if (r && r->z) AppendFixed(buffer, *r->z + 0.0, 2, commaDecimal);
      buffer += ';';
      if (r && r->percentile) AppendFixed(buffer, *r->percentile, 1, commaDecimal);
      buffer += ';';
      if (r && r->classification) AppendText(buffer, *r->classification, converted);
    }
    buffer += '\n';
    ++counts.assessed;
    flush(false);
  }
  flush(true);
  return counts;
}

}  // namespace trp::assess
