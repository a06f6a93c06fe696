#include "import/growth.h"

#include <cmath>
#include <stdexcept>

namespace trp::growth {

namespace {

[[noreturn]] void Fail(const QString& message) { throw std::runtime_error(message.toStdString()); }

QString Num(double v) { return QString::number(v, 'g', 10); }

QVariant V(const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(); }

std::optional<double> Opt(const QVariantMap& map, const char* column) {
  const QVariant v = map.value(QString::fromLatin1(column));
  if (v.isNull() || !v.isValid()) return std::nullopt;
  return v.toDouble();
}

// Value, mean and deviation columns of one measure of one sex.
struct MeasureColumns {
  const char* value;
  const char* mean;
  const char* sd;
};

struct AgeColumns {
  MeasureColumns weight, height, head;
};

// By Sex.
constexpr AgeColumns kAge[2] = {
    {{"VRPESOMASIDA", "VRMDPSMASIDA", "VRDPPSMASIDA"},
     {"VRALTUMASIDA", "VRMDATMASIDA", "VRDPATMASIDA"},
     {"VRPMCFMASIDA", "VRMDPCMASIDA", "VRDPPCMASIDA"}},
    {{"VRPESOFEMIDA", "VRMDPSFEMIDA", "VRDPPSFEMIDA"},
     {"VRALTUFEMIDA", "VRMDATFEMIDA", "VRDPATFEMIDA"},
     {"VRPMCFFEMIDA", "VRMDPCFEMIDA", "VRDPPCFEMIDA"}},
};
constexpr const char* kHeightWeight[2] = {"VRPESOMASALT", "VRPESOFEMALT"};
constexpr MeasureColumns kNchs[2] = {{"VRPESOMASN2", "VRMEDIMASN2", "VRDVPDMASN2"},
                                     {"VRPESOFEMN2", "VRMEDIFEMN2", "VRDVPDFEMN2"}};

void Put(QVariantMap& map, const MeasureColumns& c, const Measure& m) {
  map.insert(QString::fromLatin1(c.value), V(m.value));
  map.insert(QString::fromLatin1(c.mean), V(m.mean));
  map.insert(QString::fromLatin1(c.sd), V(m.sd));
}

Measure Get(const QVariantMap& map, const MeasureColumns& c) {
  return {Opt(map, c.value), Opt(map, c.mean), Opt(map, c.sd)};
}

QString Code(const QVariantMap& map) { return map.value(QStringLiteral("CDPERCENTIL")).toString(); }

}  // namespace

QVariantMap AgeRow::Columns() const {
  QVariantMap c;
  c.insert(QStringLiteral("CDPERCENTIL"), percentile);
  c.insert(QStringLiteral("NRIDADEINI"), double(years));
  c.insert(QStringLiteral("NRIDADEFIN"), double(months));
  for (Sex sex : {kMale, kFemale}) {
    Put(c, kAge[sex].weight, weight[sex]);
    Put(c, kAge[sex].height, height[sex]);
    Put(c, kAge[sex].head, head[sex]);
  }
  return c;
}

AgeRow AgeRow::FromColumns(const QVariantMap& columns) {
  AgeRow r;
  r.percentile = Code(columns);
  r.years = columns.value(QStringLiteral("NRIDADEINI")).toInt();
  r.months = columns.value(QStringLiteral("NRIDADEFIN")).toInt();
  for (Sex sex : {kMale, kFemale}) {
    r.weight[sex] = Get(columns, kAge[sex].weight);
    r.height[sex] = Get(columns, kAge[sex].height);
    r.head[sex] = Get(columns, kAge[sex].head);
  }
  return r;
}

QVariantMap HeightRow::Columns() const {
  QVariantMap c;
  c.insert(QStringLiteral("CDPERCENTIL"), percentile);
  c.insert(QStringLiteral("VRALTURA"), height);
  for (Sex sex : {kMale, kFemale})
    c.insert(QString::fromLatin1(kHeightWeight[sex]), V(weight[sex]));
  return c;
}

HeightRow HeightRow::FromColumns(const QVariantMap& columns) {
  HeightRow r;
  r.percentile = Code(columns);
  r.height = columns.value(QStringLiteral("VRALTURA")).toDouble();
  for (Sex sex : {kMale, kFemale}) r.weight[sex] = Opt(columns, kHeightWeight[sex]);
  return r;
}

QVariantMap NchsRow::Columns() const {
  QVariantMap c;
  c.insert(QStringLiteral("CDPERCENTIL"), percentile);
  c.insert(QStringLiteral("VRALTURAN2"), height);
  for (Sex sex : {kMale, kFemale}) Put(c, kNchs[sex], weight[sex]);
  return c;
}

NchsRow NchsRow::FromColumns(const QVariantMap& columns) {
  NchsRow r;
  r.percentile = Code(columns);
  r.height = columns.value(QStringLiteral("VRALTURAN2")).toDouble();
  for (Sex sex : {kMale, kFemale}) r.weight[sex] = Get(columns, kNchs[sex]);
  return r;
}

QString PercentileCode(double percentile) {
  if (!std::isfinite(percentile) || percentile < 1 || percentile > 99 ||
      percentile != std::floor(percentile)) {
    Fail(QStringLiteral("Percentil inválido: %1. Informe números inteiros de 1 a 99.")
             .arg(Num(percentile)));
  }
  return QStringLiteral("%1").arg(int(percentile), 3, 10, QLatin1Char('0'));
}

double NormalQuantile(double p) {
  if (!(p > 0 && p < 1)) {
    Fail(QStringLiteral("Probabilidade fora do intervalo aberto (0, 1): %1.").arg(Num(p)));
  }
  // Wichura, Algorithm AS241 (PPND16), Applied Statistics 37 (1988) 477-484.
  const double q = p - 0.5;
  if (std::fabs(q) <= 0.425) {
    const double r = 0.180625 - q * q;
    const double num = (((((((2.5090809287301226727e+3 * r + 3.3430575583588128105e+4) * r +
                             6.7265770927008700853e+4) *
                                r +
                            4.5921953931549871457e+4) *
                               r +
                           1.3731693765509461125e+4) *
                              r +
                          1.9715909503065514427e+3) *
                             r +
                         1.3314166789178437745e+2) *
                            r +
                        3.3871328727963666080e+0) *
                       q;
    const double den = (((((((5.2264952788528545610e+3 * r + 2.8729085735721942674e+4) * r +
                             3.9307895800092710610e+4) *
                                r +
                            2.1213794301586595867e+4) *
                               r +
                           5.3941960214247511077e+3) *
                              r +
                          6.8718700749205790830e+2) *
                             r +
                         4.2313330701600911252e+1) *
                            r +
                        1.0);
    return num / den;
  }
  double r = std::sqrt(-std::log(q < 0 ? p : 1.0 - p));
  double x;
  if (r <= 5.0) {
    r -= 1.6;
    x = (((((((7.74545014278341407640e-4 * r + 2.27238449892691845833e-2) * r +
              2.41780725177450611770e-1) *
                 r +
             1.27045825245236838258e+0) *
                r +
            3.64784832476320460504e+0) *
               r +
           5.76949722146069140550e+0) *
              r +
          4.63033784615654529590e+0) *
             r +
         1.42343711074968357734e+0) /
        (((((((1.05075007164441684324e-9 * r + 5.47593808499534494600e-4) * r +
              1.51986665636164571966e-2) *
                 r +
             1.48103976427480074590e-1) *
                r +
            6.89767334985100004550e-1) *
               r +
           1.67638483018380384940e+0) *
              r +
          2.05319162663775882187e+0) *
             r +
         1.0);
  } else {
    r -= 5.0;
    x = (((((((2.01033439929228813265e-7 * r + 2.71155556874348757815e-5) * r +
              1.24266094738807843860e-3) *
                 r +
             2.65321895265761230930e-2) *
                r +
            2.96560571828504891230e-1) *
               r +
           1.78482653991729133580e+0) *
              r +
          5.46378491116411436990e+0) *
             r +
         6.65790464350110377720e+0) /
        (((((((2.04426310338993978564e-15 * r + 1.42151175831644588870e-7) * r +
              1.84631831751005468180e-5) *
                 r +
             7.86869131145613259100e-4) *
                r +
            1.48753612908506148525e-2) *
               r +
           1.36929880922735805310e-1) *
              r +
          5.99832206555887937690e-1) *
             r +
         1.0);
  }
  return q < 0 ? -x : x;
}

double LmsValue(double l, double m, double s, double z) {
  if (l == 0) return m * std::exp(s * z);
  const double base = 1 + l * s * z;
  if (!(base > 0)) {
    Fail(QStringLiteral("L, M e S (%1, %2, %3) não definem um valor para z = %4.")
             .arg(Num(l), Num(m), Num(s), Num(z)));
  }
  return m * std::pow(base, 1 / l);
}

Measure LmsMeasure(double l, double m, double s, double z) {
  return Measure{LmsValue(l, m, s, z), m, m * s};
}

}  // namespace trp::growth
