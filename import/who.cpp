#include "import/who.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <stdexcept>

namespace trp::who {

namespace {

using growth::kFemale;
using growth::kMale;
using growth::Measure;
using growth::Sex;

[[noreturn]] void Fail(const QString& message) { throw std::runtime_error(message.toStdString()); }

QString Num(double v) { return QString::number(v, 'g', 10); }

constexpr double kNever = std::numeric_limits<double>::infinity();

// One file: its key column and grid, and the length/height flag its lines
// must carry (`before` below `switchAt`, `after` from there on).
struct FileSpec {
  const char* name;
  const char* key;
  double first, last, step;
  const char* flagColumn;  // nullptr when the file has none
  char before, after;
  double switchAt;
};

constexpr FileSpec kWeight{"weianthro.txt", "age", 0, 1826, 1, nullptr, 0, 0, kNever};
constexpr FileSpec kLength{"lenanthro.txt", "age", 0, 1826, 1, "loh", 'L', 'H', 731};
constexpr FileSpec kHead{"hcanthro.txt", "age", 0, 1826, 1, nullptr, 0, 0, kNever};
constexpr FileSpec kWfl{"wflanthro.txt", "length", 45, 110, 0.1, "lorh", 'L', 'L', kNever};
constexpr FileSpec kWfh{"wfhanthro.txt", "height", 65, 120, 0.1, "lorh", 'H', 'H', kNever};
constexpr FileSpec kWeight2007{"wfawho2007.txt", "age", 60, 121, 1, nullptr, 0, 0, kNever};
constexpr FileSpec kHeight2007{"hfawho2007.txt", "age", 60, 229, 1, nullptr, 0, 0, kNever};
constexpr FileSpec kBmi{"bmianthro.txt", "age", 0, 1826, 1, "loh", 'L', 'H', 731};
constexpr FileSpec kBmi2007{"bfawho2007.txt", "age", 60, 229, 1, nullptr, 0, 0, kNever};

struct Lms {
  double l = 0, m = 0, s = 0;
};

struct Table {
  const FileSpec* spec = nullptr;
  std::vector<std::optional<Lms>> bySex[2];  // index i is key first + i x step

  int Size() const { return int(std::lround((spec->last - spec->first) / spec->step)) + 1; }
  // Complete after Read(), so every key on the grid is there.
  const Lms& At(Sex sex, double key) const {
    return *bySex[sex][size_t(std::lround((key - spec->first) / spec->step))];
  }
};

QByteArrayList Lines(const QString& dir, const FileSpec& spec) {
  const QString path = QDir(dir).filePath(QString::fromLatin1(spec.name));
  if (!QFileInfo(path).isFile())
    Fail(QStringLiteral("Arquivo da OMS não encontrado: '%1'.").arg(path));
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly))
    Fail(QStringLiteral("Não foi possível ler o arquivo '%1': %2.").arg(path, f.errorString()));
  QByteArrayList lines = f.readAll().split('\n');
  for (QByteArray& line : lines)
    if (line.endsWith('\r')) line.chop(1);
  if (lines.first().trimmed().isEmpty())
    Fail(QStringLiteral("%1: o arquivo está vazio; esperava-se um cabeçalho.")
             .arg(QString::fromLatin1(spec.name)));
  return lines;
}

