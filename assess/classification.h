#pragma once
// The WHO's limits for implausible z-scores and the Ministry of Health's
// (SISVAN) classification of a z-score on the WHO references.
//
// Source of the cut-offs: Brasil, Ministério da Saúde. Orientações para a
// coleta e análise de dados antropométricos em serviços de saúde: Norma
// Técnica do Sistema de Vigilância Alimentar e Nutricional - SISVAN.
// Brasília, 2011.

#include "assess/band.h"

#include <QString>

#include <optional>

namespace trp::assess {

// z at two decimals, as shown: the WHO's anthro and anthroplus round before
// flagging (flag_zscore, flag_scores), and the class reads what the user reads.
double ShownZ(double z);

// True when z, taken at two decimals, lies beyond the WHO's limits for the
// indicator (anthro's fwei/flen/fwfl/fbmi/fhc, anthroplus's fwfa/fhfa/fbfa):
// stature-for-age below -6 or above +6; weight-for-age below -6 or above +5;
// weight-for-stature, BMI-for-age and head circumference-for-age beyond +-5.
// A z shown as -6.00 is not flagged.
bool Implausible(Indicator i, double z);

// The SISVAN class of z (taken at two decimals, as shown). `underFive`
// picks the table of the child's age group (under 60 months); from 5 years
// weight-for-age is classified to 10 years as under 5 and BMI-for-age has
// its own table. Head circumference has no class: nullopt.
std::optional<QString> Classify(Indicator i, double z, bool underFive);

}  // namespace trp::assess
