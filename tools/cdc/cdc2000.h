#pragma once
// CDC 2000 growth charts import: reads the CDC's "percentile data files with
// LMS values" (wtageinf, lenageinf, hcageinf, wtage, statage, wtleninf,
// wtstat .csv) from one folder and produces the rows of the three tables of
// one reference for the percentiles asked for:
//   age table (PESALTIDADE), months 0 to 240:
//     month m is the CDC row at Agemos m + 0.5 (the CDC lists each whole month
//     at its half-month point), except month 240, which is Agemos 240;
//     years = m div 12, months = m mod 12. Months 0 to 35 come from wtageinf,
//     lenageinf and hcageinf, months 36 to 240 from wtage and statage; head
//     circumference only where the CDC gives it (months 0 to 35).
//   height-weight table (PESOALTU): wtleninf by Length, heights as listed.
//   NCHS 2000 table (PEALNCHS2000): wtstat by Height, heights as listed.
// A value at a percentile is the CDC's published column where one exists
// (P3, P5, ... in each file) and otherwise the LMS value
// X = M (1 + L S z)^(1/L), or M e^(S z) when L = 0, z the normal quantile.
// "Média" is M and "Desvio Padrão" is M x S. The latter is only an
// approximation: the LMS distributions are skewed, so M x S is close to the
// spread of the values only near the median.
//
// Before anything is returned every file is checked: the header must carry
// Sex, the key column, L, M and S; every line must have one number per column;
// Sex must be 1 or 2 and a (Sex, key) pair may appear once; and every
// published percentile must agree with its LMS value within kLmsTolerance
// (relative). A file that fails is refused as a whole.
//
// Used by `tabrelpeso-admin import-cdc` and `seed`, which write the rows.

#include <QList>
#include <QString>
#include <QVariantMap>

#include <optional>
#include <vector>

namespace trp::cdc {

enum Sex { kMale = 0, kFemale = 1 };

// Published percentiles of the CDC files carry 10 significant digits; the
// lenageinf columns were updated to match LMS and differ by at most 2.5e-7
// relative, every other file by 3.3e-9. A published value further from its
// LMS value than this is taken as damage to the file.
inline constexpr double kLmsTolerance = 1e-5;

// A value at one percentile with the distribution's M and M x S. Empty where
// the CDC has no row for that sex and key.
struct Measure {
  std::optional<double> value;
  std::optional<double> mean;  // M
  std::optional<double> sd;    // M x S, an approximation near the median
};

struct AgeRow {
  QString percentile;  // "050"
  int years = 0;       // NRIDADEINI
  int months = 0;      // NRIDADEFIN, 0 to 11
  Measure weight[2];   // by Sex
  Measure height[2];
  Measure head[2];
  // Column name -> value for PESALTIDADE without CDREFEBIBL; an empty
  // value is a null QVariant.
  QVariantMap Columns() const;
};

struct HeightRow {
  QString percentile;
  double height = 0;  // VRALTURA, cm
  std::optional<double> weight[2];
  QVariantMap Columns() const;  // PESOALTU without CDREFEBIBL
};

struct NchsRow {
  QString percentile;
  double height = 0;  // VRALTURAN2, cm
  Measure weight[2];
  QVariantMap Columns() const;  // PEALNCHS2000 without CDREFEBIBL
};

// Rows ordered by percentile (ascending), then by key.
struct CdcRows {
  std::vector<AgeRow> age;
  std::vector<HeightRow> height;
  std::vector<NchsRow> nchs;
};

// Reads the seven files of `dir` and builds the rows for `percentiles`
// (whole numbers from 1 to 99; repeats are ignored). Throws
// std::runtime_error with a Portuguese message naming the file (and line)
// when the folder or a file is missing or unreadable, a line is malformed, a
// published value fails the LMS check, or a percentile is not a whole number
// from 1 to 99; nothing is returned then.
CdcRows LoadCdc2000(const QString& dir, const QList<double>& percentiles);

// The percentiles the CDC publishes in every file.
QList<double> PublishedPercentiles();

// "003" for 3, "050" for 50. Throws std::runtime_error unless `percentile` is
// a whole number from 1 to 99.
QString PercentileCode(double percentile);

// The standard normal quantile (Wichura's AS241, about 16 digits).
// Throws std::runtime_error unless 0 < p < 1.
double NormalQuantile(double p);

// X = M (1 + L S z)^(1/L), or M e^(S z) when L = 0. Throws std::runtime_error
// when 1 + L S z is not positive (no such value exists).
double LmsValue(double l, double m, double s, double z);

}  // namespace trp::cdc
