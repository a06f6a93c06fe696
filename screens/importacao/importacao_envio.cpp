// The preview grid and what goes to the server.

#include "framework/data/format.h"
#include "framework/data/packet.h"
#include "framework/net/checkresult.h"
#include "screens/importacao/importacao_p.h"
#include "services/rdm_tabrelpeso.h"

#include <QBrush>
#include <QHeaderView>

#include <cmath>
#include <set>

namespace trp::importacao {

namespace {

using tableimport::Table;

struct Linha {
  Table table;
  QVariantMap columns;
  QString percentile;
  double key;
};

QString Chave(Table t, double key) {
  if (t != Table::Age) return fw::FloatToStr(key);
  const int k = int(key);
  return QStringLiteral("%1a %2m").arg(k / 12).arg(k % 12);
}

QStringList Colunas(const QVariantMap& sample) {
  QStringList cols;
  for (auto it = sample.begin(); it != sample.end(); ++it)
    if (it.key().startsWith(QLatin1String("VR")) && it.key() != u"VRALTURA" &&
        it.key() != u"VRALTURAN2")
      cols << it.key();
  return cols;
}

// "Peso fem." for VRPESOFEMIDA, "Média peso masc." for VRMDPSMASIDA: the
// column as staff read it; the stored name stays in the header's hint.
QString Rotulo(const QString& column) {
  const bool fem = column.contains(QLatin1String("FEM"));
  const QString body = column.mid(2, 4);
  QString measure = QStringLiteral("Peso");
  if (body.startsWith(QLatin1String("ALTU")) || column.mid(4, 2) == u"AT")
    measure = QStringLiteral("Estatura");
  if (body.startsWith(QLatin1String("PMCF")) || column.mid(4, 2) == u"PC")
    measure = QStringLiteral("Perím. cefálico");
  QString statistic;
  if (body.startsWith(QLatin1String("MD")) || body.startsWith(QLatin1String("MEDI")))
    statistic = QStringLiteral("Média ");
  if (body.startsWith(QLatin1String("DP")) || body.startsWith(QLatin1String("DVPD")))
    statistic = QStringLiteral("DP ");
  if (!statistic.isEmpty()) measure = measure.toLower();
  return statistic + measure + (fem ? QStringLiteral(" fem.") : QStringLiteral(" masc."));
}

const char* StoredName(Table t) {
  return t == Table::Age ? "PESALTIDADE" : t == Table::Height ? "PESOALTU" : "PEALNCHS2000";
}

fw::DeltaPacket Delta(const QString& ref, const QList<QVariantMap>& rows) {
  fw::DeltaPacket d;
  if (rows.isEmpty()) return d;
  QStringList names = rows.front().keys();
  names << QStringLiteral("CDREFEBIBL");
  for (const QString& n : names)
    d.fields.append(
        {n, n.startsWith(QLatin1String("CD")) ? fw::FieldType::String : fw::FieldType::Float,
         n == u"CDREFEBIBL"    ? 2
         : n == u"CDPERCENTIL" ? 3
                               : 0});
  for (const QVariantMap& r : rows) {
    fw::Change c;
    c.op = fw::Change::Op::Insert;
    for (const QString& n : names) c.newValues << (n == u"CDREFEBIBL" ? QVariant(ref) : r.value(n));
    d.changes.append(c);
  }
  return d;
}

}  // namespace

QString NomeTabela(Table t) {
  return t == Table::Age      ? QStringLiteral("Idade/Peso/Altura")
         : t == Table::Height ? QStringLiteral("Peso/Altura")
                              : QStringLiteral("Peso/Altura (NCHS 2000)");
}

void PreencheTabela(QTableWidget& grid, const tableimport::Result& r,
                    const std::map<QString, QString>& codes) {
  std::vector<Linha> linhas;
  for (const auto& row : r.rows.age)
    linhas.push_back(
        {Table::Age, row.Columns(), row.percentile, double(row.years * 12 + row.months)});
  for (const auto& row : r.rows.height)
    linhas.push_back({Table::Height, row.Columns(), row.percentile, row.height});
  for (const auto& row : r.rows.nchs)
    linhas.push_back({Table::Nchs, row.Columns(), row.percentile, row.height});
  // Only the columns that hold a value somewhere.
  QStringList cols;
  std::set<QString> used;
  for (const Linha& l : linhas)
    for (const QString& c : Colunas(l.columns))
      if (!l.columns.value(c).isNull() && used.insert(c).second) cols << c;
  grid.setUpdatesEnabled(false);
  grid.clear();
  grid.setColumnCount(int(cols.size()) + 3);
  QStringList titles{QStringLiteral("Tabela"), QStringLiteral("Percentil"),
                     QStringLiteral("Chave")};
  for (const QString& c : cols) titles << Rotulo(c);
  grid.setHorizontalHeaderLabels(titles);
  for (int c = 0; c < cols.size(); ++c) grid.horizontalHeaderItem(c + 3)->setToolTip(cols[c]);
  grid.setRowCount(int(linhas.size()));
  std::map<std::tuple<int, QString, double, QString>, QString> marks;
  for (const tableimport::Finding& f : r.findings)
    marks[{int(f.table), codes.count(f.percentile) ? codes.at(f.percentile) : f.percentile, f.key,
           f.column}] = QStringLiteral("Linha %1, coluna %2 do arquivo: %3")
                            .arg(f.line)
                            .arg(sheet::ColumnName(f.fileColumn), f.text);
  for (int i = 0; i < int(linhas.size()); ++i) {
    const Linha& l = linhas[size_t(i)];
    grid.setItem(i, 0, new QTableWidgetItem(NomeTabela(l.table)));
    grid.setItem(i, 1, new QTableWidgetItem(l.percentile));
    grid.setItem(i, 2, new QTableWidgetItem(Chave(l.table, l.key)));
    for (int c = 0; c < cols.size(); ++c) {
      const QVariant v = l.columns.value(cols[c]);
      if (v.isNull()) continue;
      auto* item = new QTableWidgetItem(fw::FloatToStr(v.toDouble()));
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      const auto mark = marks.find({int(l.table), l.percentile, l.key, cols[c]});
      if (mark != marks.end()) {
        item->setBackground(QBrush(QColor(0xFF, 0xD8, 0x80)));
        item->setToolTip(mark->second);
      }
      grid.setItem(i, c + 3, item);
    }
  }
  grid.setUpdatesEnabled(true);
}

qint64 Substituidas(fw::TNetConnection& net, const QString& ref, const growth::Rows& rows) {
  std::set<QString> percs[3];
  for (const auto& r : rows.age) percs[0].insert(r.percentile);
  for (const auto& r : rows.height) percs[1].insert(r.percentile);
  for (const auto& r : rows.nchs) percs[2].insert(r.percentile);
  qint64 n = 0;
  for (int t = 0; t < 3; ++t) {
    if (percs[t].empty()) continue;
    const fw::DataPacket p = services::PacketOf(fw::CheckResultServ(
        net.Call(QStringLiteral("GetTabela"), {QString::fromLatin1(StoredName(Table(t)))})));
    const int refAt = p.fieldIndex(u"CDREFEBIBL"), percAt = p.fieldIndex(u"CDPERCENTIL");
    for (qsizetype r = 0; r < p.rowCount(); ++r)
      if (p.value(r, refAt).toString() == ref && percs[t].count(p.value(r, percAt).toString())) ++n;
  }
  return n;
}

QVariantList ArgumentosImporta(const QString& ref, const std::optional<QStringList>& nova,
                               const std::vector<tableimport::NewPercentile>& created,
                               const growth::Rows& rows, const QString& lmsOrigin,
                               const QString& group, qint64 replaced) {
  QVariantList percentis;
  for (const auto& p : created)
    percentis << QVariant(QVariantList{p.code, p.name, p.value ? QVariant(*p.value) : QVariant()});
  QList<QVariantMap> tables[3];
  for (const auto& r : rows.age) tables[0] << r.Columns();
  for (const auto& r : rows.height) tables[1] << r.Columns();
  for (const auto& r : rows.nchs) tables[2] << r.Columns();
  QVariantList args{ref, nova ? QVariant(QVariantList(nova->begin(), nova->end())) : QVariant(),
                    QVariant(percentis)};
  for (const auto& t : tables)
    args << (t.isEmpty() ? QVariant() : QVariant::fromValue(Delta(ref, t)));
  if (rows.lms.empty()) {
    args << QVariant();
  } else {
    fw::DataPacket lms({{QStringLiteral("CDINDICADOR"), fw::FieldType::String, 20},
                        {QStringLiteral("CDSEXO"), fw::FieldType::String, 1},
                        {QStringLiteral("CDUNIDADE"), fw::FieldType::String, 1},
                        {QStringLiteral("VRCHAVE"), fw::FieldType::Float, 0},
                        {QStringLiteral("VRL"), fw::FieldType::Float, 0},
                        {QStringLiteral("VRM"), fw::FieldType::Float, 0},
                        {QStringLiteral("VRS"), fw::FieldType::Float, 0},
                        {QStringLiteral("CDORIGEM"), fw::FieldType::String, 3}});
    for (const growth::LmsRow& p : rows.lms)
      lms.appendRow({QString::fromLatin1(p.indicator),
                     p.sex == growth::kMale ? QStringLiteral("M") : QStringLiteral("F"),
                     QString(QChar::fromLatin1(p.unit)), p.key, p.l, p.m, p.s, lmsOrigin});
    args << QVariant::fromValue(lms);
  }
  args << group << QVariant(double(replaced));
  return args;
}

}  // namespace trp::importacao
