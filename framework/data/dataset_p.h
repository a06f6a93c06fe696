#pragma once
// The state behind a Dataset, shared by the files that implement it. Internal
// to framework/data. Rows live in `work` (physical rows); `order` is the
// row order of the whole content, `visible` the part under the filter.

#include "framework/data/dataset.h"
#include "framework/data/errors.h"
#include "framework/data/filter.h"
#include "framework/data/packet_storage.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace fw {

class DatasetImpl {
 public:
  static constexpr int32_t kPending = -1;  // the visible slot of the record being inserted

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

  void afterScroll() {
    if (q->AfterScroll) q->AfterScroll(*q);
  }

  // Makes the current content the base that CancelUpdates goes back to.
  void rebase() {
    baseOrder = order;
    basePhys = st().rows;
  }

  // --- field values (dataset_fields.cpp) --------------------------------------
  QVariantList rowValues(int32_t phys) const;
  // Writes only what differs, so that a column still shared with the loaded
  // packet is copied only when one of its values really changes.
  void writeRow(int32_t phys, const QVariantList& values);

  // --- state and events (dataset.cpp) ------------------------------------------
  void setState(DatasetState s);
  void setCurrent(int row);
  // Discards an edit or a new record without hooks (SetData, Close).
  void dropEdit();
  // Posts a modified record, cancels an untouched one: moving away ends an edit.
  void checkBrowseMode();
  void eraseFrom(std::vector<int32_t>& v, int32_t phys);
  void insertBefore(std::vector<int32_t>& v, int32_t anchor, int32_t phys);

  // --- filter and locate (dataset_filter.cpp) -----------------------------------
  Matcher compile(const Field* f, const QVariant& value, bool caseInsensitive, bool partial) const;
  std::vector<Matcher> compileFilter() const;
  bool matchesFilter(int32_t phys) const;
  void rebuildVisible();

  // --- change log (dataset_changes.cpp) ------------------------------------------
  void logChange(Change::Op op, int32_t phys, const QVariantList& old);
  void forgetLog(int32_t phys);
  void clearLog();
  DataPacket gather(const std::vector<int32_t>& rows) const;
};

}  // namespace fw
