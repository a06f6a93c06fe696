#include "import/cdc2000.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>

namespace trp::cdc {

namespace {

[[noreturn]] void Fail(const QString& message) { throw std::runtime_error(message.toStdString()); }

QString Num(double v) { return QString::number(v, 'g', 10); }

// One row of a CDC file: L, M, S and the published percentiles.
struct Record {
  double key = 0;
  double l = 0, m = 0, s = 0;
  std::map<int, double> published;  // percentile -> value
};

struct Table {
  QString file;
  std::map<double, Record> bySex[2];

  const Record* Find(Sex sex, double key) const {
    auto it = bySex[sex].find(key);
    return it == bySex[sex].end() ? nullptr : &it->second;
  }
  std::vector<double> Keys() const {
    std::set<double> keys;
    for (const auto& sex : bySex) {
      for (const auto& [key, rec] : sex) keys.insert(key);
    }
    return {keys.begin(), keys.end()};
  }
};

QByteArray Unquote(QByteArray cell) {
  cell = cell.trimmed();
  if (cell.size() >= 2 && cell.startsWith('"') && cell.endsWith('"')) {
    cell = cell.mid(1, cell.size() - 2).trimmed();
  }
  return cell;
}

// The number of "P<digits>" (published percentile) and of other prefixed
// columns such as lenageinf's "Pub3" and "Diff3"; -1 when the name has another form.
int PercentileOf(const QByteArray& column, const char* prefix) {
  const qsizetype n = qsizetype(qstrlen(prefix));
  if (!column.startsWith(prefix) || column.size() == n) return -1;
  const QByteArray digits = column.mid(n);
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  const int p = digits.toInt();
  return p >= 1 && p <= 99 ? p : -1;
}

Table ReadTable(const QString& dir, const char* name, const char* keyColumn) {
  const QString fileName = QString::fromLatin1(name);
  const QString path = QDir(dir).filePath(fileName);
  if (!QFileInfo(path).isFile()) {
    Fail(QStringLiteral("Arquivo do CDC 2000 não encontrado: '%1'.").arg(path));
  }
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    Fail(QStringLiteral("Não foi possível ler o arquivo '%1': %2.").arg(path, f.errorString()));
  }
  QByteArray content = f.readAll();
  if (content.startsWith("\xEF\xBB\xBF")) content.remove(0, 3);
  QByteArrayList lines = content.split('\n');
  for (QByteArray& line : lines) {
    if (line.endsWith('\r')) line.chop(1);
  }

  Table table;
  table.file = fileName;
  auto where = [&](qsizetype lineIndex) {
    return QStringLiteral("%1, linha %2").arg(fileName).arg(lineIndex + 1);
  };

  if (lines.isEmpty() || lines.first().trimmed().isEmpty()) {
    Fail(QStringLiteral("%1: o arquivo está vazio; esperava-se um cabeçalho.").arg(fileName));
  }
  const QByteArray headerLine = lines.first();
  QByteArrayList header;
  for (const QByteArray& cell : headerLine.split(',')) header.append(Unquote(cell));
  for (qsizetype i = 0; i < header.size(); ++i) {
    if (header.indexOf(header[i]) != i) {
      Fail(QStringLiteral("%1: a coluna '%2' aparece duas vezes no cabeçalho.")
               .arg(fileName, QString::fromLatin1(header[i])));
    }
  }
  auto column = [&](const char* wanted) {
    const qsizetype i = header.indexOf(QByteArray(wanted));
    if (i < 0) {
      Fail(QStringLiteral("%1: falta a coluna '%2' no cabeçalho.")
               .arg(fileName, QString::fromLatin1(wanted)));
    }
    return i;
  };
  const qsizetype cSex = column("Sex"), cKey = column(keyColumn), cL = column("L"),
                  cM = column("M"), cS = column("S");
  std::vector<std::pair<qsizetype, int>> pubColumns;           // column, percentile
  std::map<int, std::pair<qsizetype, qsizetype>> diffColumns;  // Diff = P - Pub
  for (qsizetype i = 0; i < header.size(); ++i) {
    if (int p = PercentileOf(header[i], "P"); p > 0) pubColumns.emplace_back(i, p);
  }
  for (qsizetype i = 0; i < header.size(); ++i) {
    const int p = PercentileOf(header[i], "Diff");
    const qsizetype pub = header.indexOf("Pub" + QByteArray::number(p));
    if (p > 0 && pub >= 0) diffColumns[p] = {i, pub};
  }
  std::map<int, double> z;
  for (const auto& [col, p] : pubColumns) z[p] = NormalQuantile(p / 100.0);

