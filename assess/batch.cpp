#include "assess/batch.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
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

// v at `decimals` places, rounded half away from zero as the server's
// answers are; digits written directly (to_chars with a precision costs
// several times more and was a quarter of the batch).
void AppendFixed(std::string& out, double v, int decimals, bool comma) {
  static constexpr double kScale[] = {1, 10, 100, 1000};
  static constexpr long long kDiv[] = {1, 10, 100, 1000};
  const double scaled = std::round(v * kScale[decimals]);
  if (!(std::fabs(scaled) < 1e15)) {
    char buf[64];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (ec == std::errc())
      for (char* p = buf; p != end; ++p) out += (comma && *p == '.') ? ',' : *p;
    return;
  }
  long long n = static_cast<long long>(scaled);
  if (n < 0) {
    out += '-';
    n = -n;
  }
  char digits[24];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, n / kDiv[decimals]);
  out.append(digits, size_t(end - digits));
  if (decimals == 0) return;
  out += comma ? ',' : '.';
  long long frac = n % kDiv[decimals];
  char tail[3];
  for (int i = decimals - 1; i >= 0; --i, frac /= 10) tail[i] = char('0' + frac % 10);
  out.append(tail, size_t(decimals));
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

// Whole lines read in one block, and what they gave.
struct Block {
  std::string text;
  qint64 firstLine = 1;  // the number of the block's first line in the file
  std::string out;
  std::vector<std::pair<qint64, QString>> malformed;
  qint64 lines = 0, assessed = 0;
};

constexpr qint64 kBlockBytes = 4 << 20;

class Worker {
 public:
  Worker(const Reference* ref, bool commaDecimal) : ref_(ref), comma_(commaDecimal) {}

  void Process(Block& b) {
    b.out.clear();
    b.out.reserve(b.text.size() * (ref_ ? 3 : 2));
    b.malformed.clear();
    b.lines = b.assessed = 0;
    qint64 number = b.firstLine - 1;
    std::string_view rest(b.text);
    while (!rest.empty()) {
      const size_t nl = rest.find('\n');
      std::string_view line = rest.substr(0, nl);
      rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
      ++number;
      while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (Trim(line).empty()) continue;
      if (number == 1 && line.substr(0, 3) == "id;") continue;
      ++b.lines;
      Line(b, number, line);
    }
  }

 private:
  void Line(Block& b, qint64 number, std::string_view line) {
    cells_.clear();
    for (size_t from = 0;;) {
      const size_t at = line.find(';', from);
      cells_.push_back(line.substr(from, at == std::string_view::npos ? at : at - from));
      if (at == std::string_view::npos) break;
      from = at + 1;
    }
    Child child;
    try {
      child = Parse(cells_);
    } catch (const QString& reason) {
      b.malformed.emplace_back(number, reason);
      return;
    }
    std::string& out = b.out;
    out.append(line);
    results_.clear();
    if (ref_) Assess(*ref_, child, false, results_);
    size_t next = 0;
    for (int i = 0; i < kIndicatorCount; ++i) {
      const Result* r =
          next < results_.size() && int(results_[next].indicator) == i ? &results_[next++] : nullptr;
      out += ';';
      if (r && r->z) AppendFixed(out, *r->z, 2, comma_);
      out += ';';
      if (r && r->percentile) AppendFixed(out, *r->percentile, 1, comma_);
      out += ';';
      if (r && r->classification) AppendText(out, *r->classification, converted_);
    }
    out += '\n';
    ++b.assessed;
  }

  const Reference* ref_;
  const bool comma_;
  std::vector<std::string_view> cells_;
  std::vector<Result> results_;
  std::unordered_map<const QChar*, std::string> converted_;
};

}  // namespace

BatchCounts AssessCsv(QIODevice& in, QIODevice& out, const Reference* ref, bool commaDecimal,
                      const std::function<void(qint64, const QString&)>& malformed,
                      const std::function<void(qint64)>& progress) {
  BatchCounts counts;
  std::string header = "id;sexo;idade_dias;peso;medida;estatura;pc";
  for (int i = 0; i < kIndicatorCount; ++i) {
    const std::string key = IndicatorKey(Indicator(i));
    header += ";z_" + key + ";p_" + key + ";class_" + key;
  }
  header += '\n';
  auto write = [&](const std::string& text) {
    if (out.write(text.data(), qint64(text.size())) != qint64(text.size()))
      throw std::runtime_error(QStringLiteral("Não foi possível gravar a saída: %1")
                                   .arg(out.errorString())
                                   .toStdString());
  };
  write(header);

  // Blocks of whole lines; the piece after a block's last line break starts
  // the next one (a line longer than a block grows its block).
  std::string carry;
  qint64 nextLine = 1;
  bool ended = false;
  auto fill = [&](Block& b) {
    b.text.swap(carry);
    carry.clear();
    b.firstLine = nextLine;
    while (!ended) {
      const size_t had = b.text.size();
      b.text.resize(had + size_t(kBlockBytes));
      const qint64 got = in.read(b.text.data() + had, kBlockBytes);
      b.text.resize(had + size_t(std::max<qint64>(got, 0)));
      if (got <= 0) {
        ended = true;
        break;
      }
      const size_t last = b.text.rfind('\n');
      if (last != std::string::npos) {
        carry.assign(b.text, last + 1, std::string::npos);
        b.text.resize(last + 1);
        break;
      }
    }
    nextLine += qint64(std::count(b.text.begin(), b.text.end(), '\n'));
    return !b.text.empty();
  };

  qint64 reported = 0;
  auto deliver = [&](const Block& b) {
    for (const auto& [line, reason] : b.malformed) malformed(line, reason);
    counts.lines += b.lines;
    counts.assessed += b.assessed;
    counts.malformed += qint64(b.malformed.size());
    write(b.out);
    if (progress && counts.lines / kProgressEvery > reported) {
      reported = counts.lines / kProgressEvery;
      progress(reported * kProgressEvery);
    }
  };

  // Two blocks at a time on the two workers when the input is large; output
  // and messages keep the order of the lines.
  Worker first(ref, commaDecimal), second(ref, commaDecimal);
  Block a, b;
  while (fill(a)) {
    const bool pair = fill(b);
    if (!pair) {
      first.Process(a);
      deliver(a);
      break;
    }
    std::thread other([&] { second.Process(b); });
    try {
      first.Process(a);
    } catch (...) {
      other.join();
      throw;
    }
    other.join();
    deliver(a);
    deliver(b);
  }
  return counts;
}

}  // namespace trp::assess
