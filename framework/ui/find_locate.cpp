// The find dialogs' locating rule: a number as the grid shows it, text exact
// then by prefix.
#include "framework/ui/find_locate.h"

#include "framework/data/dataset.h"
#include "framework/data/format.h"

namespace fw {

namespace {

// The user types what the grid shows, so a number matches at the displayed
// precision, not the stored one (8,534 for 8.534275 under "0.000").
bool LocateNumber(Dataset& dataset, const Field& field, const QString& value) {
  const std::optional<double> typed = ParseFloat(value);
  if (!typed) return false;
  if (dataset.State() == DatasetState::Edit || dataset.State() == DatasetState::Insert) {
    // As Locate does: the rows read must be the posted ones.
    if (dataset.Modified())
      dataset.Post();
    else
      dataset.Cancel();
  }
  const std::optional<int> decimals = FormatDecimals(field.DisplayFormat());
  const std::optional<long long> wanted = decimals ? ScaledRound(*typed, *decimals) : std::nullopt;
  const QString typedText = FloatToStr(*typed);
  for (int row = 0; row < dataset.RecordCount(); ++row) {
    const QVariant stored = dataset.ValueAt(row, field.Index());
    if (stored.isNull()) continue;
    const double v = stored.toDouble();
    bool same = false;
    if (decimals && wanted) {
      const std::optional<long long> shown = ScaledRound(v, *decimals);
      same = shown && *shown == *wanted;
    } else if (decimals) {
      same = FormatFloat(v, field.DisplayFormat()) == FormatFloat(*typed, field.DisplayFormat());
    } else {
      // No format: the grid shows the shortest text of the value itself.
      same = FloatToStr(v) == typedText;
    }
    if (same) {
      dataset.SetRecNo(row);
      return true;
    }
  }
  return false;
}

}  // namespace

bool LocateForFind(Dataset& dataset, const QString& fieldName, const QString& value) {
  const Field* field = dataset.FieldByName(fieldName);  // unknown: fw::Error before any move
  if (field->DataType() == FieldType::Float || field->DataType() == FieldType::Integer)
    return LocateNumber(dataset, *field, value);
  if (dataset.Locate(fieldName, value)) return true;
  return dataset.Locate(fieldName, value, loCaseInsensitive | loPartialKey);
}

}  // namespace fw