  std::vector<double> values(size_t(header.size()));
  for (qsizetype li = 1; li < lines.size(); ++li) {
    const QByteArray& line = lines[li];
    // Blank lines and a repeated header (the CDC repeats it in some exports) carry no data.
    if (line.trimmed().isEmpty() || line == headerLine) continue;
    const QByteArrayList cells = line.split(',');
    if (cells.size() != header.size()) {
      Fail(QStringLiteral("%1: esperados %2 valores separados por vírgula, encontrados %3.")
               .arg(where(li))
               .arg(header.size())
               .arg(cells.size()));
    }
    for (qsizetype c = 0; c < cells.size(); ++c) {
      const QByteArray cell = Unquote(cells[c]);
      bool ok = false;
      const double v = cell.toDouble(&ok);
      if (cell.isEmpty() || !ok || !std::isfinite(v)) {
        Fail(QStringLiteral("%1, coluna '%2': '%3' não é um número.")
                 .arg(where(li), QString::fromLatin1(header[c]), QString::fromLatin1(cell)));
      }
      values[size_t(c)] = v;
    }
    const double sexValue = values[size_t(cSex)];
    if (sexValue != 1 && sexValue != 2) {
      Fail(QStringLiteral("%1: Sex deve ser 1 (masculino) ou 2 (feminino), não %2.")
               .arg(where(li), Num(sexValue)));
    }
    const Sex sex = sexValue == 1 ? kMale : kFemale;
    Record rec;
    rec.key = values[size_t(cKey)];
    rec.l = values[size_t(cL)];
    rec.m = values[size_t(cM)];
    rec.s = values[size_t(cS)];
    if (rec.key < 0) {
      Fail(QStringLiteral("%1: %2 não pode ser negativo (%3).")
               .arg(where(li), QString::fromLatin1(keyColumn), Num(rec.key)));
    }
    if (rec.m <= 0 || rec.s <= 0) {
      Fail(QStringLiteral("%1: M e S devem ser positivos (M = %2, S = %3).")
               .arg(where(li), Num(rec.m), Num(rec.s)));
    }
    for (const auto& [col, p] : pubColumns) {
      const double published = values[size_t(col)];
      double lms = 0;
      try {
        lms = LmsValue(rec.l, rec.m, rec.s, z[p]);
      } catch (const std::runtime_error& e) {
        Fail(QStringLiteral("%1: %2").arg(where(li), QString::fromStdString(e.what())));
      }
      if (std::fabs(published - lms) > kLmsTolerance * std::fabs(lms)) {
        Fail(QStringLiteral("%1: P%2 = %3 não confere com o valor calculado por L, M e S (%4); "
                            "o arquivo foi recusado.")
                 .arg(where(li))
                 .arg(p)
                 .arg(Num(published), Num(lms)));
      }
      rec.published[p] = published;
    }
    for (const auto& [p, cols] : diffColumns) {
      const auto it = rec.published.find(p);
      if (it == rec.published.end()) continue;
      const double diff = values[size_t(cols.first)], pub = values[size_t(cols.second)];
      // Both columns hold about nine significant digits of values near 50 cm.
      if (std::fabs(diff - (it->second - pub)) > 1e-6) {
        Fail(QStringLiteral("%1: Diff%2 = %3 não é P%2 - Pub%2 (%4); o arquivo foi recusado.")
                 .arg(where(li))
                 .arg(p)
                 .arg(Num(diff), Num(it->second - pub)));
      }
    }
    if (!table.bySex[sex].emplace(rec.key, std::move(rec)).second) {
      Fail(QStringLiteral("%1: linha repetida para Sex %2 e %3 = %4.")
               .arg(where(li), Num(sexValue), QString::fromLatin1(keyColumn),
                    Num(values[size_t(cKey)])));
    }
  }
  return table;
}

double ValueAt(const Record& rec, int percentile, double z) {
  const auto it = rec.published.find(percentile);
  return it != rec.published.end() ? it->second : LmsValue(rec.l, rec.m, rec.s, z);
}

Measure MeasureAt(const Table& table, Sex sex, double key, int percentile, double z) {
  const Record* rec = table.Find(sex, key);
  if (rec == nullptr) return {};
  return Measure{ValueAt(*rec, percentile, z), rec->m, rec->m * rec->s};
}

bool HasAny(const Measure (&m)[2]) { return m[kMale].value || m[kFemale].value; }

// The points of `table` with keys in [from, to), as read.
void AppendLms(const Table& table, const char* indicator, char unit, double from, double to,
               std::vector<growth::LmsRow>& out) {
  for (Sex sex : {kMale, kFemale})
    for (const auto& [key, rec] : table.bySex[sex])
      if (key >= from && key < to) out.push_back({indicator, unit, sex, key, rec.l, rec.m, rec.s});
}

}  // namespace

