// Dataset: its fields and the values of the visible rows and of the edit buffer.
#include "framework/data/dataset.h"

#include "framework/data/dataset_p.h"
#include "framework/data/errors.h"

namespace fw {

QVariantList DatasetImpl::rowValues(int32_t phys) const {
  QVariantList v;
  v.reserve(fields.size());
  for (int fi = 0; fi < fields.size(); ++fi) v.append(rowValue(phys, fi));
  return v;
}

void DatasetImpl::writeRow(int32_t phys, const QVariantList& values) {
  for (int fi = 0; fi < fields.size(); ++fi) {
    if (SameValue(rowValue(phys, fi), values[fi])) continue;
    work.mutableStorage().setValue(phys, colMap[size_t(fi)], values[fi]);
  }
}

// --- definition ------------------------------------------------------------------

Field* Dataset::AddField(const FieldDef& def) {
  if (impl_->active)
    throw Error(QStringLiteral("Não é possível definir o campo %1 com o conjunto %2 aberto.")
                    .arg(def.name, objectName()));
  if (def.name.isEmpty())
    throw Error(QStringLiteral("Campo sem nome no conjunto %1.").arg(objectName()));
  if (FindField(def.name))
    throw Error(QStringLiteral("O campo %1 já existe no conjunto %2.").arg(def.name, objectName()));
  auto* f = new Field(this, def, int(impl_->fields.size()));
  impl_->fields.append(f);
  return f;
}

Field* Dataset::FieldByName(QStringView name) const {
  Field* f = FindField(name);
  if (!f)
    throw Error(QStringLiteral("O campo %1 não existe no conjunto %2.").arg(name, objectName()));
  return f;
}

Field* Dataset::FindField(QStringView name) const {
  for (Field* f : impl_->fields)
    if (QStringView(f->FieldName()).compare(name, Qt::CaseInsensitive) == 0) return f;
  return nullptr;
}

const QList<Field*>& Dataset::Fields() const { return impl_->fields; }
int Dataset::FieldCount() const { return int(impl_->fields.size()); }

// --- access for grids ------------------------------------------------------------------

QVariant Dataset::ValueAt(int row, int fieldIndex) const {
  const DatasetImpl& d = *impl_;
  if (row < 0 || row >= d.count() || fieldIndex < 0 || fieldIndex >= d.fields.size())
    return QVariant();
  if (d.editing() && row == d.cur) return d.buffer[fieldIndex];
  return d.rowValue(d.visible[size_t(row)], fieldIndex);
}

QString Dataset::DisplayTextAt(int row, int fieldIndex) const {
  if (fieldIndex < 0 || fieldIndex >= impl_->fields.size()) return QString();
  return impl_->fields[fieldIndex]->DisplayTextOf(ValueAt(row, fieldIndex));
}

// --- the current record --------------------------------------------------------------

QVariant Dataset::CurrentValue(int fieldIndex) const {
  const DatasetImpl& d = *impl_;
  if (fieldIndex < 0 || fieldIndex >= d.fields.size()) return QVariant();
  if (d.editing()) return d.buffer[fieldIndex];
  if (d.cur < 0) return QVariant();
  // A row being inserted is current before the state says so (listeners of
  // currentChanged run first): its values are the new, empty buffer.
  const int32_t phys = d.visible[size_t(d.cur)];
  if (phys == DatasetImpl::kPending) return d.buffer.value(fieldIndex);
  return d.rowValue(phys, fieldIndex);
}

void Dataset::SetCurrentValue(int fieldIndex, const QVariant& value, bool force) {
  DatasetImpl& d = *impl_;
  if (fieldIndex < 0 || fieldIndex >= d.fields.size())
    throw Error(QStringLiteral("Campo inexistente no conjunto %1.").arg(objectName()));
  Field* f = d.fields[fieldIndex];
  if (!d.editing())
    throw Error(QStringLiteral("O conjunto %1 não está em alteração nem em inclusão; o campo '%2' "
                               "não pode ser modificado.")
                    .arg(objectName(), f->DisplayLabel()));
  if (f->ReadOnly() && !force)
    throw Error(QStringLiteral("O campo '%1' não pode ser modificado.").arg(f->DisplayLabel()));
  QVariant v = ConvertForField(f->Def(), value);
  if (f->DataType() == FieldType::String && f->Size() > 0 && !v.isNull()) {
    const QString s = v.toString();
    if (s.size() > f->Size()) v = s.left(f->Size());
  }
  d.buffer[fieldIndex] = v;
  d.modified = true;
  emit fieldChanged(f);
  emit rowChanged(d.cur);
}

}  // namespace fw
