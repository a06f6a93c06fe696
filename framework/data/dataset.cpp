#include "framework/data/dataset.h"

#include "framework/data/datasource.h"
#include "framework/data/errors.h"
#include "framework/data/filter.h"
#include "framework/data/format.h"
#include "framework/data/packet_storage.h"

#include <algorithm>
#include <unordered_map>

namespace fw {

namespace {

constexpr int32_t kPending = -1;  // the visible slot of the record being inserted

std::vector<int32_t> Identity(qsizetype n) {
  std::vector<int32_t> v(static_cast<size_t>(n));
  for (qsizetype k = 0; k < n; ++k) v[size_t(k)] = int32_t(k);
  return v;
}

}  // namespace

class DatasetImpl {
 public:
  struct LogEntry {
    Change::Op op;
    int32_t phys;
    QVariantList old;
    bool live = true;
  };

  // A compiled equality test on one column.
  struct Matcher {
    const Column* col = nullptr;
    std::vector<char> codeMatch;  // string columns: per dictionary code (index code + 1; 0 is null)
    double number = 0;
    bool matchNull = false;
    bool never = false;
    bool test(int32_t phys) const {
      if (never) return false;
      if (col->type == FieldType::String)
        return codeMatch[size_t(col->s[size_t(phys)]) + 1] != 0;  // null (-1) wraps to 0
      if (col->isNull(phys)) return matchNull;
      if (matchNull) return false;
      if (col->type == FieldType::Float) return col->f[size_t(phys)] == number;
      return double(col->i[size_t(phys)]) == number;
    }
  };

  explicit DatasetImpl(Dataset* q) : q(q) {}

  Dataset* q;
  QList<Field*> fields;
  DataPacket work;
  std::vector<int> colMap;  // field index -> column of `work`
  std::vector<int32_t> order;
  std::vector<int32_t> baseOrder;
  qsizetype basePhys = 0;
  std::vector<int32_t> visible;
  int cur = -1;
  bool eof = true;
  bool bof = true;
  bool active = false;
  DatasetState state = DatasetState::Inactive;

  QVariantList buffer;
  bool modified = false;
  int32_t insertAnchor = -1;

  std::vector<LogEntry> log;
  std::unordered_map<int32_t, size_t> logIndex;
  int liveChanges = 0;
  bool logChanges = true;

  QString filterText;
  QList<FilterTerm> filterTerms;
  bool filtered = false;

  QList<DataSource*> sources;

  // --- helpers -------------------------------------------------------------
  const PacketStorage& st() const { return work.storage(); }
  int count() const { return int(visible.size()); }
  bool editing() const { return state == DatasetState::Edit || state == DatasetState::Insert; }

  void checkActive() const {
    if (!active)
      throw Error(QStringLiteral("O conjunto de dados %1 não está aberto.").arg(q->objectName()));
  }

  QVariant rowValue(int32_t phys, int fi) const { return st().value(phys, colMap[size_t(fi)]); }

  QVariantList rowValues(int32_t phys) const {
    QVariantList v;
    v.reserve(fields.size());
    for (int fi = 0; fi < fields.size(); ++fi) v.append(rowValue(phys, fi));
    return v;
  }

  // Writes only what differs, so that a column still shared with the loaded
  // packet is copied only when one of its values really changes.
  void writeRow(int32_t phys, const QVariantList& values) {
    for (int fi = 0; fi < fields.size(); ++fi) {
      if (SameValue(rowValue(phys, fi), values[fi])) continue;
      work.mutableStorage().setValue(phys, colMap[size_t(fi)], values[fi]);
    }
  }

  void setState(DatasetState s) {
    if (state == s) return;
    state = s;
    const QList<DataSource*> copy = sources;
    for (DataSource* src : copy) src->NotifyStateChange();
    emit q->stateChanged(s);
  }

  void setCurrent(int row) {
    if (cur == row) return;
    cur = row;
    emit q->currentChanged(row);
  }

  void afterScroll() {
    if (q->AfterScroll) q->AfterScroll(*q);
  }

  // Discards an edit or a new record without hooks (SetData, Close).
  void dropEdit() {
    if (state == DatasetState::Insert) {
      const auto it = std::find(visible.begin(), visible.end(), kPending);
      if (it != visible.end()) visible.erase(it);
    }
    buffer.clear();
    modified = false;
  }

