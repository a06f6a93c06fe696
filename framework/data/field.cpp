#include "framework/data/field.h"

#include "framework/data/dataset.h"
#include "framework/data/errors.h"
#include "framework/data/format.h"

#include <cmath>

namespace fw {

Field::Field(Dataset* dataset, const FieldDef& def, int index)
    : QObject(dataset), dataset_(dataset), def_(def), index_(index) {
  setObjectName((dataset ? dataset->objectName() : QString()) + def.name);
}

QVariant Field::Value() const { return dataset_->CurrentValue(index_); }

void Field::SetValue(const QVariant& value) { dataset_->SetCurrentValue(index_, value); }

QString Field::AsString() const {
  const QVariant v = Value();
  if (v.isNull()) return QString();
  switch (def_.type) {
    case FieldType::Float:
      return FloatToStr(v.toDouble());
    case FieldType::Boolean:
      return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default:
      return v.toString();
  }
}

void Field::SetAsString(const QString& text) {
  if (def_.type == FieldType::String) {
    SetValue(text.isEmpty() ? QVariant() : QVariant(text));
    return;
  }
  if (def_.type == FieldType::Float) {
    bool ok = false;
    const auto v = ParseFloat(text, &ok);
    if (!ok) throw Error(QStringLiteral("'%1' não é um valor numérico válido.").arg(text));
    SetValue(v ? QVariant(*v) : QVariant());
    return;
  }
  SetValue(text.trimmed().isEmpty() ? QVariant() : QVariant(text));
}

double Field::AsFloat() const {
  const QVariant v = Value();
  if (v.isNull()) return 0;
  if (def_.type == FieldType::String) {
    bool ok = false;
    const auto d = ParseFloat(v.toString(), &ok);
    if (!ok) throw Error(QStringLiteral("'%1' não é um valor numérico válido.").arg(v.toString()));
    return d.value_or(0);
  }
  if (def_.type == FieldType::Boolean) return v.toBool() ? 1 : 0;
  return v.toDouble();
}

void Field::SetAsFloat(double value) { SetValue(value); }

bool Field::IsNull() const { return Value().isNull(); }

void Field::Clear() { SetValue(QVariant()); }

QString Field::DisplayTextOf(const QVariant& value) const {
  if (value.isNull()) return QString();
  switch (def_.type) {
    case FieldType::Float:
      return FormatFloat(value.toDouble(), displayFormat_);
    case FieldType::Integer:
      return displayFormat_.isEmpty() ? value.toString()
                                      : FormatFloat(value.toDouble(), displayFormat_);
    case FieldType::Boolean:
      return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default:
      return value.toString();
  }
}

QString Field::DisplayText() const { return DisplayTextOf(Value()); }

QString Field::EditText() const {
  if (editDecimals_ < 0 || def_.type != FieldType::Float || IsNull()) return AsString();
  const std::optional<long long> scaled = ScaledRound(AsFloat(), editDecimals_);
  if (!scaled) return AsString();
  return FloatToStr(double(*scaled) / std::pow(10.0, editDecimals_));
}

void Field::SetEditText(const QString& text) { SetAsString(ApplyEditMask(editMask_, text)); }

void Field::SetReadOnly(bool readOnly) {
  if (readOnly_ == readOnly) return;
  readOnly_ = readOnly;
  emit propertiesChanged(this);
}

void Field::FocusControl() { emit focusRequested(this); }

}  // namespace fw
