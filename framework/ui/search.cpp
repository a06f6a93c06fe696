#include "framework/ui/search.h"

#include "framework/data/errors.h"
#include "framework/data/format.h"
#include "framework/ui/dbgrid.h"
#include "framework/ui/dialogs.h"
#include "framework/ui/guard.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace fw {

namespace {

bool ReportEmpty(const Dataset* ds, const QString& emptyText, bool report) {
  if (ds && ds->Active() && !ds->IsEmpty()) return false;
  if (report && !emptyText.isEmpty()) Dialogs().Message(emptyText, MsgType::Warning, mbOK, 0);
  return true;
}

QString KeyText(const QVariant& value) {
  if (value.isNull()) return {};
  if (value.typeId() == QMetaType::Double) return FloatToStr(value.toDouble());
  return value.toString();
}

}  // namespace

bool Pesquisar(DataSource* source, const QString& titleAndEmpty, bool pickSingle,
               bool reportEmpty) {
  const QString title = titleAndEmpty.section(QLatin1Char('|'), 0, 0);
  const QString emptyText = titleAndEmpty.section(QLatin1Char('|'), 1);
  Dataset* ds = source ? source->DataSet() : nullptr;
  if (ReportEmpty(ds, emptyText, reportEmpty)) return false;
  if (pickSingle && ds->RecordCount() == 1) {
    ds->First();
    return true;
  }
  PickRequest request;
  request.dataset = ds;
  request.title = title;
  return Dialogs().PickRecord(request);
}

bool PesquisaLista(DataSource* source, const QString& keyField, const QString& titleAndEmpty,
                   bool append, QString& list) {
  const QString title = titleAndEmpty.section(QLatin1Char('|'), 0, 0);
  const QString emptyText = titleAndEmpty.section(QLatin1Char('|'), 1);
  Dataset* ds = source ? source->DataSet() : nullptr;
  if (ReportEmpty(ds, emptyText, true)) return false;
  const int column = ds->FieldByName(keyField)->Index();

  QStringList existing;
  for (const QString& code : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
    existing << code.trimmed();
  QList<int> rows;
  for (int row = 0; row < ds->RecordCount(); ++row)
    if (existing.contains(KeyText(ds->ValueAt(row, column)))) rows << row;

  PickRequest request;
  request.dataset = ds;
  request.title = title;
  if (!Dialogs().PickRecords(request, keyField, rows)) return false;

  std::sort(rows.begin(), rows.end());
  QStringList codes = append ? existing : QStringList();
  for (int row : rows) {
    if (row < 0 || row >= ds->RecordCount()) continue;
    const QString code = KeyText(ds->ValueAt(row, column));
    if (!codes.contains(code)) codes << code;
  }
  list = codes.join(QLatin1Char(','));
  return true;
}

bool Procura(Dataset* dataset, const QString& title) { return Procura(dataset, {}, title); }

bool Procura(Dataset* dataset, const QList<FindColumn>& columns, const QString& title) {
  if (!dataset || !dataset->Active() || dataset->IsEmpty()) return false;
  return Dialogs().Find(dataset, title.isEmpty() ? QStringLiteral("Procurar") : title, columns);
}

QList<FindColumn> FindColumnsOf(const QList<QPair<DBGrid*, QString>>& grids) {
  // Field names are case-insensitive, as the dataset looks them up.
  auto key = [](const DBGridColumn* column) { return column->FieldName().toUpper(); };
  QHash<QString, int> gridsShowing;
  int gridCount = 0;
  for (const auto& [grid, qualifier] : grids) {
    if (!grid) continue;
    ++gridCount;
    QSet<QString> names;
    for (const DBGridColumn* column : grid->Columns()) names.insert(key(column));
    for (const QString& name : names) ++gridsShowing[name];
  }
  QList<FindColumn> columns;
  QSet<QString> listed;
  for (const auto& [grid, qualifier] : grids) {
    if (!grid) continue;
    for (const DBGridColumn* column : grid->Columns()) {
      const QString name = key(column);
      if (listed.contains(name)) continue;
      listed.insert(name);
      QString label = column->Title();
      if (gridsShowing.value(name) < gridCount && !qualifier.isEmpty())
        label += QStringLiteral(" (%1)").arg(qualifier);
      columns.append({column->FieldName(), label});
    }
  }
  return columns;
}

TBtnPesquisa::TBtnPesquisa(const QString& name, QWidget* parent) : QToolButton(parent) {
  setObjectName(name);
  setText(QStringLiteral("..."));
  setToolTip(QStringLiteral("Pesquisar"));
  setFocusPolicy(Qt::TabFocus);
  connect(this, &QToolButton::clicked, this, [this] { Guard([this] { Execute(); }); });
}

bool TBtnPesquisa::Execute() {
  if (OnClick) {
    OnClick(this);
    return false;
  }
  if (OnBeforePesq) OnBeforePesq(this);
  const bool picked = Pesquisar(source_, title_ + QLatin1Char('|') + emptyText_, false, true);
  if (picked && OnAfterPesq) OnAfterPesq(this);
  if (picked && associate_) associate_->setFocus();
  return picked;
}

}  // namespace fw
