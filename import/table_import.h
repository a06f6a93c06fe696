#pragma once
// A growth table from a spreadsheet: what its columns are (proposed from the
// headers, or said with a map), the rows of the three tables they give, every
// refusal with its line and column, and the plausibility findings per value.
// Used by `tabrelpeso-admin import-table` and the import wizard; the rows go
// to the database through srv::ImportTable (server) in one transaction.
//
// Two shapes are read:
//   - a sheet as people keep them: a key column (age in years and months, in
//     months, in days, or height in cm), sex in a column or for the whole
//     sheet, and either percentile columns (P3 .. P97) of one measure or L,
//     M and S columns, from which the chosen percentiles are computed
//     (X = M (1 + L S z)^(1/L)) and the L, M and S kept for the assessment;
//   - a file written by `export`: the tables' own column names, the
//     percentile's code in CDPERCENTIL (its value in the "Percentis" sheet),
//     recognised without any mapping.
// Ages in months: a whole number is that month; m + 0.5 lists month m at
// its midpoint, as the CDC does (a sheet with half months keeps its whole
// numbers, the birth point, for L, M and S only). Ages in days: day
// round(m x 30.4375) is month m, as the WHO imports read them; other days
// feed L, M and S only.

#include "import/growth.h"
#include "import/plausibility.h"
#include "import/sheet.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

namespace trp::tableimport {

enum class Table { Age, Height, Nchs };
enum class Key { YearsMonths, Months, Days, Cm };
enum class Measure { Weight, Stature, Head };

enum class Role { Ignore, Key, Years, Months, Sex, Percentile, L, M, S, Stored };

struct ColumnRole {
  Role role = Role::Ignore;
  double percentile = 0;  // Role::Percentile
  QString stored;         // Role::Stored: the table's column name (CDPERCENTIL, VRPESOMASIDA...)
};

struct Mapping {
  Table table = Table::Age;
  Key key = Key::Months;
  Measure measure = Measure::Weight;  // by age; by height the measure is weight
  std::optional<growth::Sex> sex;     // the whole sheet's, when no column says it
  int headerLine = 0;                 // the line naming the columns; 0: none found
  std::vector<ColumnRole> columns;    // by column
  bool exported = false;              // the tables' own columns (a file of `export`)
  // The map as `--columns` takes it ("A=chave,B=sexo,C=P3,...,medida=peso").
  QString Text(const sheet::Sheet& s) const;
};

// The texts of the command line and the wizard.
QString TableName(Table t);  // age, height, nchs
QString KeyName(Key k);      // anos-meses, meses, dias, cm
std::optional<Table> TableFromName(const QString& name);
std::optional<Key> KeyFromName(const QString& name);

// The mapping the headers suggest: the header line is the first with a key
// and a value column; an `export` file's columns are recognised as such.
// `table` and `key`, when given, override what the headers suggest. The sheet's
// name may say its sex ("Meninas", "Boys", "Masculino").
Mapping Propose(const sheet::Sheet& s, std::optional<Table> table = {},
                std::optional<Key> key = {});

// `map` over `m`: comma-separated HEADER=ROLE, HEADER a column's header text
// or its letter, ROLE chave, anos, meses, sexo, P<n>, L, M, S or ignorar;
// sexo=masculino|feminino for a sheet without a sex column,
// medida=peso|estatura|pc for the age table's measure. Throws
// std::runtime_error naming the part it cannot read.
void ApplyMap(Mapping& m, const sheet::Sheet& s, const QString& map);

// A percentile of the import: its value and, from an `export` file, its code
// and name.
struct PercentileSpec {
  std::optional<double> value;
  QString code, name;
};

// Something found at one place of the file.
struct Note {
  int line = 0;
  int column = -1;  // -1: the whole line
  QString text;
  QString Where() const;  // "linha 12, coluna C"
};

// One value of the result and its findings, for the preview.
struct Finding {
  Table table;
  QString percentile;  // row key of Result::percentiles
  double key;          // months by age, cm by height
  QString column;      // the stored column (VRPESOMASIDA)
  int line, fileColumn;
  QString text;
};

// Where a stored value came from in the file.
struct Placed {
  Table table;
  QString percentile;
  double key;
  QString column;
  int line, fileColumn;
  growth::Sex sex;
  growth::Quantity quantity;
};

struct Result {
  growth::Rows rows;  // percentile = a key of `percentiles`
  std::map<QString, PercentileSpec> percentiles;
  std::vector<Note> errors;  // any error refuses the whole file
  std::vector<Placed> placed;
  std::vector<Finding> findings;
  int lmsOnlyLines = 0;  // lines that feed only L, M and S (birth point, days between months)
  // LMSREFERENCIA.CDORIGEM of rows.lms: "CDC" (the general LMS rules) unless
  // an `export` file says "OMS".
  QString lmsOrigin = QStringLiteral("CDC");
};

// The rows `m` reads from `s`; percentiles from L, M and S at `percentiles`
// (whole numbers or not, 0 < p < 100), besides those the sheet publishes.
// `percentileSheet`, from an `export` file, names its percentiles' values.
Result Read(const sheet::Sheet& s, const Mapping& m, const QList<double>& percentiles,
            const sheet::Sheet* percentileSheet = nullptr);

// Read over every sheet of an `export` workbook (the three tables, its
// percentiles and L, M and S), or over the one sheet named; the reference's
// citation sheet is left to ReadCitation.
Result ReadExported(const sheet::Workbook& book);
bool IsExported(const sheet::Workbook& book);

// What to read of a workbook (the command line's options, the wizard's choices).
struct Options {
  QString sheet;  // empty: every sheet whose headers say what they hold
  std::optional<Table> table;
  std::optional<Key> key;
  QString map;                // ApplyMap's text
  QList<double> percentiles;  // computed from L, M and S
};
// A workbook read by `o`: a file of `export` (when no table, key or map is
// given) by its own columns; otherwise each chosen sheet by its proposal and
// the map, their rows merged (a sheet per sex, or per measure, fills the
// other columns of the same rows; the same value twice is an error).
// `mappings` receives the mapping of each sheet read. Throws
// std::runtime_error for a sheet that does not exist or a map it cannot read.
Result ReadBook(const sheet::Workbook& book, const Options& o,
                std::vector<std::pair<QString, Mapping>>* mappings = nullptr);

// The "Referência" sheet of an `export` file: name, citation, source, licence.
struct Citation {
  QString code, name, citation, source, licence;
};
std::optional<Citation> ReadCitation(const sheet::Workbook& book);

// The plausibility findings per value (the admin's `check` rules), filled
// into `r.findings`; the whole-reference messages come back as text.
QStringList CheckPlausibility(Result& r);

// --- percentiles against those already registered

struct KnownPercentile {
  QString code, name;
  std::optional<double> value;
};
struct NewPercentile {
  QString code, name;
  std::optional<double> value;
};
// Each percentile of the import gets the registered code with its value (or
// its code, from an `export` file, when that code is free of another value);
// the others are created: the export's code or "015" for 15, named "Percentil
// 15". Throws std::runtime_error when none can be made (2.5 with no code).
std::map<QString, QString> ResolvePercentiles(const std::map<QString, PercentileSpec>& specs,
                                              const std::vector<KnownPercentile>& known,
                                              std::vector<NewPercentile>& created);
// The rows with their percentile keys replaced by the codes.
void Recode(growth::Rows& rows, const std::map<QString, QString>& codes);

}  // namespace trp::tableimport
