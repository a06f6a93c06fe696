#include "model/datasets.h"

#include "framework/data/errors.h"

#include <array>
#include <cstring>

namespace trp::model {

namespace {

constexpr const char* kW3 = "#,##0.000";
constexpr const char* kW2 = "#,##0.00";
constexpr const char* kInt = "##0";

// --- maintenance screen ------------------------------------------------------

constexpr FieldSpec kReferencia[] = {
    Str("CDREFEBIBL", 2, "Código"),
    Str("NMREFEBIBL", 60, "Nome"),
};

// cdsPercIdade and cdsPercAlturaNCHS; cdsPercAltura differs only in widths.
constexpr FieldSpec kPercList[] = {
    Str("CDREFEBIBL", 2, "Referência"),
    Str("CDPERCENTIL", 3, "Código"),
    Str("NMPERCENTIL", 30, "Nome"),
};
constexpr FieldSpec kPercAltura[] = {
    Str("CDREFEBIBL", 2, "Referência"),
    Str("CDPERCENTIL", 3, "Código").Width(5),
    Str("NMPERCENTIL", 30, "Nome").Width(45),
};

constexpr FieldSpec kIdPesAlt[] = {
    Str("CDPERCENTIL", 3, "").Hidden(),
    Str("CDREFEBIBL", 2, "Referência").Hidden(),
    Flt("NRIDADEFIN", "Mês", kInt),
    Flt("NRIDADEINI", "Ano", kInt),
    Flt("VRPESOMASIDA", "Peso (kg)", kW3),
    Flt("VRALTUMASIDA", "Altura (cm)", kW3),
    Flt("VRPESOFEMIDA", "Peso (kg)", kW3),
    Flt("VRALTUFEMIDA", "Altura (cm)", kW3),
    Flt("VRDPPCFEMIDA", "Desvio Padrão (Perímetro Cefálico)", kW2),
    Flt("VRMDPCFEMIDA", "Média (Perímetro Cefálico)", kW2),
    Flt("VRPMCFFEMIDA", "Perímetro Cefálico (cm)", kW2),
    Flt("VRDPATFEMIDA", "Desvio Padrão (Altura)", kW2),
    Flt("VRMDATFEMIDA", "Média (Altura)", kW2),
    Flt("VRDPPSFEMIDA", "Desvio Padrão (Peso)", kW2),
    Flt("VRMDPSFEMIDA", "Média (Peso)", kW2),
    Flt("VRDPPCMASIDA", "Desvio Padrão (Perímetro Cefálico)", kW2),
    Flt("VRMDPCMASIDA", "Média (Perímetro Cefálico)", kW2),
    Flt("VRPMCFMASIDA", "Perímetro Cefálico (cm)", kW2),
    Flt("VRDPATMASIDA", "Desvio Padrão (Altura)", kW2),
    Flt("VRMDATMASIDA", "Média (Altura)", kW2),
    Flt("VRDPPSMASIDA", "Desvio Padrão (Peso)", kW2),
    Flt("VRMDPSMASIDA", "Média (Peso)", kW2),
};

constexpr FieldSpec kPesAlt[] = {
    Flt("VRALTURA", "Altura(cm)", kW2),
    Flt("VRPESOFEMALT", "Peso(Kg) Feminino ", kW3),
    Str("CDPERCENTIL", 3, "").Hidden(),
    Str("CDREFEBIBL", 2, "Referência").Hidden(),
    Flt("VRPESOMASALT", "Peso(Kg) Masculino ", kW3),
};

constexpr FieldSpec kPesAltNCHS[] = {
    Str("CDREFEBIBL", 2, "Referência"),       Str("CDPERCENTIL", 3, "Percentil"),
    Flt("VRALTURAN2", "Altura (cm)", kW3),    Flt("VRPESOFEMN2", "Peso (kg)", kW3),
    Flt("VRPESOMASN2", "Peso (kg)", kW3),     Flt("VRMEDIMASN2", "Média", kW2),
    Flt("VRMEDIFEMN2", "Média", kW2),         Flt("VRDVPDMASN2", "Desvio Padrão", kW2),
    Flt("VRDVPDFEMN2", "Desvio Padrão", kW2),
};

// Validation datasets: no display properties.
constexpr FieldSpec kValidaRefe[] = {
    Str("CDREFEBIBL", 2),
    Str("NMREFEBIBL", 60),
};
constexpr FieldSpec kValidaIdade[] = {
    Str("CDPERCENTIL", 3),
    Str("CDREFEBIBL", 2),
    Flt("NRIDADEINI"),
    Flt("NRIDADEFIN"),
};
constexpr FieldSpec kValidaAltura[] = {
    Flt("VRALTURA"),
    Str("CDPERCENTIL", 3),
    Str("CDREFEBIBL", 2),
};
constexpr FieldSpec kValidaAlturaNCHS[] = {
    Flt("VRALTURAN2"),
    Str("CDPERCENTIL", 3),
    Str("CDREFEBIBL", 2),
};
constexpr FieldSpec kValidaPerc[] = {
    Str("CDREFEBIBL", 2),
    Str("CDPERCENTIL", 3),
};

// Local queries: the search queries of the maintenance screen; the dialog's
// qryPercentil and the report screen's queries declare the same fields.
constexpr FieldSpec kPesqRefe[] = {
    Str("CDREFEBIBL", 2, "Código").Required().Width(5),
    Str("NMREFEBIBL", 60, "Nome").Width(45),
};
constexpr FieldSpec kPesqPercentil[] = {
    Str("CDPERCENTIL", 3, "Código").Required().Width(5),
    Str("NMPERCENTIL", 30, "Nome").Width(45),
};

// --- automatic registration dialog ---------------------------------------------

constexpr FieldSpec kPercentilOffer[] = {
    Str("CDPERCENTIL", 3, "Código"),
    Str("NMPERCENTIL", 30, "Nome"),
};

constexpr DatasetSpec kCdsReferencia{"cdsReferencia", kReferencia};
constexpr DatasetSpec kCdsPercIdade{"cdsPercIdade", kPercList};
constexpr DatasetSpec kCdsPercAltura{"cdsPercAltura", kPercAltura};
constexpr DatasetSpec kCdsPercAlturaNCHS{"cdsPercAlturaNCHS", kPercList};
constexpr DatasetSpec kCdsIdPesAlt{"cdsIdPesAlt", kIdPesAlt};
constexpr DatasetSpec kCdsPesAlt{"cdsPesAlt", kPesAlt};
constexpr DatasetSpec kCdsPesAltNCHS{"cdsPesAltNCHS", kPesAltNCHS};
constexpr DatasetSpec kCdsValidaRefe{"cdsValidaRefe", kValidaRefe};
constexpr DatasetSpec kCdsValidaIdade{"cdsValidaIdade", kValidaIdade};
constexpr DatasetSpec kCdsValidaAltura{"cdsValidaAltura", kValidaAltura};
constexpr DatasetSpec kCdsValidaAlturaNCHS{"cdsValidaAlturaNCHS", kValidaAlturaNCHS};
constexpr DatasetSpec kCdsValidaPercIdade{"cdsValidaPercIdade", kValidaPerc};
constexpr DatasetSpec kCdsValidaPercAltura{"cdsValidaPercAltura", kValidaPerc};
constexpr DatasetSpec kCdsValidaPercAlturaNCHS{"cdsValidaPercAlturaNCHS", kValidaPerc};
constexpr DatasetSpec kQryPesqRefe{"qryPesqRefe", kPesqRefe};
constexpr DatasetSpec kQryPesqPercentil{"qryPesqPercentil", kPesqPercentil};

constexpr DatasetSpec kCdsPercentilIdPesAlt{"cdsPercentilIdPesAlt", kPercentilOffer};
constexpr DatasetSpec kCdsPercentilPesAlt{"cdsPercentilPesAlt", kPercentilOffer};
constexpr DatasetSpec kCdsPercentilPesAltNCHS{"cdsPercentilPesAltNCHS", kPercentilOffer};
constexpr DatasetSpec kCdsValidaIdPesAlt{"cdsValidaIdPesAlt", kPercentilOffer};
constexpr DatasetSpec kCdsValidaPesAlt{"cdsValidaPesAlt", kPercentilOffer};
constexpr DatasetSpec kCdsValidaPesAltNCHS{"cdsValidaPesAltNCHS", kPercentilOffer};
constexpr DatasetSpec kQryPercentil{"qryPercentil", kPesqPercentil};

constexpr DatasetSpec kQryReferencia{"qryReferencia", kPesqRefe};

constexpr const DatasetSpec* kTabRelPeso[] = {
    &kCdsReferencia,       &kCdsPercIdade,
    &kCdsPercAltura,       &kCdsPercAlturaNCHS,
    &kCdsIdPesAlt,         &kCdsPesAlt,
    &kCdsPesAltNCHS,       &kCdsValidaRefe,
    &kCdsValidaIdade,      &kCdsValidaAltura,
    &kCdsValidaAlturaNCHS, &kCdsValidaPercIdade,
    &kCdsValidaPercAltura, &kCdsValidaPercAlturaNCHS,
    &kQryPesqRefe,         &kQryPesqPercentil,
};
constexpr const DatasetSpec* kPercDestino[] = {
    &kCdsPercentilIdPesAlt, &kCdsPercentilPesAlt,  &kCdsPercentilPesAltNCHS, &kCdsValidaIdPesAlt,
    &kCdsValidaPesAlt,      &kCdsValidaPesAltNCHS, &kQryPercentil,
};
constexpr const DatasetSpec* kRelTabPeso[] = {
    &kQryReferencia,
    &kQryPercentil,
};
constexpr const DatasetSpec* kAll[] = {
    &kCdsReferencia,
    &kCdsPercIdade,
    &kCdsPercAltura,
    &kCdsPercAlturaNCHS,
    &kCdsIdPesAlt,
    &kCdsPesAlt,
    &kCdsPesAltNCHS,
    &kCdsValidaRefe,
    &kCdsValidaIdade,
    &kCdsValidaAltura,
    &kCdsValidaAlturaNCHS,
    &kCdsValidaPercIdade,
    &kCdsValidaPercAltura,
    &kCdsValidaPercAlturaNCHS,
    &kQryPesqRefe,
    &kQryPesqPercentil,
    &kCdsPercentilIdPesAlt,
    &kCdsPercentilPesAlt,
    &kCdsPercentilPesAltNCHS,
    &kCdsValidaIdPesAlt,
    &kCdsValidaPesAlt,
    &kCdsValidaPesAltNCHS,
    &kQryPercentil,
    &kQryReferencia,
};

// --- server packets ----------------------------------------------------------

struct MethodPacket {
  const char* method;
  const DatasetSpec* element0;
  const DatasetSpec* element1;  // pairs only
};

constexpr MethodPacket kPackets[] = {
    {"GetReferencia", &kCdsReferencia, nullptr},
    {"GetPercIdade", &kCdsPercIdade, &kCdsIdPesAlt},
    {"GetPercAltura", &kCdsPercAltura, &kCdsPesAlt},
    {"GetPercAlturaNCHS", &kCdsPercAlturaNCHS, &kCdsPesAltNCHS},
    // The uniqueness checks answer the key columns of the rows found, in the
    // columns of the validation dataset that receives them.
    {"GetValidaIdade", &kCdsValidaIdade, nullptr},
    {"GetValidaAltura", &kCdsValidaAltura, nullptr},
    {"GetValidaAlturaNCHS", &kCdsValidaAlturaNCHS, nullptr},
    {"SetIdPesAlt", &kCdsIdPesAlt, nullptr},
    {"SetPesAlt", &kCdsPesAlt, nullptr},
    {"SetPesAltNCHS", &kCdsPesAltNCHS, nullptr},
    {"GetPercentilIdPesAlt", &kCdsPercentilIdPesAlt, nullptr},
    {"GetPercentilPesAlt", &kCdsPercentilPesAlt, nullptr},
    {"GetPercentilPesAltNCHS", &kCdsPercentilPesAltNCHS, nullptr},
};

constexpr const char* kAgeKeys[] = {"CDREFEBIBL", "CDPERCENTIL", "NRIDADEINI", "NRIDADEFIN"};
constexpr const char* kHeightKeys[] = {"CDREFEBIBL", "CDPERCENTIL", "VRALTURA"};
constexpr const char* kNchsKeys[] = {"CDREFEBIBL", "CDPERCENTIL", "VRALTURAN2"};

constexpr RowTable kRowTables[] = {
    {"PESALTIDADE", "cdsIdPesAlt", kAgeKeys},
    {"PESOALTU", "cdsPesAlt", kHeightKeys},
    {"PEALNCHS2000", "cdsPesAltNCHS", kNchsKeys},
};

bool Same(QStringView a, const char* b) { return a == QLatin1StringView(b); }

}  // namespace

QString FieldSpec::Label() const {
  if (label == nullptr) return {};
  if (*label == '\0') return QStringLiteral("");  // declared empty: non-null
  return QString::fromUtf8(label);
}

const FieldSpec* DatasetSpec::Find(QStringView field) const {
  for (const FieldSpec& f : fields) {
    if (Same(field, f.name)) return &f;
  }
  return nullptr;
}

std::span<const DatasetSpec* const> AllDatasetSpecs() { return kAll; }

std::span<const DatasetSpec* const> DatasetSpecsOf(Screen screen) {
  switch (screen) {
    case Screen::TabRelPeso:
      return kTabRelPeso;
    case Screen::PercDestino:
      return kPercDestino;
    case Screen::RelTabPeso:
      return kRelTabPeso;
  }
  return {};
}

const DatasetSpec& DatasetSpecByName(QStringView name) {
  for (const DatasetSpec* spec : kAll) {
    if (Same(name, spec->name)) return *spec;
  }
  throw fw::Error(QStringLiteral("Conjunto de dados '%1' não está definido.").arg(name));
}

QList<fw::FieldDef> FieldDefs(const DatasetSpec& spec) {
  QList<fw::FieldDef> defs;
  defs.reserve(qsizetype(spec.fields.size()));
  for (const FieldSpec& f : spec.fields) defs.append(f.Def());
  return defs;
}

void ApplyFieldSpec(fw::Field& field, const FieldSpec& spec) {
  // A null label leaves the framework's default (the field name) in place.
  if (spec.label != nullptr) field.SetDisplayLabel(spec.Label());
  if (*spec.format != '\0') field.SetDisplayFormat(spec.Format());
  if (spec.width > 0) field.SetDisplayWidth(spec.width);
  field.SetVisible(!spec.hidden);
  field.SetRequired(spec.required);
}

fw::Dataset* BuildDataset(const DatasetSpec& spec, QObject* parent) {
  auto* dataset = new fw::Dataset(spec.Name(), parent);
  try {
    dataset->setObjectName(spec.Name());
    for (const FieldSpec& f : spec.fields) {
      fw::Field* field = dataset->AddField(f.Def());
      const QString objectName = spec.Name() + f.Name();
      if (field->objectName() != objectName) field->setObjectName(objectName);
      ApplyFieldSpec(*field, f);
    }
  } catch (...) {
    delete dataset;
    throw;
  }
  return dataset;
}

const DatasetSpec& PacketSpec(QStringView method, int element) {
  for (const MethodPacket& p : kPackets) {
    if (!Same(method, p.method)) continue;
    if (p.element1 == nullptr) return *p.element0;
    if (element == 0) return *p.element0;
    if (element == 1) return *p.element1;
    throw fw::Error(QStringLiteral("O método '%1' devolve só os elementos 0 e 1, não %2.")
                        .arg(method)
                        .arg(element));
  }
  throw fw::Error(QStringLiteral("O método '%1' não troca pacotes de dados.").arg(method));
}

QList<fw::FieldDef> PacketFields(QStringView method, int element) {
  return FieldDefs(PacketSpec(method, element));
}

std::span<const RowTable> RowTables() { return kRowTables; }

const RowTable& RowTableByName(QStringView table) {
  for (const RowTable& t : kRowTables) {
    if (Same(table, t.table)) return t;
  }
  throw fw::Error(QStringLiteral("A tabela '%1' não é uma tabela de valores.").arg(table));
}

}  // namespace trp::model