Table Read(const QString& dir, const FileSpec& spec) {
  const QString file = QString::fromLatin1(spec.name);
  const QByteArrayList lines = Lines(dir, spec);
  QByteArrayList header;
  for (const QByteArray& cell : lines.first().split('\t')) header.append(cell.trimmed());
  auto column = [&](const char* wanted) {
    const qsizetype i = header.indexOf(QByteArray(wanted));
    if (i < 0)
      Fail(QStringLiteral("%1: falta a coluna '%2' no cabeçalho.")
               .arg(file, QString::fromLatin1(wanted)));
    return i;
  };
  const qsizetype cSex = column("sex"), cKey = column(spec.key), cL = column("l"), cM = column("m"),
                  cS = column("s");
  const qsizetype cFlag = spec.flagColumn ? column(spec.flagColumn) : -1;

  Table t;
  t.spec = &spec;
  for (auto& sex : t.bySex) sex.assign(size_t(t.Size()), std::nullopt);
  for (qsizetype li = 1; li < lines.size(); ++li) {
    if (lines[li].trimmed().isEmpty()) continue;
    const QString where = QStringLiteral("%1, linha %2").arg(file).arg(li + 1);
    const QByteArrayList cells = lines[li].split('\t');
    if (cells.size() != header.size())
      Fail(QStringLiteral("%1: esperados %2 valores separados por tabulação, encontrados %3.")
               .arg(where)
               .arg(header.size())
               .arg(cells.size()));
    auto number = [&](qsizetype c) {
      const QByteArray cell = cells[c].trimmed();
      bool ok = false;
      const double v = cell.toDouble(&ok);
      if (cell.isEmpty() || !ok || !std::isfinite(v))
        Fail(QStringLiteral("%1, coluna '%2': '%3' não é um número.")
                 .arg(where, QString::fromLatin1(header[c]), QString::fromLatin1(cell)));
      return v;
    };
    const double sexValue = number(cSex), key = number(cKey);
    const Lms lms{number(cL), number(cM), number(cS)};
    if (sexValue != 1 && sexValue != 2)
      Fail(QStringLiteral("%1: sex deve ser 1 (masculino) ou 2 (feminino), não %2.")
               .arg(where, Num(sexValue)));
    const long index = std::lround((key - spec.first) / spec.step);
    if (index < 0 || index >= t.Size() ||
        std::fabs(spec.first + double(index) * spec.step - key) > 1e-6)
      Fail(QStringLiteral("%1: %2 = %3 fora da grade do arquivo (%4 a %5, de %6 em %6).")
               .arg(where, QString::fromLatin1(spec.key), Num(key), Num(spec.first), Num(spec.last),
                    Num(spec.step)));
    if (!(lms.m > 0) || !(lms.s > 0))
      Fail(QStringLiteral("%1: M e S devem ser positivos (M = %2, S = %3).")
               .arg(where, Num(lms.m), Num(lms.s)));
    if (cFlag >= 0) {
      const char want = key < spec.switchAt ? spec.before : spec.after;
      if (cells[cFlag].trimmed() != QByteArray(1, want))
        Fail(QStringLiteral("%1: %2 deveria ser %3 em %4 = %5, não '%6'.")
                 .arg(where, QString::fromLatin1(spec.flagColumn), QChar::fromLatin1(want),
                      QString::fromLatin1(spec.key), Num(key),
                      QString::fromLatin1(cells[cFlag].trimmed())));
    }
    auto& slot = t.bySex[sexValue == 1 ? kMale : kFemale][size_t(index)];
    if (slot)
      Fail(QStringLiteral("%1: linha repetida para sex %2 e %3 = %4.")
               .arg(where, Num(sexValue), QString::fromLatin1(spec.key), Num(key)));
    slot = lms;
  }
  for (Sex sex : {kMale, kFemale}) {
    for (int i = 0; i < t.Size(); ++i) {
      if (t.bySex[sex][size_t(i)]) continue;
      Fail(QStringLiteral("%1: faltam linhas para sex %2 a partir de %3 = %4 (o arquivo vai de %5 "
                          "a %6); o arquivo parece truncado e foi recusado.")
               .arg(file)
               .arg(sex == kMale ? 1 : 2)
               .arg(QString::fromLatin1(spec.key), Num(spec.first + i * spec.step), Num(spec.first),
                    Num(spec.last)));
    }
  }
  return t;
}

Measure At(const Table& t, Sex sex, double key, double z) {
  const Lms& lms = t.At(sex, key);
  try {
    return growth::LmsMeasure(lms.l, lms.m, lms.s, z);
  } catch (const std::runtime_error& e) {
    Fail(QStringLiteral("%1, sex %2, %3 = %4: %5")
             .arg(QString::fromLatin1(t.spec->name))
             .arg(sex == kMale ? 1 : 2)
             .arg(QString::fromLatin1(t.spec->key), Num(key), QString::fromUtf8(e.what())));
  }
}

