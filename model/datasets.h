#pragma once
// The field lists of every dataset and local query of this module, declared
// once as data. Screens build their datasets from them (BuildDataset), the
// local queries take their display properties from them (ApplyFieldSpec) and
// the application server takes the columns of each packet from them
// (PacketFields). Qt Core only, so server code can use it.
//
// Labels: a field declared without a label (label == nullptr) shows its field
// name, as the framework does for any field; a field whose label is declared
// empty (label == "") shows an empty column title. The age and height-weight
// rows declare their hidden percentile code that way: it is never a grid
// column, and an empty title keeps the field name out of any generic view.

#include "framework/data/dataset.h"
#include "framework/data/packet.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringView>

#include <span>

namespace trp::model {

struct FieldSpec {
  const char* name = "";
  fw::FieldType type = fw::FieldType::String;
  int size = 0;                 // declared width of a string field, 0 otherwise
  const char* label = nullptr;  // UTF-8; nullptr: none declared (see above)
  const char* format = "";      // display format of a float field ("#,##0.000")
  int width = 0;                // display width in characters; 0: framework default
  bool hidden = false;          // declared invisible
  bool required = false;

  constexpr FieldSpec Hidden() const {
    FieldSpec f = *this;
    f.hidden = true;
    return f;
  }
  constexpr FieldSpec Width(int w) const {
    FieldSpec f = *this;
    f.width = w;
    return f;
  }
  constexpr FieldSpec Required() const {
    FieldSpec f = *this;
    f.required = true;
    return f;
  }

  QString Name() const { return QString::fromLatin1(name); }
  // Null QString when no label is declared, an empty (non-null) one when the
  // declared label is empty.
  QString Label() const;
  QString Format() const { return QString::fromLatin1(format); }
  fw::FieldDef Def() const { return fw::FieldDef{Name(), type, size}; }
};

// A string field of `size` characters.
constexpr FieldSpec Str(const char* name, int size, const char* label = nullptr) {
  return FieldSpec{name, fw::FieldType::String, size, label};
}
// A float field with a display format.
constexpr FieldSpec Flt(const char* name, const char* label = nullptr, const char* format = "") {
  return FieldSpec{name, fw::FieldType::Float, 0, label, format};
}

// Which screen owns a dataset or query. The report screen and the automatic
// registration dialog both hold a query named qryPercentil, with the same
// fields but different SQL texts.
enum class Screen { TabRelPeso, PercDestino, RelTabPeso };

struct DatasetSpec {
  const char* name = "";
  std::span<const FieldSpec> fields;

  QString Name() const { return QString::fromLatin1(name); }
  // The field named `field`, or nullptr.
  const FieldSpec* Find(QStringView field) const;
};

// Every distinct dataset and query field list, each name once.
std::span<const DatasetSpec* const> AllDatasetSpecs();
// The datasets and queries one screen holds, in the order the screen declares them.
std::span<const DatasetSpec* const> DatasetSpecsOf(Screen screen);
// The spec named `name` ("cdsIdPesAlt", "qryPesqRefe"); throws fw::Error naming
// the dataset when there is none.
const DatasetSpec& DatasetSpecByName(QStringView name);

// The packet column list of a spec, in declaration order.
QList<fw::FieldDef> FieldDefs(const DatasetSpec& spec);

// Sets display label, format, width, visibility and required flag of `field`
// from `spec`. Never fails.
void ApplyFieldSpec(fw::Field& field, const FieldSpec& spec);

// Creates the dataset (objectName = spec name, owned by `parent`) with its
// fields declared in order (objectName = dataset name + field name) and their
// display properties set. The dataset is inactive until it gets a packet.
// Throws fw::Error only if the framework refuses a field (a programming error).
fw::Dataset* BuildDataset(const DatasetSpec& spec, QObject* parent = nullptr);

// --- what the application server sends and receives -----------------------
// The dataset whose fields a server method's packet carries: the dataset that
// receives the answer (cdsValidaIdade for GetValidaIdade, cdsPercentilPesAlt
// for GetPercentilPesAlt, ...). `element` is 0 or 1 for the pairs of
// GetPercIdade, GetPercAltura and GetPercAlturaNCHS and is ignored otherwise;
// for SetIdPesAlt, SetPesAlt and SetPesAltNCHS it is the dataset whose delta
// arrives. Throws fw::Error for a method without a packet
// or an element out of range.
const DatasetSpec& PacketSpec(QStringView method, int element = 0);
// Shorthand for FieldDefs(PacketSpec(method, element)).
QList<fw::FieldDef> PacketFields(QStringView method, int element = 0);

// The three row tables: server table, the dataset that holds its rows and the
// key columns in the order the table's primary key lists them.
struct RowTable {
  const char* table;    // "PESALTIDADE"
  const char* dataset;  // "cdsIdPesAlt"
  std::span<const char* const> keys;
};
std::span<const RowTable> RowTables();
// Throws fw::Error when `table` is not one of the three.
const RowTable& RowTableByName(QStringView table);

}  // namespace trp::model
