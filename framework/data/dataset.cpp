// Dataset: construction, the state machine (move, insert, edit, post, cancel, delete), events.
#include "framework/data/dataset.h"

#include "framework/data/dataset_p.h"
#include "framework/data/datasource.h"
#include "framework/data/errors.h"

#include <algorithm>

namespace fw {

// --- state and events --------------------------------------------------------------

void DatasetImpl::setState(DatasetState s) {
  if (state == s) return;
  state = s;
  const QList<DataSource*> copy = sources;
  for (DataSource* src : copy) src->NotifyStateChange();
  emit q->stateChanged(s);
}

void DatasetImpl::setCurrent(int row) {
  if (cur == row) return;
  cur = row;
  emit q->currentChanged(row);
}

void DatasetImpl::dropEdit() {
  if (state == DatasetState::Insert) {
    const auto it = std::find(visible.begin(), visible.end(), kPending);
    if (it != visible.end()) visible.erase(it);
  }
  buffer.clear();
  modified = false;
}

void DatasetImpl::checkBrowseMode() {
  if (!editing()) return;
  if (modified)
    q->Post();
  else
    q->Cancel();
}

void DatasetImpl::eraseFrom(std::vector<int32_t>& v, int32_t phys) {
  const auto it = std::find(v.begin(), v.end(), phys);
  if (it != v.end()) v.erase(it);
}

void DatasetImpl::insertBefore(std::vector<int32_t>& v, int32_t anchor, int32_t phys) {
  const auto it = anchor < 0 ? v.end() : std::find(v.begin(), v.end(), anchor);
  v.insert(it, phys);
}

// --- construction --------------------------------------------------------------------

Dataset::Dataset(const QString& name, QObject* parent)
    : QObject(parent), impl_(new DatasetImpl(this)) {
  setObjectName(name);
}

Dataset::~Dataset() {
  const QList<DataSource*> sources = impl_->sources;
  impl_->sources.clear();
  for (DataSource* s : sources) s->SetDataSet(nullptr);
}

bool Dataset::Active() const { return impl_->active; }
DatasetState Dataset::State() const { return impl_->state; }
bool Dataset::Modified() const { return impl_->editing() && impl_->modified; }

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
  d.visible.insert(d.visible.begin() + pos, DatasetImpl::kPending);
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

// --- data sources ------------------------------------------------------------------------

void Dataset::AttachDataSource(DataSource* source) {
  if (source && !impl_->sources.contains(source)) impl_->sources.append(source);
}

void Dataset::DetachDataSource(DataSource* source) { impl_->sources.removeAll(source); }

}  // namespace fw