std::vector<growth::HeightRow> WeightByHeight(const Table& t, double from, double to,
                                              const QString& code, double z) {
  std::vector<growth::HeightRow> rows;
  for (int i = 0; from + 0.5 * i <= to; ++i) {
    growth::HeightRow row;
    row.percentile = code;
    row.height = from + 0.5 * i;
    for (Sex sex : {kMale, kFemale}) row.weight[sex] = At(t, sex, row.height, z).value;
    rows.push_back(std::move(row));
  }
  return rows;
}

// Every point of `t` as read.
void AppendLms(const Table& t, const char* indicator, char unit, std::vector<growth::LmsRow>& out) {
  for (Sex sex : {kMale, kFemale})
    for (int i = 0; i < t.Size(); ++i) {
      const double key = t.spec->first + i * t.spec->step;
      const Lms& p = t.At(sex, key);
      out.push_back({indicator, unit, sex, std::round(key * 10) / 10, p.l, p.m, p.s});
    }
}

}  // namespace

QList<double> DefaultPercentiles() { return {3, 5, 10, 25, 50, 75, 90, 95, 97}; }

int DayOfMonth(int month) { return int(std::lround(month * 30.4375)); }

WhoRows LoadWho(const QString& dir, const QList<double>& percentiles) {
  if (!QFileInfo(dir).isDir())
    Fail(QStringLiteral("Pasta dos arquivos da OMS não encontrada: '%1'.").arg(dir));
  std::set<int> wanted;
  for (double p : percentiles) wanted.insert(growth::PercentileCode(p).toInt());
  if (wanted.empty()) Fail(QStringLiteral("Nenhum percentil foi informado."));

  // Every file is read and checked before any row is built.
  const Table weight = Read(dir, kWeight), length = Read(dir, kLength), head = Read(dir, kHead),
              wfl = Read(dir, kWfl), wfh = Read(dir, kWfh), weight2007 = Read(dir, kWeight2007),
              height2007 = Read(dir, kHeight2007), bmi = Read(dir, kBmi),
              bmi2007 = Read(dir, kBmi2007);

  WhoRows rows;
  for (int p : wanted) {
    const QString code = growth::PercentileCode(p);
    const double z = growth::NormalQuantile(p / 100.0);
    for (int month = 0; month <= 228; ++month) {
      growth::AgeRow row;
      row.percentile = code;
      row.years = month / 12;
      row.months = month % 12;
      for (Sex sex : {kMale, kFemale}) {
        if (month <= 60) {
          const double day = DayOfMonth(month);
          row.weight[sex] = At(weight, sex, day, z);
          row.height[sex] = At(length, sex, day, z);
          row.head[sex] = At(head, sex, day, z);
        } else {
          row.height[sex] = At(height2007, sex, month, z);
          if (month <= 120) row.weight[sex] = At(weight2007, sex, month, z);
        }
      }
      rows.length.age.push_back(std::move(row));
    }
    for (auto& r : WeightByHeight(wfl, 45, 110, code, z))
      rows.length.height.push_back(std::move(r));
    for (auto& r : WeightByHeight(wfh, 65, 120, code, z)) rows.height.push_back(std::move(r));
  }
  auto& lms = rows.length.lms;
  AppendLms(weight, "peso_idade", 'D', lms);
  AppendLms(length, "estatura_idade", 'D', lms);
  AppendLms(head, "pc_idade", 'D', lms);
  AppendLms(bmi, "imc_idade", 'D', lms);
  AppendLms(weight2007, "peso_idade", 'M', lms);
  AppendLms(height2007, "estatura_idade", 'M', lms);
  AppendLms(bmi2007, "imc_idade", 'M', lms);
  AppendLms(wfl, "peso_comprimento", 'C', lms);
  AppendLms(wfh, "peso_estatura", 'C', lms);
  AppendLms(wfh, "peso_estatura", 'C', rows.heightLms);
  return rows;
}

}  // namespace trp::who
