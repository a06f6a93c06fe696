#pragma once
// AvaliaMedida: a child's measurement placed on the kept references. Read
// only, so readers may call it.

#include "server/assess_cache.h"
#include "server/service.h"
#include "server/storage.h"

#include <QJsonArray>

namespace srv {

// Positional params: sexo ("M"/"F"), idade_dias (whole days, or null),
// nascimento and medicao ("AAAA-MM-DD", used when idade_dias is null),
// peso (kg), estatura (cm), medida ("D" lying, "P" standing, or ""), pc (cm)
// - each measure a number or null - and the reference codes ("02,05"; ""
// for every reference with an answer at that age). The answer is a packet,
// one row per reference and indicator: CDREFEBIBL, NMREFEBIBL, NRIDADEDIAS,
// CDINDICADOR, VRZ, VRPERCENTIL, DSFAIXA, DSCLASSIFICACAO, FLIMPLAUSIVEL
// ("S"/"N"). Throws RpcError (InvalidParams for what the call sent, Refused
// for an unknown reference) and DbError.
JsonPieces AvaliaMedida(Db& db, AssessReferenceCache& cache, const QJsonArray& params);

// AvaliaMedidas(criancas, referencias): many children in one call, each as
// AvaliaMedida's first eight params; the answer's rows lead with NRCRIANCA,
// the child's place in the list (1, 2, ...). A bad child answers
// InvalidParams naming its place, and nothing else is assessed.
JsonPieces AvaliaMedidas(Db& db, AssessReferenceCache& cache, const QJsonArray& params);

// Children one AvaliaMedidas call may send.
inline constexpr int kMaxAssessChildren = 1000;

// Distinct reference codes one call may name (a code named twice counts once).
inline constexpr int kMaxAssessReferences = 20;

// GetCurvaLms(referencia, sexo, indicador): the percentile curves of an
// age indicator ("imc_idade", ...) drawn from the reference's L, M and S, for
// the charts of what no table keeps (BMI). A packet of DSPERCENTIL ("P3"),
// VRX (age in months) and VRY; empty without such L, M and S. Throws RpcError
// (InvalidParams, Refused for an unknown reference) and DbError.
JsonPieces GetCurvaLms(Db& db, AssessReferenceCache& cache, const QJsonArray& params);

}  // namespace srv
