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
// L, M and S are kept too (growth::Rows::lms), by age in months: wtageinf
// below 36 months and wtage from 36 "peso_idade", lenageinf
// "comprimento_idade", statage "estatura_idade", hcageinf "pc_idade"; by cm:
// wtleninf "peso_comprimento", wtstat "peso_estatura".
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

#include "import/growth.h"

#include <QList>
#include <QString>

namespace trp::cdc {

using growth::AgeRow;
using growth::HeightRow;
using growth::kFemale;
using growth::kMale;
using growth::LmsValue;
using growth::Measure;
using growth::NchsRow;
using growth::NormalQuantile;
using growth::PercentileCode;
using growth::Sex;
using CdcRows = growth::Rows;

// Published percentiles of the CDC files carry 10 significant digits; the
// lenageinf columns were updated to match LMS and differ by at most 2.5e-7
// relative, every other file by 3.3e-9. A published value further from its
// LMS value than this is taken as damage to the file.
inline constexpr double kLmsTolerance = 1e-5;

// Reads the seven files of `dir` and builds the rows for `percentiles`
// (whole numbers from 1 to 99; repeats are ignored). Throws
// std::runtime_error with a Portuguese message naming the file (and line)
// when the folder or a file is missing or unreadable, a line is malformed, a
// published value fails the LMS check, or a percentile is not a whole number
// from 1 to 99; nothing is returned then.
CdcRows LoadCdc2000(const QString& dir, const QList<double>& percentiles);

// The percentiles the CDC publishes in every file.
QList<double> PublishedPercentiles();

}  // namespace trp::cdc
