// Dataset: its content (load, read back, close) and the change log behind Delta.
#include "framework/data/dataset.h"

#include "framework/data/dataset_p.h"
#include "framework/data/errors.h"

#include <algorithm>

namespace fw {

namespace {

std::vector<int32_t> Identity(qsizetype n) {
  std::vector<int32_t> v(static_cast<size_t>(n));
  for (qsizetype k = 0; k < n; ++k) v[size_t(k)] = int32_t(k);
  return v;
}

}  // namespace

void DatasetImpl::logChange(Change::Op op, int32_t phys, const QVariantList& old) {
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

void DatasetImpl::forgetLog(int32_t phys) {
  const auto it = logIndex.find(phys);
  if (it == logIndex.end()) return;
  log[it->second].live = false;
  --liveChanges;
  logIndex.erase(it);
}

void DatasetImpl::clearLog() {
  log.clear();
  logIndex.clear();
  liveChanges = 0;
}

DataPacket DatasetImpl::gather(const std::vector<int32_t>& rows) const {
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

size_t Dataset::MemoryBytes() const {
  const DatasetImpl& d = *impl_;
  size_t n = d.st().bytes();
  n += (d.order.capacity() + d.baseOrder.capacity() + d.visible.capacity()) * sizeof(int32_t);
  n += d.log.capacity() * sizeof(DatasetImpl::LogEntry) + d.logIndex.size() * 32;
  return n;
}

}  // namespace fw
