#pragma once
// WHO growth references import: reads the WHO's LMS tables (tab-separated
// .txt files of the WHO's anthro and anthroplus packages) from one folder and
// builds the rows of two references for the percentiles asked for.
//
// The length reference (age table and weight-for-length):
//   age table (PESALTIDADE), month m = 0 to 228; years = m div 12,
//   months = m mod 12:
//     m <= 60: WHO Child Growth Standards 2006 at the day round(m x 30.4375)
//       (weianthro, lenanthro, hcanthro): weight, length/height and head
//       circumference. lenanthro is recumbent length below 731 days and
//       standing height from 731 days, so month 24 on is height.
//     m >= 61: WHO Reference 2007 at month m: height to 228 months
//       (hfawho2007), weight to 120 months (wfawho2007); no head
//       circumference. Missing values stay empty.
//   height-weight table (PESOALTU): weight-for-length (wflanthro), 45 to
//   110 cm in steps of 0.5 cm.
//   NCHS 2000 table (PEALNCHS2000): empty.
// The height reference: the height-weight table only, weight-for-height
// (wfhanthro), 65 to 120 cm in steps of 0.5 cm. Length and height differ by
// about 0.7 cm, so the two never share a table.
//
// Every file's L, M and S is kept too (growth::Rows::lms): by age in days
// weianthro "peso_idade", lenanthro "estatura_idade", hcanthro "pc_idade",
// bmianthro "imc_idade"; by month wfawho2007 "peso_idade", hfawho2007
// "estatura_idade", bfawho2007 "imc_idade"; by cm wflanthro
// "peso_comprimento" and wfhanthro "peso_estatura" (also in heightLms).
//
// A value at percentile p is X = M (1 + L S z)^(1/L), or M e^(S z) when
// L = 0, z the normal quantile of p. "Média" is M and "Desvio Padrão" is
// M x S, as for CDC 2000.
//
// Before anything is returned every file is checked: the header must carry
// sex, the key column, l, m and s; every line must have one value per column;
// sex must be 1 or 2; M and S must be positive; every key must lie on the
// file's grid inside its range, appear once per sex, and none may be missing
// (a truncated file is refused); lenanthro's loh must be L below 731 days and
// H from there, wflanthro's lorh L and wfhanthro's lorh H. A file that fails
// is refused as a whole.

#include "import/growth.h"

#include <QList>
#include <QString>

#include <vector>

namespace trp::who {

struct WhoRows {
  growth::Rows length;                    // age table and weight-for-length
  std::vector<growth::HeightRow> height;  // weight-for-height
  std::vector<growth::LmsRow> heightLms;  // wfhanthro, for the stature reference
};

// Reads the nine files of `dir` and builds the rows for `percentiles` (whole
// numbers from 1 to 99; repeats are ignored). Throws std::runtime_error with
// a Portuguese message naming the file (and line) when the folder or a file
// is missing, unreadable, malformed or truncated, or a percentile is not a
// whole number from 1 to 99; nothing is returned then.
WhoRows LoadWho(const QString& dir, const QList<double>& percentiles);

// The percentiles imported when none are asked for: 3, 5, 10, 25, 50, 75,
// 90, 95 and 97, as for CDC 2000.
QList<double> DefaultPercentiles();

// The day of the 2006 standards that month m (0 to 60) stands for.
int DayOfMonth(int month);

}  // namespace trp::who