QList<double> PublishedPercentiles() { return {3, 5, 10, 25, 50, 75, 90, 95, 97}; }

CdcRows LoadCdc2000(const QString& dir, const QList<double>& percentiles) {
  if (!QFileInfo(dir).isDir()) {
    Fail(QStringLiteral("Pasta dos arquivos do CDC 2000 não encontrada: '%1'.").arg(dir));
  }
  std::set<int> wanted;
  for (double p : percentiles) wanted.insert(PercentileCode(p).toInt());
  if (wanted.empty()) Fail(QStringLiteral("Nenhum percentil foi informado."));

  // Every file is read and checked before any row is built.
  const Table wtageinf = ReadTable(dir, "wtageinf.csv", "Agemos");
  const Table lenageinf = ReadTable(dir, "lenageinf.csv", "Agemos");
  const Table hcageinf = ReadTable(dir, "hcageinf.csv", "Agemos");
  const Table wtage = ReadTable(dir, "wtage.csv", "Agemos");
  const Table statage = ReadTable(dir, "statage.csv", "Agemos");
  const Table wtleninf = ReadTable(dir, "wtleninf.csv", "Length");
  const Table wtstat = ReadTable(dir, "wtstat.csv", "Height");

  CdcRows rows;
  for (int p : wanted) {
    const QString code = PercentileCode(p);
    const double z = NormalQuantile(p / 100.0);
    for (int month = 0; month <= 240; ++month) {
      const double agemos = month == 240 ? 240.0 : month + 0.5;
      const bool infant = month < 36;
      AgeRow row;
      row.percentile = code;
      row.years = month / 12;
      row.months = month % 12;
      for (Sex sex : {kMale, kFemale}) {
        row.weight[sex] = MeasureAt(infant ? wtageinf : wtage, sex, agemos, p, z);
        row.height[sex] = MeasureAt(infant ? lenageinf : statage, sex, agemos, p, z);
        if (infant) row.head[sex] = MeasureAt(hcageinf, sex, agemos, p, z);
      }
      if (HasAny(row.weight) || HasAny(row.height) || HasAny(row.head)) {
        rows.age.push_back(std::move(row));
      }
    }
    for (double height : wtleninf.Keys()) {
      HeightRow row;
      row.percentile = code;
      row.height = height;
      for (Sex sex : {kMale, kFemale})
        row.weight[sex] = MeasureAt(wtleninf, sex, height, p, z).value;
      rows.height.push_back(std::move(row));
    }
    for (double height : wtstat.Keys()) {
      NchsRow row;
      row.percentile = code;
      row.height = height;
      for (Sex sex : {kMale, kFemale}) row.weight[sex] = MeasureAt(wtstat, sex, height, p, z);
      rows.nchs.push_back(std::move(row));
    }
  }
  // Weight-for-age switches charts at 36 months, as the age table does.
  constexpr double kAll = 1e9;
  AppendLms(wtageinf, "peso_idade", 'M', 0, 36, rows.lms);
  AppendLms(wtage, "peso_idade", 'M', 36, kAll, rows.lms);
  AppendLms(lenageinf, "comprimento_idade", 'M', 0, kAll, rows.lms);
  AppendLms(statage, "estatura_idade", 'M', 0, kAll, rows.lms);
  AppendLms(hcageinf, "pc_idade", 'M', 0, kAll, rows.lms);
  AppendLms(wtleninf, "peso_comprimento", 'C', 0, kAll, rows.lms);
  AppendLms(wtstat, "peso_estatura", 'C', 0, kAll, rows.lms);
  return rows;
}

}  // namespace trp::cdc
