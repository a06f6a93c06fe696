#pragma once
// What every growth reference import shares: the rows of the three tables of
// one reference (PESALTIDADE, PESOALTU, PEALNCHS2000) as plain values, their
// column names, and the LMS arithmetic that turns L, M and S into a value at a
// percentile. "Média" is M and "Desvio Padrão" is M x S, an approximation
// that only holds near the median (LMS distributions are skewed).

#include <QList>
#include <QString>
#include <QVariantMap>

#include <optional>
#include <vector>

namespace trp::growth {

enum Sex { kMale = 0, kFemale = 1 };

// A value at one percentile with the distribution's M and M x S. Empty where
// the reference has no value for that sex and key.
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
  // The inverse of Columns(); absent or null columns stay empty.
  static AgeRow FromColumns(const QVariantMap& columns);
};

struct HeightRow {
  QString percentile;
  double height = 0;  // VRALTURA, cm
  std::optional<double> weight[2];
  QVariantMap Columns() const;  // PESOALTU without CDREFEBIBL
  static HeightRow FromColumns(const QVariantMap& columns);
};

struct NchsRow {
  QString percentile;
  double height = 0;  // VRALTURAN2, cm
  Measure weight[2];
  QVariantMap Columns() const;  // PEALNCHS2000 without CDREFEBIBL
  static NchsRow FromColumns(const QVariantMap& columns);
};

// One L, M, S point as a file gives it, kept for assessing children.
struct LmsRow {
  const char* indicator;  // "peso_idade", "estatura_idade", "imc_idade", ...
  char unit;              // key unit: 'D' age in days, 'M' months, 'C' cm
  Sex sex;
  double key, l, m, s;
};

// The rows of one reference, ordered by percentile (ascending), then by key.
struct Rows {
  std::vector<AgeRow> age;
  std::vector<HeightRow> height;
  std::vector<NchsRow> nchs;
  std::vector<LmsRow> lms;  // every L, M, S point read
};

// "003" for 3, "050" for 50. Throws std::runtime_error unless `percentile` is
// a whole number from 1 to 99.
QString PercentileCode(double percentile);

// The standard normal quantile (Wichura's AS241, about 16 digits).
// Throws std::runtime_error unless 0 < p < 1.
double NormalQuantile(double p);

// X = M (1 + L S z)^(1/L), or M e^(S z) when L = 0. Throws std::runtime_error
// when 1 + L S z is not positive (no such value exists).
double LmsValue(double l, double m, double s, double z);

// The value at `percentile` with its M and M x S.
Measure LmsMeasure(double l, double m, double s, double z);

}  // namespace trp::growth
