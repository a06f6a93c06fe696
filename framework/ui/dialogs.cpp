#include "framework/ui/dialogs.h"

#include "framework/data/dataset.h"
#include "framework/data/format.h"

#include <cstdio>

namespace fw {

namespace {

// Used until the host (or a test) installs an implementation: says what it
// would have shown and refuses every question, so nothing happens unasked.
class FallbackDialogs : public IDialogs {
 public:
  MsgButton Message(const QString& text, MsgType, MsgButtons buttons, int) override {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    if (buttons & mbNo) return mbNo;
    if (buttons & mbCancel) return mbCancel;
    return (buttons & mbOK) ? mbOK : mbNone;
  }
  bool PickRecord(const PickRequest&) override { return false; }
  bool PickRecords(const PickRequest&, const QString&, QList<int>&) override { return false; }
  bool Find(Dataset*, const QString&, const QList<FindColumn>&) override { return false; }
  void BusyShow(QWidget*, int) override {}
  void BusyHide() override {}
  void ShowHelp(const QString&, int) override {}
};

FallbackDialogs& Fallback() {
  static FallbackDialogs fallback;
  return fallback;
}

IDialogs* installed = nullptr;

}  // namespace

QString BusyCaption(int kind) {
  switch (kind) {
    case bkLoading:
      return QStringLiteral("Carregando...");
    case bkSaving:
      return QStringLiteral("Gravando...");
    case bkVerifying:
      return QStringLiteral("Verificando...");
    default:
      return QStringLiteral("Aguarde...");
  }
}

void InstallDialogs(IDialogs* dialogs) { installed = dialogs; }

bool IDialogs::InputText(const QString&, const QString&, QString&) { return false; }

MsgButton IDialogs::MessageDetail(const QString& text, const QString& detail, MsgType type,
                                  MsgButtons buttons, int helpContext) {
  return Message(detail.isEmpty() ? text : text + QStringLiteral("\n\n") + detail, type, buttons,
                 helpContext);
}

void IDialogs::ShowStatus(const QString&) {}

bool IDialogs::SaveFileName(const QString&, const QString&, QString&) { return false; }

IDialogs& Dialogs() { return installed ? *installed : Fallback(); }

IDialogs* InstalledDialogs() { return installed; }

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
