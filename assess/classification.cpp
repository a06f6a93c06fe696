#include "assess/classification.h"

#include <cmath>

namespace trp::assess {

double ShownZ(double z) { return std::round(z * 100) / 100; }

bool Implausible(Indicator i, double raw) {
  const double z = ShownZ(raw);
  switch (i) {
    case Indicator::StatureAge:
      return z < -6 || z > 6;
    case Indicator::WeightAge:
      return z < -6 || z > 5;
    case Indicator::WeightStature:
    case Indicator::BmiAge:
    case Indicator::HeadAge:
      break;
  }
  return z < -5 || z > 5;
}

std::optional<QString> Classify(Indicator i, double raw, bool underFive) {
  const double z = ShownZ(raw);
  switch (i) {
    case Indicator::WeightAge:
      if (z < -3) return QStringLiteral("Muito baixo peso para a idade");
      if (z < -2) return QStringLiteral("Baixo peso para a idade");
      if (z <= 2) return QStringLiteral("Peso adequado para a idade");
      return QStringLiteral("Peso elevado para a idade");
    case Indicator::StatureAge:
      if (z < -3) return QStringLiteral("Muito baixa estatura para a idade");
      if (z < -2) return QStringLiteral("Baixa estatura para a idade");
      return QStringLiteral("Estatura adequada para a idade");
    case Indicator::WeightStature:
    case Indicator::BmiAge:
      if (z < -3) return QStringLiteral("Magreza acentuada");
      if (z < -2) return QStringLiteral("Magreza");
      if (z <= 1) return QStringLiteral("Eutrofia");
      if (underFive) {
        if (z <= 2) return QStringLiteral("Risco de sobrepeso");
        if (z <= 3) return QStringLiteral("Sobrepeso");
        return QStringLiteral("Obesidade");
      }
      if (z <= 2) return QStringLiteral("Sobrepeso");
      if (z <= 3) return QStringLiteral("Obesidade");
      return QStringLiteral("Obesidade grave");
    case Indicator::HeadAge:
      break;
  }
  return std::nullopt;
}

}  // namespace trp::assess
