// Dataset: the filter (which rows are visible) and Locate, compiled to column tests.
#include "framework/data/dataset.h"

#include "framework/data/dataset_p.h"
#include "framework/data/errors.h"
#include "framework/data/format.h"

namespace fw {

DatasetImpl::Matcher DatasetImpl::compile(const Field* f, const QVariant& value,
                                          bool caseInsensitive, bool partial) const {
  Matcher m;
  m.col = &*st().columns[size_t(colMap[size_t(f->Index())])];
  const bool null = !value.isValid() || value.isNull();
  if (m.col->type == FieldType::String) {
    const QString text = null ? QString() : value.toString();
    const StringDict& dict = m.col->dict;
    m.codeMatch.assign(size_t(dict.size()) + 1, 0);
    m.codeMatch[0] = text.isEmpty() ? 1 : 0;  // null reads as ""
    if (!caseInsensitive && !partial) {
      const int32_t code = dict.find(text);
      if (code >= 0) m.codeMatch[size_t(code) + 1] = 1;
    } else {
      const Qt::CaseSensitivity cs = caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
      for (int32_t c = 0; c < dict.size(); ++c) {
        const QString& t = dict.text(c);
        const bool hit = partial ? t.startsWith(text, cs) : t.compare(text, cs) == 0;
        m.codeMatch[size_t(c) + 1] = hit ? 1 : 0;
      }
      if (partial && text.isEmpty()) m.codeMatch[0] = 1;
    }
    return m;
  }
  if (null) {
    m.matchNull = true;
    return m;
  }
  const int id = value.metaType().id();
  if (id == QMetaType::QString || id == QMetaType::QByteArray) {
    bool ok = false;
    const auto parsed = ParseFloat(value.toString(), &ok);
    if (!ok) {
      m.never = true;
    } else if (!parsed) {
      m.matchNull = true;
    } else {
      m.number = *parsed;
    }
  } else if (id == QMetaType::Bool) {
    m.number = value.toBool() ? 1 : 0;
  } else {
    m.number = value.toDouble();
  }
  return m;
}

std::vector<DatasetImpl::Matcher> DatasetImpl::compileFilter() const {
  std::vector<Matcher> ms;
  for (const FilterTerm& t : filterTerms) {
    const Field* f = q->FindField(t.field);
    if (!f) throw Error(QStringLiteral("Filtro inválido: o campo %1 não existe.").arg(t.field));
    ms.push_back(compile(f, t.value, false, false));
  }
  return ms;
}

bool DatasetImpl::matchesFilter(int32_t phys) const {
  if (!filtered || filterTerms.isEmpty()) return true;
  for (const Matcher& m : compileFilter())
    if (!m.test(phys)) return false;
  return true;
}

void DatasetImpl::rebuildVisible() {
  visible.clear();
  if (!filtered || filterTerms.isEmpty()) {
    visible = order;
    return;
  }
  const std::vector<Matcher> ms = compileFilter();
  visible.reserve(order.size() / 8 + 16);
  // Two string terms are the common case: scan the code vectors directly.
  if (ms.size() == 2 && ms[0].col->type == FieldType::String &&
      ms[1].col->type == FieldType::String && !ms[0].never && !ms[1].never) {
    const int32_t* a = ms[0].col->s.data();
    const int32_t* b = ms[1].col->s.data();
    const char* ma = ms[0].codeMatch.data() + 1;
    const char* mb = ms[1].codeMatch.data() + 1;
    for (const int32_t phys : order)
      if (ma[a[phys]] && mb[b[phys]]) visible.push_back(phys);
    return;
  }
  for (const int32_t phys : order) {
    bool ok = true;
    for (const Matcher& m : ms)
      if (!m.test(phys)) {
        ok = false;
        break;
      }
    if (ok) visible.push_back(phys);
  }
}

// --- locate ------------------------------------------------------------------------------

bool Dataset::Locate(const QString& keyFields, const QVariantList& values, LocateOptions options) {
  DatasetImpl& d = *impl_;
  d.checkActive();
  QList<Field*> keys;
  for (const QString& name : keyFields.split(QLatin1Char(';'), Qt::SkipEmptyParts))
    keys.append(FieldByName(name.trimmed()));
  if (keys.isEmpty()) throw Error(QStringLiteral("Nenhum campo informado para a localização."));
  if (keys.size() != values.size())
    throw Error(QStringLiteral("A localização por %1 precisa de %2 valores; recebeu %3.")
                    .arg(keyFields)
                    .arg(keys.size())
                    .arg(values.size()));
  d.checkBrowseMode();
  std::vector<DatasetImpl::Matcher> ms;
  for (qsizetype k = 0; k < keys.size(); ++k)
    ms.push_back(
        d.compile(keys[k], values[k], options & loCaseInsensitive, options & loPartialKey));
  for (int row = 0; row < d.count(); ++row) {
    const int32_t phys = d.visible[size_t(row)];
    bool ok = true;
    for (const auto& m : ms)
      if (!m.test(phys)) {
        ok = false;
        break;
      }
    if (!ok) continue;
    d.setCurrent(row);
    d.eof = d.bof = false;
    d.afterScroll();
    return true;
  }
  return false;
}

bool Dataset::Locate(const QString& keyField, const QVariant& value, LocateOptions options) {
  return Locate(keyField, QVariantList{value}, options);
}

// --- filter ----------------------------------------------------------------------------

QString Dataset::Filter() const { return impl_->filterText; }
bool Dataset::Filtered() const { return impl_->filtered; }

namespace {
void Refilter(DatasetImpl& d, Dataset& q) {
  d.rebuildVisible();
  d.cur = d.visible.empty() ? -1 : 0;
  d.bof = true;
  d.eof = d.visible.empty();
  emit q.contentReset();
  emit q.currentChanged(d.cur);
  d.afterScroll();
}
}  // namespace

void Dataset::SetFilter(const QString& expression) {
  DatasetImpl& d = *impl_;
  QList<FilterTerm> terms = ParseFilter(expression);
  if (!d.fields.isEmpty())
    for (const FilterTerm& t : terms)
      if (!FindField(t.field))
        throw Error(QStringLiteral("Filtro inválido: o campo %1 não existe.").arg(t.field));
  if (d.active) d.checkBrowseMode();
  d.filterText = expression;
  d.filterTerms = std::move(terms);
  if (d.active) Refilter(d, *this);
}

void Dataset::SetFiltered(bool on) {
  DatasetImpl& d = *impl_;
  if (d.filtered == on) return;
  if (d.active) d.checkBrowseMode();
  d.filtered = on;
  if (d.active) Refilter(d, *this);
}

QString Dataset::QuoteFilterValue(const QString& value) {
  QString out = value;
  out.replace(QLatin1Char('\''), QLatin1String("''"));
  return QLatin1Char('\'') + out + QLatin1Char('\'');
}

}  // namespace fw