  // Posts a modified record, cancels an untouched one: moving away ends an edit.
  void checkBrowseMode() {
    if (!editing()) return;
    if (modified)
      q->Post();
    else
      q->Cancel();
  }

  Matcher compile(const Field* f, const QVariant& value, bool caseInsensitive, bool partial) const {
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

  std::vector<Matcher> compileFilter() const {
    std::vector<Matcher> ms;
    for (const FilterTerm& t : filterTerms) {
      const Field* f = q->FindField(t.field);
      if (!f) throw Error(QStringLiteral("Filtro inválido: o campo %1 não existe.").arg(t.field));
      ms.push_back(compile(f, t.value, false, false));
    }
    return ms;
  }

  bool matchesFilter(int32_t phys) const {
    if (!filtered || filterTerms.isEmpty()) return true;
    for (const Matcher& m : compileFilter())
      if (!m.test(phys)) return false;
    return true;
  }

  void rebuildVisible() {
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

  void logChange(Change::Op op, int32_t phys, const QVariantList& old) {
    const auto it = logIndex.find(phys);
    if (it == logIndex.end()) {
      logIndex.emplace(phys, log.size());
      log.push_back(LogEntry{op, phys, old, true});
      ++liveChanges;
      return;
    }
    LogEntry& e = log[it->second];
    if (op == Change::Op::Update)
      return;  // insert + edit stays an insert; edits keep the first old values
    if (op == Change::Op::Delete) {
      if (e.op == Change::Op::Insert) {
        e.live = false;  // inserted and deleted: nothing to send
        --liveChanges;
        logIndex.erase(it);
      } else {
        e.op = Change::Op::Delete;
      }
    }
  }

  void forgetLog(int32_t phys) {
    const auto it = logIndex.find(phys);
    if (it == logIndex.end()) return;
    log[it->second].live = false;
    --liveChanges;
    logIndex.erase(it);
  }

  void clearLog() {
    log.clear();
    logIndex.clear();
    liveChanges = 0;
  }

  // Makes the current content the base that CancelUpdates goes back to.
  void rebase() {
    baseOrder = order;
    basePhys = st().rows;
  }

  void eraseFrom(std::vector<int32_t>& v, int32_t phys) {
    const auto it = std::find(v.begin(), v.end(), phys);
    if (it != v.end()) v.erase(it);
  }

  void insertBefore(std::vector<int32_t>& v, int32_t anchor, int32_t phys) {
    const auto it = anchor < 0 ? v.end() : std::find(v.begin(), v.end(), anchor);
    v.insert(it, phys);
  }

  DataPacket gather(const std::vector<int32_t>& rows) const {
    QList<FieldDef> defs;
    for (const Field* f : fields) defs.append(f->Def());
    DataPacket p(defs);
    PacketStorage& out = p.mutableStorage();
    const PacketStorage& in = st();
    out.rows = qsizetype(rows.size());
    for (int fi = 0; fi < fields.size(); ++fi) {
      const Column& src = *in.columns[size_t(colMap[size_t(fi)])];
      Column& dst = *out.columns[size_t(fi)];
      switch (src.type) {
        case FieldType::String:
          dst.dict = src.dict;
          dst.s.reserve(rows.size());
          for (const int32_t r : rows) dst.s.push_back(src.s[size_t(r)]);
          break;
        case FieldType::Float:
          dst.f.reserve(rows.size());
          for (const int32_t r : rows) dst.f.push_back(src.f[size_t(r)]);
          break;
        default:
          dst.i.reserve(rows.size());
          for (const int32_t r : rows) dst.i.push_back(src.i[size_t(r)]);
      }
      if (src.type != FieldType::String && !src.nulls.empty())
        for (size_t k = 0; k < rows.size(); ++k)
          if (src.isNull(rows[k])) dst.setNullBit(qsizetype(k), true, out.rows);
    }
    return p;
  }
};

// --- definition ------------------------------------------------------------------

Dataset::Dataset(const QString& name, QObject* parent)
    : QObject(parent), impl_(new DatasetImpl(this)) {
  setObjectName(name);
}

Dataset::~Dataset() {
  const QList<DataSource*> sources = impl_->sources;
  impl_->sources.clear();
  for (DataSource* s : sources) s->SetDataSet(nullptr);
}

Field* Dataset::AddField(const FieldDef& def) {
  if (impl_->active)
    throw Error(QStringLiteral("Não é possível definir o campo %1 com o conjunto %2 aberto.")
                    .arg(def.name, objectName()));
  if (def.name.isEmpty())
    throw Error(QStringLiteral("Campo sem nome no conjunto %1.").arg(objectName()));
  if (FindField(def.name))
    throw Error(QStringLiteral("O campo %1 já existe no conjunto %2.").arg(def.name, objectName()));
  auto* f = new Field(this, def, int(impl_->fields.size()));
  impl_->fields.append(f);
  return f;
}

Field* Dataset::FieldByName(QStringView name) const {
  Field* f = FindField(name);
  if (!f)
    throw Error(QStringLiteral("O campo %1 não existe no conjunto %2.").arg(name, objectName()));
  return f;
}

Field* Dataset::FindField(QStringView name) const {
  for (Field* f : impl_->fields)
    if (QStringView(f->FieldName()).compare(name, Qt::CaseInsensitive) == 0) return f;
  return nullptr;
}

const QList<Field*>& Dataset::Fields() const { return impl_->fields; }
int Dataset::FieldCount() const { return int(impl_->fields.size()); }

// --- content -------------------------------------------------------------------------

void Dataset::SetData(const DataPacket& packet) {
  DatasetImpl& d = *impl_;
  if (d.fields.isEmpty())
    for (const FieldDef& def : packet.fields()) AddField(def);
  std::vector<int> map(size_t(d.fields.size()));
  for (int fi = 0; fi < d.fields.size(); ++fi) {
    const Field* f = d.fields[fi];
    const int c = packet.fieldIndex(f->FieldName());
    if (c < 0)
      throw Error(QStringLiteral("O campo %1 do conjunto %2 não veio no pacote de dados.")
                      .arg(f->FieldName(), objectName()));
    if (packet.fields()[c].type != f->DataType())
      throw Error(
          QStringLiteral(
              "O campo %1 do conjunto %2 é do tipo %3, mas veio como %4 no pacote de dados.")
              .arg(f->FieldName(), objectName(), FieldTypeName(f->DataType()),
                   FieldTypeName(packet.fields()[c].type)));
    map[size_t(fi)] = c;
  }
  // Check the filter against the fields before anything changes.
  for (const FilterTerm& t : d.filterTerms)
    if (!FindField(t.field))
      throw Error(QStringLiteral("Filtro inválido: o campo %1 não existe.").arg(t.field));

  d.dropEdit();
  d.work = packet;  // shared until the first change
  d.colMap = std::move(map);
  d.order = Identity(packet.rowCount());
  d.rebase();
  d.clearLog();
  d.rebuildVisible();
  d.active = true;
  d.cur = d.visible.empty() ? -1 : 0;
  d.bof = true;
  d.eof = d.visible.empty();
  emit contentReset();
  emit currentChanged(d.cur);
  d.setState(DatasetState::Browse);
  d.afterScroll();
}

DataPacket Dataset::Data() const {
  const DatasetImpl& d = *impl_;
  if (!d.active) {
    QList<FieldDef> defs;
    for (const Field* f : d.fields) defs.append(f->Def());
    return DataPacket(defs);
  }
  const PacketStorage& s = d.st();
  bool plain = d.order.size() == size_t(s.rows) && s.fields.size() == d.fields.size();
  for (int fi = 0; plain && fi < d.fields.size(); ++fi)
    plain = d.colMap[size_t(fi)] == fi && s.fields[fi] == d.fields[fi]->Def();
  for (size_t k = 0; plain && k < d.order.size(); ++k) plain = d.order[k] == int32_t(k);
  if (plain) return d.work;
  return d.gather(d.order);
}

DeltaPacket Dataset::Delta() const {
  const DatasetImpl& d = *impl_;
  DeltaPacket delta;
  for (const Field* f : d.fields) delta.fields.append(f->Def());
  for (const auto& e : d.log) {
    if (!e.live) continue;
    Change ch;
    ch.op = e.op;
    if (e.op != Change::Op::Insert) ch.oldValues = e.old;
    if (e.op != Change::Op::Delete) ch.newValues = d.rowValues(e.phys);
    delta.changes.append(ch);
  }
  return delta;
}

int Dataset::ChangeCount() const { return impl_->liveChanges; }
bool Dataset::LogChanges() const { return impl_->logChanges; }
void Dataset::SetLogChanges(bool on) { impl_->logChanges = on; }

void Dataset::MergeChangeLog() {
  DatasetImpl& d = *impl_;
  d.checkBrowseMode();
  d.clearLog();
  d.rebase();
}

void Dataset::CancelUpdates() {
  DatasetImpl& d = *impl_;
  if (d.editing()) Cancel();
  if (d.liveChanges == 0 && d.order == d.baseOrder) return;
  const int32_t oldPhys = d.cur >= 0 ? d.visible[size_t(d.cur)] : -1;
  for (auto it = d.log.rbegin(); it != d.log.rend(); ++it)
    if (it->live && it->op != Change::Op::Insert) d.writeRow(it->phys, it->old);
  d.order = d.baseOrder;
  // Rows made after the base point are dropped unless the base holds them (unlogged inserts).
  qsizetype keep = d.basePhys;
  for (const int32_t p : d.baseOrder) keep = std::max(keep, qsizetype(p) + 1);
  if (keep < d.st().rows) d.work.mutableStorage().truncate(keep);
  d.clearLog();
  d.rebuildVisible();
  int row = -1;
  if (oldPhys >= 0) {
    const auto it = std::find(d.visible.begin(), d.visible.end(), oldPhys);
    if (it != d.visible.end()) row = int(it - d.visible.begin());
  }
  const bool moved = row < 0;
  if (row < 0) row = d.visible.empty() ? -1 : std::min(std::max(d.cur, 0), d.count() - 1);
  d.cur = row;
  d.eof = d.bof = d.visible.empty();
  emit contentReset();
  emit currentChanged(row);
  if (moved) d.afterScroll();
}

void Dataset::Close() {
  DatasetImpl& d = *impl_;
  if (!d.active) return;
  d.dropEdit();
  QList<FieldDef> defs;
  for (const Field* f : d.fields) defs.append(f->Def());
  d.work = DataPacket(defs);
  d.colMap = std::vector<int>(size_t(d.fields.size()));
  for (int fi = 0; fi < d.fields.size(); ++fi) d.colMap[size_t(fi)] = fi;
  d.order.clear();
  d.visible.clear();
  d.rebase();
  d.clearLog();
  d.active = false;
  d.cur = -1;
  d.eof = d.bof = true;
  emit contentReset();
  emit currentChanged(-1);
  d.setState(DatasetState::Inactive);
}

bool Dataset::Active() const { return impl_->active; }
DatasetState Dataset::State() const { return impl_->state; }
bool Dataset::Modified() const { return impl_->editing() && impl_->modified; }

size_t Dataset::MemoryBytes() const {
  const DatasetImpl& d = *impl_;
  size_t n = d.st().bytes();
  n += (d.order.capacity() + d.baseOrder.capacity() + d.visible.capacity()) * sizeof(int32_t);
  n += d.log.capacity() * sizeof(DatasetImpl::LogEntry) + d.logIndex.size() * 32;
  return n;
}

// --- navigation ------------------------------------------------------------------------

void Dataset::First() {
  DatasetImpl& d = *impl_;
  d.checkActive();
  d.checkBrowseMode();
  d.setCurrent(d.visible.empty() ? -1 : 0);
  d.bof = true;
  d.eof = d.visible.empty();
  d.afterScroll();
}

void Dataset::Last() {
  DatasetImpl& d = *impl_;
  d.checkActive();
  d.checkBrowseMode();
  d.setCurrent(d.count() - 1);
  d.eof = true;  // as after Next past the end
  d.bof = d.visible.empty();
  d.afterScroll();
}

void Dataset::Next() {
  DatasetImpl& d = *impl_;
  d.checkActive();
  d.checkBrowseMode();
  if (d.eof) return;
  if (d.cur + 1 < d.count()) {
    d.setCurrent(d.cur + 1);
    d.bof = false;
  } else {
    d.eof = true;
  }
  d.afterScroll();
}

void Dataset::Prior() {
  DatasetImpl& d = *impl_;
  d.checkActive();
  d.checkBrowseMode();
  if (d.bof) return;
  if (d.cur > 0) {
    d.setCurrent(d.cur - 1);
    d.eof = false;
  } else {
    d.bof = true;
  }
  d.afterScroll();
}

bool Dataset::Eof() const { return impl_->eof || impl_->visible.empty(); }
bool Dataset::Bof() const { return impl_->bof || impl_->visible.empty(); }
bool Dataset::IsEmpty() const { return impl_->visible.empty(); }
int Dataset::RecordCount() const { return impl_->count(); }
int Dataset::RecNo() const { return impl_->cur; }

void Dataset::SetRecNo(int row) {
  DatasetImpl& d = *impl_;
  d.checkActive();
  if (row == d.cur) return;
  d.checkBrowseMode();
  if (row < 0 || row >= d.count())
    throw Error(
        QStringLiteral("O registro %1 não existe no conjunto %2.").arg(row + 1).arg(objectName()));
  d.setCurrent(row);
  d.eof = d.bof = false;
  d.afterScroll();
}

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

// --- editing ---------------------------------------------------------------------------

namespace {
void BeginNew(DatasetImpl& d, Dataset& q, bool append) {
  d.checkActive();
  d.checkBrowseMode();
  if (q.BeforeInsert) q.BeforeInsert(q);
  int pos;
  if (append || d.cur < 0) {
    pos = append ? d.count() : 0;
    d.insertAnchor = append || d.visible.empty() ? -1 : d.visible[0];
  } else {
    pos = d.cur;
    d.insertAnchor = d.visible[size_t(d.cur)];
  }
  d.buffer = QVariantList();
  d.buffer.reserve(d.fields.size());
  for (int k = 0; k < d.fields.size(); ++k) d.buffer.append(QVariant());
  d.modified = false;
  d.visible.insert(d.visible.begin() + pos, kPending);
  emit q.rowInserted(pos);
  d.cur = -2;  // force currentChanged even when the index stays the same
  d.setCurrent(pos);
  d.eof = d.bof = false;
  d.setState(DatasetState::Insert);
  d.afterScroll();
}
}  // namespace

void Dataset::Insert() { BeginNew(*impl_, *this, false); }
void Dataset::Append() { BeginNew(*impl_, *this, true); }

void Dataset::Edit() {
  DatasetImpl& d = *impl_;
  d.checkActive();
  if (d.editing()) return;
  if (d.cur < 0)
    throw Error(QStringLiteral("Não há registro para alterar em %1.").arg(objectName()));
  if (BeforeEdit) BeforeEdit(*this);
  d.buffer = d.rowValues(d.visible[size_t(d.cur)]);
  d.modified = false;
  d.setState(DatasetState::Edit);
}

void Dataset::Post() {
  DatasetImpl& d = *impl_;
  d.checkActive();
  if (!d.editing())
    throw Error(
        QStringLiteral("O conjunto %1 não está em alteração nem em inclusão.").arg(objectName()));
  if (BeforePost) BeforePost(*this);
  for (const Field* f : d.fields)
    if (f->Required() && d.buffer[f->Index()].isNull())
      throw Error(QStringLiteral("O campo '%1' deve ser preenchido.").arg(f->DisplayLabel()));
  int32_t phys;
  if (d.state == DatasetState::Insert) {
    phys = int32_t(d.work.mutableStorage().appendEmptyRow());
    d.writeRow(phys, d.buffer);
    d.insertBefore(d.order, d.insertAnchor, phys);
    d.visible[size_t(d.cur)] = phys;
    if (d.logChanges) {
      d.logChange(Change::Op::Insert, phys, {});
    } else if (d.liveChanges == 0) {
      d.rebase();
    } else {
      d.insertBefore(d.baseOrder, d.insertAnchor, phys);
    }
  } else {
    phys = d.visible[size_t(d.cur)];
    if (d.logChanges) d.logChange(Change::Op::Update, phys, d.rowValues(phys));
    d.writeRow(phys, d.buffer);
  }
  d.buffer.clear();
  d.modified = false;
  if (d.matchesFilter(phys)) {
    emit rowChanged(d.cur);
  } else {
    // The record left the filter: it is kept, but no longer visible.
    const int row = d.cur;
    d.visible.erase(d.visible.begin() + row);
    emit rowRemoved(row);
    d.cur = -2;
    d.setCurrent(d.visible.empty() ? -1 : std::min(row, d.count() - 1));
    d.eof = d.bof = d.visible.empty();
  }
  d.setState(DatasetState::Browse);
  if (AfterPost) AfterPost(*this);
}

void Dataset::Cancel() {
  DatasetImpl& d = *impl_;
  if (!d.editing()) return;
  const bool wasInsert = d.state == DatasetState::Insert;
  d.buffer.clear();
  d.modified = false;
  if (wasInsert) {
    const int row = d.cur;
    d.visible.erase(d.visible.begin() + row);
    emit rowRemoved(row);
    d.cur = -2;
    d.setCurrent(d.visible.empty() ? -1 : std::min(row, d.count() - 1));
    d.eof = d.bof = d.visible.empty();
  } else {
    emit rowChanged(d.cur);
  }
  d.setState(DatasetState::Browse);
  if (AfterCancel) AfterCancel(*this);
  if (wasInsert) d.afterScroll();
}

void Dataset::Delete() {
  DatasetImpl& d = *impl_;
  d.checkActive();
  if (d.state == DatasetState::Insert) {
    Cancel();
    return;
  }
  if (d.cur < 0)
    throw Error(QStringLiteral("Não há registro para excluir em %1.").arg(objectName()));
  const int row = d.cur;
  const int32_t phys = d.visible[size_t(row)];
  d.buffer.clear();
  d.modified = false;
  if (d.logChanges) {
    d.logChange(Change::Op::Delete, phys, d.rowValues(phys));
  } else {
    d.forgetLog(phys);
    d.eraseFrom(d.baseOrder, phys);
  }
  d.eraseFrom(d.order, phys);
  d.visible.erase(d.visible.begin() + row);
  emit rowRemoved(row);
  d.cur = -2;
  d.setCurrent(d.visible.empty() ? -1 : std::min(row, d.count() - 1));
  d.eof = d.bof = d.visible.empty();
  d.setState(DatasetState::Browse);
  if (AfterDelete) AfterDelete(*this);
  d.afterScroll();
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

// --- access for grids ------------------------------------------------------------------

QVariant Dataset::ValueAt(int row, int fieldIndex) const {
  const DatasetImpl& d = *impl_;
  if (row < 0 || row >= d.count() || fieldIndex < 0 || fieldIndex >= d.fields.size())
    return QVariant();
  if (d.editing() && row == d.cur) return d.buffer[fieldIndex];
  return d.rowValue(d.visible[size_t(row)], fieldIndex);
}

QString Dataset::DisplayTextAt(int row, int fieldIndex) const {
  if (fieldIndex < 0 || fieldIndex >= impl_->fields.size()) return QString();
  return impl_->fields[fieldIndex]->DisplayTextOf(ValueAt(row, fieldIndex));
}

// --- internal --------------------------------------------------------------------------

QVariant Dataset::CurrentValue(int fieldIndex) const {
  const DatasetImpl& d = *impl_;
  if (fieldIndex < 0 || fieldIndex >= d.fields.size()) return QVariant();
  if (d.editing()) return d.buffer[fieldIndex];
  if (d.cur < 0) return QVariant();
  // A row being inserted is current before the state says so (listeners of
  // currentChanged run first): its values are the new, empty buffer.
  const int32_t phys = d.visible[size_t(d.cur)];
  if (phys == kPending) return d.buffer.value(fieldIndex);
  return d.rowValue(phys, fieldIndex);
}

void Dataset::SetCurrentValue(int fieldIndex, const QVariant& value, bool force) {
  DatasetImpl& d = *impl_;
  if (fieldIndex < 0 || fieldIndex >= d.fields.size())
    throw Error(QStringLiteral("Campo inexistente no conjunto %1.").arg(objectName()));
  Field* f = d.fields[fieldIndex];
  if (!d.editing())
    throw Error(QStringLiteral("O conjunto %1 não está em alteração nem em inclusão; o campo '%2' "
                               "não pode ser modificado.")
                    .arg(objectName(), f->DisplayLabel()));
  if (f->ReadOnly() && !force)
    throw Error(QStringLiteral("O campo '%1' não pode ser modificado.").arg(f->DisplayLabel()));
  QVariant v = ConvertForField(f->Def(), value);
  if (f->DataType() == FieldType::String && f->Size() > 0 && !v.isNull()) {
    const QString s = v.toString();
    if (s.size() > f->Size()) v = s.left(f->Size());
  }
  d.buffer[fieldIndex] = v;
  d.modified = true;
  emit fieldChanged(f);
  emit rowChanged(d.cur);
}

void Dataset::AttachDataSource(DataSource* source) {
  if (source && !impl_->sources.contains(source)) impl_->sources.append(source);
}

void Dataset::DetachDataSource(DataSource* source) { impl_->sources.removeAll(source); }

}  // namespace fw
