// The Dataset: hook and state-change order, aborts, filter and locate, the
// change log, field access and formats, and the signals grids rely on.

#include "framework/data/dataset.h"
#include "framework/data/datasource.h"
#include "framework/data/errors.h"
#include "framework/data/format.h"
#include "framework/data/packet_storage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using fw::Change;
using fw::DataPacket;
using fw::Dataset;
using fw::DatasetState;
using fw::DataSource;
using fw::FieldDef;
using fw::FieldType;
using Log = std::vector<std::string>;

const char* StateName(DatasetState s) {
  switch (s) {
    case DatasetState::Inactive:
      return "Inactive";
    case DatasetState::Browse:
      return "Browse";
    case DatasetState::Edit:
      return "Edit";
    case DatasetState::Insert:
      return "Insert";
  }
  return "?";
}

QList<FieldDef> AgeFields() {
  return {{QStringLiteral("CDPERCENTIL"), FieldType::String, 3},
          {QStringLiteral("CDREFEBIBL"), FieldType::String, 2},
          {QStringLiteral("NRIDADEFIN"), FieldType::Float, 0},
          {QStringLiteral("NRIDADEINI"), FieldType::Float, 0},
          {QStringLiteral("VRPESOMASIDA"), FieldType::Float, 0}};
}

// Rows for two references and two percentiles, ages 0..2 years; the weight
// is a function of the row so that tests can tell rows apart.
double Weight(int ref, int perc, int years) { return 3.25 + ref * 10 + perc + years * 0.5; }

DataPacket AgePacket() {
  DataPacket p(AgeFields());
  for (int ref = 1; ref <= 2; ++ref)
    for (int perc : {50, 95})
      for (int years = 0; years <= 2; ++years)
        p.appendRow({QStringLiteral("%1").arg(perc, 3, 10, QChar('0')),
                     QStringLiteral("%1").arg(ref, 2, 10, QChar('0')), 0.0, double(years),
                     Weight(ref, perc, years)});
  return p;
}

// A dataset with a data source and every hook and signal written to one log.
struct Recorder {
  Dataset ds{QStringLiteral("cdsIdPesAlt")};
  DataSource src{QStringLiteral("dtsIdPesAlt")};
  Log log;
  bool withSignals = false;

  Recorder() {
    for (const FieldDef& f : AgeFields()) ds.AddField(f);
    src.SetDataSet(&ds);
    src.OnStateChange = [this](DataSource* s) {
      log.push_back(std::string("state:") + StateName(s->State()));
    };
    auto hook = [this](const char* name) {
      return [this, name](Dataset&) { log.push_back(name); };
    };
    ds.BeforeInsert = hook("BeforeInsert");
    ds.BeforeEdit = hook("BeforeEdit");
    ds.BeforePost = hook("BeforePost");
    ds.AfterPost = hook("AfterPost");
    ds.AfterCancel = hook("AfterCancel");
    ds.AfterDelete = hook("AfterDelete");
    ds.AfterScroll = hook("AfterScroll");
    auto sig = [this](const std::string& s) {
      if (withSignals) log.push_back(s);
    };
    QObject::connect(&ds, &Dataset::contentReset, [sig] { sig("contentReset"); });
    QObject::connect(&ds, &Dataset::rowChanged,
                     [sig](int r) { sig("rowChanged " + std::to_string(r)); });
    QObject::connect(&ds, &Dataset::rowInserted,
                     [sig](int r) { sig("rowInserted " + std::to_string(r)); });
    QObject::connect(&ds, &Dataset::rowRemoved,
                     [sig](int r) { sig("rowRemoved " + std::to_string(r)); });
    QObject::connect(&ds, &Dataset::currentChanged,
                     [sig](int r) { sig("currentChanged " + std::to_string(r)); });
  }
  void load() {
    ds.SetData(AgePacket());
    log.clear();
  }
  QString str(const char* field) const {
    return ds.FieldByName(QString::fromUtf8(field))->AsString();
  }
  double num(const char* field) const {
    return ds.FieldByName(QString::fromUtf8(field))->AsFloat();
  }
  void set(const char* field, const QVariant& v) {
    ds.FieldByName(QString::fromUtf8(field))->SetValue(v);
  }
};

// --- the order table, row by row --------------------------------------------------

struct OrderCase {
  const char* name;
  std::function<void(Recorder&)> setup;
  std::function<void(Recorder&)> action;
  Log expected;
};

class HookOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(HookOrderTest, SequenceOfHooksAndStateChanges) {
  const OrderCase& c = GetParam();
  Recorder r;
  if (c.setup) c.setup(r);
  r.log.clear();
  c.action(r);
  EXPECT_EQ(r.log, c.expected) << c.name;
}

void Load(Recorder& r) { r.load(); }
void LoadAndEdit(Recorder& r) {
  r.load();
  r.ds.Edit();
}
void LoadAndInsert(Recorder& r) {
  r.load();
  r.ds.Insert();
}

INSTANTIATE_TEST_SUITE_P(
    Table, HookOrderTest,
    ::testing::Values(
        OrderCase{"assign a packet",
                  nullptr,
                  [](Recorder& r) { r.ds.SetData(AgePacket()); },
                  {"state:Browse", "AfterScroll"}},
        OrderCase{"assign a packet to an open dataset",
                  Load,
                  [](Recorder& r) { r.ds.SetData(AgePacket()); },
                  {"AfterScroll"}},
        OrderCase{"set the filter expression",
                  Load,
                  [](Recorder& r) { r.ds.SetFilter(QStringLiteral("CDREFEBIBL = '02'")); },
                  {"AfterScroll"}},
        OrderCase{"switch the filter on",
                  Load,
                  [](Recorder& r) {
                    r.ds.SetFilter(QStringLiteral("CDREFEBIBL = '02'"));
                    r.log.clear();
                    r.ds.SetFiltered(true);
                  },
                  {"AfterScroll"}},
        OrderCase{"move: Next", Load, [](Recorder& r) { r.ds.Next(); }, {"AfterScroll"}},
        OrderCase{"move: SetRecNo", Load, [](Recorder& r) { r.ds.SetRecNo(3); }, {"AfterScroll"}},
        OrderCase{"move: Locate found",
                  Load,
                  [](Recorder& r) { r.ds.Locate(QStringLiteral("NRIDADEINI"), 2.0); },
                  {"AfterScroll"}},
        OrderCase{"move: Locate not found",
                  Load,
                  [](Recorder& r) { r.ds.Locate(QStringLiteral("NRIDADEINI"), 99.0); },
                  {}},
        OrderCase{"insert",
                  Load,
                  [](Recorder& r) { r.ds.Insert(); },
                  {"BeforeInsert", "state:Insert", "AfterScroll"}},
        OrderCase{"append",
                  Load,
                  [](Recorder& r) { r.ds.Append(); },
                  {"BeforeInsert", "state:Insert", "AfterScroll"}},
        OrderCase{"edit", Load, [](Recorder& r) { r.ds.Edit(); }, {"BeforeEdit", "state:Edit"}},
        OrderCase{"post an edit",
                  LoadAndEdit,
                  [](Recorder& r) {
                    r.set("VRPESOMASIDA", 1.5);
                    r.ds.Post();
                  },
                  {"BeforePost", "state:Browse", "AfterPost"}},
        OrderCase{"post an insert",
                  LoadAndInsert,
                  [](Recorder& r) {
                    r.set("NRIDADEINI", 9.0);
                    r.ds.Post();
                  },
                  {"BeforePost", "state:Browse", "AfterPost"}},
        OrderCase{"cancel an edit",
                  LoadAndEdit,
                  [](Recorder& r) { r.ds.Cancel(); },
                  {"state:Browse", "AfterCancel"}},
        OrderCase{"cancel an insert",
                  LoadAndInsert,
                  [](Recorder& r) { r.ds.Cancel(); },
                  {"state:Browse", "AfterCancel", "AfterScroll"}},
        OrderCase{
            "delete", Load, [](Recorder& r) { r.ds.Delete(); }, {"AfterDelete", "AfterScroll"}},
        OrderCase{"delete while editing",
                  LoadAndEdit,
                  [](Recorder& r) { r.ds.Delete(); },
                  {"state:Browse", "AfterDelete", "AfterScroll"}},
        OrderCase{"move while editing posts first",
                  LoadAndEdit,
                  [](Recorder& r) {
                    r.set("VRPESOMASIDA", 2.0);
                    r.ds.Next();
                  },
                  {"BeforePost", "state:Browse", "AfterPost", "AfterScroll"}},
        OrderCase{"close", Load, [](Recorder& r) { r.ds.Close(); }, {"state:Inactive"}}),
    [](const ::testing::TestParamInfo<OrderCase>& info) {
      std::string n;
      for (const char* p = info.param.name; *p; ++p)
        n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return n;
    });

TEST(HookOrder, StateHandlerSeesTheNewStateAndTheWrittenRecord) {
  Recorder r;
  r.load();
  r.ds.Edit();
  r.set("VRPESOMASIDA", 77.0);
  std::vector<double> seenInHandler;
  r.src.OnStateChange = [&](DataSource* s) {
    EXPECT_EQ(s->State(), DatasetState::Browse);
    EXPECT_EQ(s->DataSet(), &r.ds);
    seenInHandler.push_back(r.ds.Data().value(0, 4).toDouble());
  };
  bool signalAfterHandler = false;
  QObject::connect(&r.src, &DataSource::stateChanged,
                   [&] { signalAfterHandler = !seenInHandler.empty(); });
  r.ds.Post();
  EXPECT_EQ(seenInHandler, std::vector<double>{77.0});
  EXPECT_TRUE(signalAfterHandler);
}

TEST(HookOrder, SetDataOpensOnTheFirstRecordUnderTheFilter) {
  Recorder r;
  r.ds.SetFilter(QStringLiteral("CDREFEBIBL = '02' and CDPERCENTIL = '095'"));
  r.ds.SetFiltered(true);
  QString firstSeen;
  r.ds.AfterScroll = [&](Dataset& d) { firstSeen = d.FieldByName(u"CDREFEBIBL")->AsString(); };
  r.ds.SetData(AgePacket());
  EXPECT_EQ(firstSeen, QStringLiteral("02"));
  EXPECT_EQ(r.ds.RecordCount(), 3);
  EXPECT_EQ(r.ds.RecNo(), 0);
  EXPECT_EQ(r.num("VRPESOMASIDA"), Weight(2, 95, 0));
}

// --- aborts ------------------------------------------------------------------------------

TEST(Abort, BeforeInsertLeavesEverythingAsItWas) {
  for (bool append : {false, true}) {
    Recorder r;
    r.load();
    r.ds.SetRecNo(4);
    r.ds.BeforeInsert = [](Dataset&) { fw::Abort(); };
    r.withSignals = true;
    r.log.clear();
    EXPECT_THROW(append ? r.ds.Append() : r.ds.Insert(), fw::EAbort);
    EXPECT_EQ(r.ds.State(), DatasetState::Browse);
    EXPECT_EQ(r.ds.RecordCount(), 12);
    EXPECT_EQ(r.ds.RecNo(), 4);
    EXPECT_TRUE(r.log.empty()) << r.log.front();
  }
}

TEST(Abort, BeforeEditLeavesBrowse) {
  Recorder r;
  r.load();
  r.ds.BeforeEdit = [](Dataset&) { throw std::runtime_error("outra falha"); };
  EXPECT_THROW(r.ds.Edit(), std::runtime_error);  // any exception aborts and propagates
  EXPECT_EQ(r.ds.State(), DatasetState::Browse);
  EXPECT_THROW(r.set("VRPESOMASIDA", 1.0), fw::Error);
}

TEST(Abort, BeforePostKeepsStateAndInput) {
  for (bool insert : {false, true}) {
    Recorder r;
    r.load();
    bool refuse = true;
    r.ds.BeforePost = [&](Dataset&) {
      if (refuse) fw::Abort();
    };
    insert ? r.ds.Insert() : r.ds.Edit();
    r.set("NRIDADEINI", 42.0);
    r.set("CDREFEBIBL", QStringLiteral("09"));
    EXPECT_THROW(r.ds.Post(), fw::EAbort);
    EXPECT_EQ(r.ds.State(), insert ? DatasetState::Insert : DatasetState::Edit);
    EXPECT_EQ(r.num("NRIDADEINI"), 42.0);
    EXPECT_EQ(r.str("CDREFEBIBL"), QStringLiteral("09"));
    EXPECT_EQ(r.ds.ChangeCount(), 0);
    refuse = false;
    r.ds.Post();
    EXPECT_EQ(r.ds.ChangeCount(), 1);
    EXPECT_EQ(r.ds.RecordCount(), insert ? 13 : 12);
  }
}

TEST(Abort, MovingAwayFromARefusedPostStays) {
  Recorder r;
  r.load();
  r.ds.BeforePost = [](Dataset&) { fw::Abort(); };
  r.ds.Edit();
  r.set("VRPESOMASIDA", 5.0);
  EXPECT_THROW(r.ds.Next(), fw::EAbort);
  EXPECT_EQ(r.ds.State(), DatasetState::Edit);
  EXPECT_EQ(r.ds.RecNo(), 0);
  EXPECT_EQ(r.num("VRPESOMASIDA"), 5.0);
}

TEST(Abort, DataSourceHandlerExceptionPropagates) {
  Recorder r;
  r.load();
  r.ds.Edit();
  r.set("VRPESOMASIDA", 5.0);
  r.src.OnStateChange = [](DataSource*) { throw fw::Error(QStringLiteral("falha no estado")); };
  bool afterPost = false;
  r.ds.AfterPost = [&](Dataset&) { afterPost = true; };
  EXPECT_THROW(r.ds.Post(), fw::Error);
  EXPECT_FALSE(afterPost);           // the handler runs before the After hook
  EXPECT_EQ(r.ds.ChangeCount(), 1);  // the record was written before the state changed
}

// --- misuse --------------------------------------------------------------------------------

TEST(Misuse, ClearErrors) {
  Recorder r;
  EXPECT_THROW(r.ds.First(), fw::Error);  // inactive
  EXPECT_EQ(r.ds.Data().rowCount(), 0);
  EXPECT_EQ(r.ds.Data().fields(), AgeFields());
  EXPECT_TRUE(r.ds.Delta().isEmpty());
  EXPECT_TRUE(r.ds.FieldByName(u"NRIDADEINI")->IsNull());
  r.ds.SetData(DataPacket(AgeFields()));
  EXPECT_TRUE(r.ds.IsEmpty());
  EXPECT_TRUE(r.ds.Eof());
  EXPECT_THROW(r.ds.Edit(), fw::Error);
  EXPECT_THROW(r.ds.Delete(), fw::Error);
  EXPECT_THROW(r.ds.Post(), fw::Error);
  EXPECT_THROW(r.ds.FieldByName(u"NAOEXISTE"), fw::Error);
  EXPECT_EQ(r.ds.FindField(u"NAOEXISTE"), nullptr);
  EXPECT_THROW(r.ds.AddField({QStringLiteral("X"), FieldType::Float, 0}), fw::Error);  // open
  EXPECT_THROW(r.ds.Locate(QStringLiteral("NRIDADEINI;NRIDADEFIN"), QVariantList{1.0}), fw::Error);
  EXPECT_NO_THROW(r.ds.Cancel());  // nothing to cancel
  try {
    r.ds.Post();
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains(QStringLiteral("cdsIdPesAlt")));
  }
}

// --- filter, locate and the current record -------------------------------------------

TEST(Filter, TwoTermsSelectOnePair) {
  Recorder r;
  r.load();
  r.ds.SetFilter(QStringLiteral("CDREFEBIBL = '02' and CDPERCENTIL = '050'"));
  EXPECT_EQ(r.ds.RecordCount(), 12);  // not applied until switched on
  r.ds.SetFiltered(true);
  ASSERT_EQ(r.ds.RecordCount(), 3);
  for (r.ds.First(); !r.ds.Eof(); r.ds.Next()) {
    EXPECT_EQ(r.str("CDREFEBIBL"), QStringLiteral("02"));
    EXPECT_EQ(r.str("CDPERCENTIL"), QStringLiteral("050"));
  }
  EXPECT_EQ(r.ds.RecNo(), 2);
  EXPECT_EQ(r.ds.Data().rowCount(), 12);  // Data ignores the filter
  r.ds.SetFiltered(false);
  EXPECT_EQ(r.ds.RecordCount(), 12);
  EXPECT_EQ(r.ds.RecNo(), 0);
}

TEST(Filter, SyntaxVariants) {
  const struct {
    const char* expr;
    int count;
  } cases[] = {
      {"CDREFEBIBL = '01'", 6},
      {"CDREFEBIBL='01'AND CDPERCENTIL='095'", 3},
      {"  cdrefebibl = '01'   And   CDPERCENTIL = '095'  ", 3},
      {"[CDREFEBIBL] = '02'", 6},
      {"NRIDADEINI = 2", 4},
      {"CDREFEBIBL = '01' and NRIDADEINI = 1 and CDPERCENTIL = '050'", 1},
      {"CDREFEBIBL = '03'", 0},
      {"CDREFEBIBL = '1'", 0},
      {"", 12},
  };
  for (const auto& c : cases) {
    Recorder r;
    r.load();
    r.ds.SetFiltered(true);
    r.ds.SetFilter(QString::fromUtf8(c.expr));
    EXPECT_EQ(r.ds.RecordCount(), c.count) << c.expr;
    EXPECT_EQ(r.ds.IsEmpty(), c.count == 0) << c.expr;
    EXPECT_EQ(r.ds.RecNo(), c.count ? 0 : -1) << c.expr;
  }
}

TEST(Filter, MalformedExpressionThrowsAndKeepsTheOldFilter) {
  const char* bad[] = {"CDREFEBIBL = '01",
                       "CDREFEBIBL '01'",
                       "CDREFEBIBL = '01' or CDPERCENTIL = '050'",
                       "CDREFEBIBL = '01' and",
                       "= '01'",
                       "NAOEXISTE = '01'",
                       "CDREFEBIBL = 01'",
                       "CDREFEBIBL = '01' '02'"};
  Recorder r;
  r.load();
  const QString good = QStringLiteral("CDREFEBIBL = '02'");
  r.ds.SetFilter(good);
  r.ds.SetFiltered(true);
  r.ds.SetRecNo(2);
  for (const char* e : bad) {
    try {
      r.ds.SetFilter(QString::fromUtf8(e));
      ADD_FAILURE() << "accepted " << e;
    } catch (const fw::Error& err) {
      EXPECT_TRUE(err.message().startsWith(QStringLiteral("Filtro inválido"))) << err.what();
    }
    EXPECT_EQ(r.ds.Filter(), good);
    EXPECT_EQ(r.ds.RecordCount(), 6);
    EXPECT_EQ(r.ds.RecNo(), 2);
  }
}

TEST(Filter, QuotedValuesMatchOnlyTheirOwnRows) {
  // Codes holding quotes, and a code that would inject a second condition if pasted in raw.
  const QStringList codes = {QStringLiteral("O'"), QStringLiteral("O"), QStringLiteral("''"),
                             QStringLiteral("x' and CDREFEBIBL = 'y"), QStringLiteral("x")};
  DataPacket p({{QStringLiteral("CDREFEBIBL"), FieldType::String, 60},
                {QStringLiteral("N"), FieldType::Float, 0}});
  for (qsizetype k = 0; k < codes.size(); ++k) p.appendRow({codes[k], double(k)});
  Dataset ds(QStringLiteral("cds"));
  ds.SetData(p);
  ds.SetFiltered(true);
  for (qsizetype k = 0; k < codes.size(); ++k) {
    const QString expr = QStringLiteral("CDREFEBIBL = ") + Dataset::QuoteFilterValue(codes[k]);
    ds.SetFilter(expr);
    ASSERT_EQ(ds.RecordCount(), 1) << expr.toStdString();
    EXPECT_EQ(ds.FieldByName(u"CDREFEBIBL")->AsString(), codes[k]);
    EXPECT_EQ(ds.FieldByName(u"N")->AsFloat(), double(k));
  }
  EXPECT_EQ(Dataset::QuoteFilterValue(QStringLiteral("O'Neil")), QStringLiteral("'O''Neil'"));
  // Pasted in raw, a quote breaks the expression: refused, not silently wrong.
  EXPECT_THROW(ds.SetFilter(QStringLiteral("CDREFEBIBL = 'O''")), fw::Error);
}

TEST(Filter, PostedRecordThatLeavesTheFilterLeavesTheVisibleRows) {
  Recorder r;
  r.load();
  r.ds.SetFilter(QStringLiteral("CDREFEBIBL = '01' and CDPERCENTIL = '050'"));
  r.ds.SetFiltered(true);
  r.ds.SetRecNo(1);
  r.withSignals = true;
  r.log.clear();
  r.ds.Edit();
  r.set("CDPERCENTIL", QStringLiteral("095"));
  r.ds.Post();
  EXPECT_EQ(r.ds.RecordCount(), 2);
  EXPECT_EQ(r.ds.RecNo(), 1);
  EXPECT_EQ(r.num("NRIDADEINI"), 2.0);  // the next record took its place
  const Log expected = {"BeforeEdit",   "state:Edit",       "rowChanged 1", "BeforePost",
                        "rowRemoved 1", "currentChanged 1", "state:Browse", "AfterPost"};
  EXPECT_EQ(r.log, expected);
  r.ds.SetFilter(QStringLiteral("CDREFEBIBL = '01' and CDPERCENTIL = '095'"));
  EXPECT_EQ(r.ds.RecordCount(), 4);
}

TEST(Filter, InsertUnderAFilterStaysVisibleWhenItMatches) {
  Recorder r;
  r.load();
  r.ds.SetFilter(QStringLiteral("CDREFEBIBL = '02' and CDPERCENTIL = '095'"));
  r.ds.SetFiltered(true);
  r.ds.Append();
  r.set("CDREFEBIBL", QStringLiteral("02"));
  r.set("CDPERCENTIL", QStringLiteral("095"));
  r.set("NRIDADEINI", 3.0);
  r.ds.Post();
  EXPECT_EQ(r.ds.RecordCount(), 4);
  EXPECT_EQ(r.ds.RecNo(), 3);
  EXPECT_EQ(r.num("NRIDADEINI"), 3.0);
  // In the whole content it follows the last row of the table.
  const DataPacket all = r.ds.Data();
  EXPECT_EQ(all.rowCount(), 13);
  EXPECT_EQ(all.value(12, 3).toDouble(), 3.0);
}

TEST(Locate, WithinTheFilterByOneOrMoreKeys) {
  Recorder r;
  r.load();
  r.ds.SetFilter(QStringLiteral("CDREFEBIBL = '02' and CDPERCENTIL = '095'"));
  r.ds.SetFiltered(true);
  EXPECT_TRUE(r.ds.Locate(QStringLiteral("NRIDADEFIN;NRIDADEINI"),
                          QVariantList{QStringLiteral("0"), QStringLiteral("2")}));
  EXPECT_EQ(r.ds.RecNo(), 2);
  EXPECT_EQ(r.num("VRPESOMASIDA"), Weight(2, 95, 2));
  // A row outside the filter is not found; the current record stays.
  EXPECT_FALSE(r.ds.Locate(QStringLiteral("CDREFEBIBL"), QStringLiteral("01")));
  EXPECT_EQ(r.ds.RecNo(), 2);
  EXPECT_FALSE(r.ds.Locate(QStringLiteral("NRIDADEINI"), QStringLiteral("abc")));
  EXPECT_EQ(r.ds.RecNo(), 2);
}

TEST(Locate, FloatKeysByTheirText) {
  DataPacket p({{QStringLiteral("VRALTURA"), FieldType::Float, 0},
                {QStringLiteral("NM"), FieldType::String, 10}});
  const double heights[] = {45.0, 110.5, 0.1 + 0.2, 1234.25};
  for (double h : heights) p.appendRow({h, QStringLiteral("h")});
  Dataset ds(QStringLiteral("cdsPesAlt"));
  ds.SetData(p);
  const struct {
    QVariant key;
    int row;
  } cases[] = {
      {QStringLiteral("110,5"), 1},     {QStringLiteral("110.5"), 1},
      {QStringLiteral(" 110,50 "), 1},  {110.5, 1},
      {QStringLiteral("45"), 0},        {QStringLiteral("1.234,25"), 3},
      {fw::FloatToStr(0.1 + 0.2), 2},  // the text a field gives back finds the very same value
      {QStringLiteral("0,3"), -1},     // 0.3 is not 0.1 + 0.2
      {QStringLiteral("110,4999"), -1},
  };
  for (const auto& c : cases) {
    ds.First();
    EXPECT_EQ(ds.Locate(QStringLiteral("VRALTURA"), c.key), c.row >= 0)
        << c.key.toString().toStdString();
    EXPECT_EQ(ds.RecNo(), c.row >= 0 ? c.row : 0) << c.key.toString().toStdString();
  }
  // The current row's text locates it again after a reload.
  ds.SetRecNo(2);
  const QString saved = ds.FieldByName(u"VRALTURA")->AsString();
  ds.SetData(p);
  EXPECT_TRUE(ds.Locate(QStringLiteral("VRALTURA"), saved));
  EXPECT_EQ(ds.RecNo(), 2);
}

TEST(Locate, CaseInsensitiveAndPartial) {
  DataPacket p({{QStringLiteral("CDPERCENTIL"), FieldType::String, 3},
                {QStringLiteral("NM"), FieldType::String, 30}});
  p.appendRow({QStringLiteral("P50"), QStringLiteral("Mediana")});
  p.appendRow({QStringLiteral("p95"), QStringLiteral("Percentil noventa e cinco")});
  p.appendRow({QStringLiteral("ÁB"), QVariant()});
  Dataset ds(QStringLiteral("cdsValidaPercIdade"));
  ds.SetData(p);
  EXPECT_FALSE(ds.Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("P95")));
  EXPECT_TRUE(
      ds.Locate(QStringLiteral("CDPERCENTIL"), QStringLiteral("P95"), fw::loCaseInsensitive));
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_TRUE(
      ds.Locate(QStringLiteral("cdpercentil"), QStringLiteral("áb"), fw::loCaseInsensitive));
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_TRUE(ds.Locate(QStringLiteral("NM"), QStringLiteral("percentil"),
                        fw::loCaseInsensitive | fw::loPartialKey));
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_TRUE(ds.Locate(QStringLiteral("NM"), QVariant()));  // null finds the empty value
  EXPECT_EQ(ds.RecNo(), 2);
}

TEST(Navigation, EofBofAndCurrentRecord) {
  Recorder r;
  r.load();
  EXPECT_TRUE(r.ds.Bof());
  EXPECT_FALSE(r.ds.Eof());
  int seen = 0;
  for (r.ds.First(); !r.ds.Eof(); r.ds.Next()) ++seen;
  EXPECT_EQ(seen, 12);
  EXPECT_EQ(r.ds.RecNo(), 11);
  r.ds.Prior();
  EXPECT_EQ(r.ds.RecNo(), 10);
  EXPECT_FALSE(r.ds.Eof());
  r.ds.Last();
  EXPECT_EQ(r.ds.RecNo(), 11);
  r.log.clear();
  r.ds.SetRecNo(11);  // already there: no scroll
  EXPECT_TRUE(r.log.empty());
  EXPECT_THROW(r.ds.SetRecNo(12), fw::Error);
}

// --- change log -----------------------------------------------------------------------------

QVariantList Row(const char* perc, const char* ref, double months, double years,
                 const QVariant& weight) {
  return {QString::fromUtf8(perc), QString::fromUtf8(ref), months, years, weight};
}

TEST(ChangeLog, CollapsesPerRecordInTheOrderFirstMade) {
  Recorder r;
  r.load();
  // 1: edit row 0 twice -> one update with the original old values
  r.ds.Edit();
  r.set("VRPESOMASIDA", 1.0);
  r.ds.Post();
  r.ds.Edit();
  r.set("VRPESOMASIDA", 2.0);
  r.ds.Post();
  // 2: insert then edit -> one insert with the latest values
  r.ds.SetRecNo(3);
  r.ds.Insert();
  r.set("CDPERCENTIL", QStringLiteral("010"));
  r.set("CDREFEBIBL", QStringLiteral("01"));
  r.set("NRIDADEINI", 5.0);
  r.ds.Post();
  r.ds.Edit();
  r.set("VRPESOMASIDA", 9.5);
  r.ds.Post();
  // 3: insert then delete -> nothing
  r.ds.Append();
  r.set("NRIDADEINI", 6.0);
  r.ds.Post();
  r.ds.Delete();
  // 4: update then delete -> delete with the original old values
  r.ds.SetRecNo(6);
  r.ds.Edit();
  r.set("VRPESOMASIDA", 0.5);
  r.ds.Post();
  r.ds.Delete();
  // 5: plain delete
  r.ds.SetRecNo(1);
  r.ds.Delete();

  const fw::DeltaPacket d = r.ds.Delta();
  EXPECT_EQ(r.ds.ChangeCount(), 4);
  ASSERT_EQ(d.changes.size(), 4);
  EXPECT_EQ(d.fields, AgeFields());
  EXPECT_EQ(d.changes[0], (Change{Change::Op::Update, Row("050", "01", 0, 0, Weight(1, 50, 0)),
                                  Row("050", "01", 0, 0, 2.0)}));
  EXPECT_EQ(d.changes[1].op, Change::Op::Insert);
  EXPECT_TRUE(d.changes[1].oldValues.isEmpty());
  EXPECT_EQ(d.changes[1].newValues[0], QVariant(QStringLiteral("010")));
  EXPECT_TRUE(d.changes[1].newValues[2].isNull());
  EXPECT_EQ(d.changes[1].newValues[4].toDouble(), 9.5);
  // Row 6 at that moment: ref 01 / perc 095 / 2 years (the insert sits before it).
  EXPECT_EQ(d.changes[2],
            (Change{Change::Op::Delete, Row("095", "01", 0, 2, Weight(1, 95, 2)), {}}));
  EXPECT_EQ(d.changes[3],
            (Change{Change::Op::Delete, Row("050", "01", 0, 1, Weight(1, 50, 1)), {}}));
}

TEST(ChangeLog, CancelUpdatesRestoresTheBase) {
  Recorder r;
  r.load();
  const DataPacket before = r.ds.Data();
  r.ds.SetRecNo(2);
  r.ds.Edit();
  r.set("VRPESOMASIDA", 100.0);
  r.ds.Post();
  r.ds.SetRecNo(5);
  r.ds.Delete();
  r.ds.SetRecNo(0);
  r.ds.Delete();
  r.ds.Insert();
  r.set("NRIDADEINI", 50.0);
  r.ds.Post();
  r.ds.Append();
  r.set("NRIDADEINI", 51.0);
  r.ds.Post();
  EXPECT_EQ(r.ds.ChangeCount(), 5);
  r.ds.CancelUpdates();
  EXPECT_EQ(r.ds.ChangeCount(), 0);
  EXPECT_TRUE(r.ds.Delta().isEmpty());
  EXPECT_TRUE(r.ds.Data() ==
              before);  // deleted rows back in their places, edits undone, inserts gone
  EXPECT_EQ(r.ds.RecordCount(), 12);
}

TEST(ChangeLog, MergeMakesChangesTheNewBase) {
  Recorder r;
  r.load();
  r.ds.Edit();
  r.set("VRPESOMASIDA", 100.0);
  r.ds.Post();
  r.ds.SetRecNo(3);
  r.ds.Delete();
  const DataPacket merged = r.ds.Data();
  r.ds.MergeChangeLog();
  EXPECT_EQ(r.ds.ChangeCount(), 0);
  EXPECT_TRUE(r.ds.Data() == merged);
  r.ds.First();
  r.ds.Edit();
  r.set("VRPESOMASIDA", 7.0);
  r.ds.Post();
  const fw::DeltaPacket d = r.ds.Delta();
  ASSERT_EQ(d.changes.size(), 1);
  EXPECT_EQ(d.changes[0].oldValues[4].toDouble(), 100.0);  // the merged value is the old one now
  r.ds.CancelUpdates();
  EXPECT_TRUE(r.ds.Data() == merged);
}

TEST(ChangeLog, WithoutLoggingChangesGoStraightToTheBase) {
  Recorder r;
  r.load();
  r.ds.SetLogChanges(false);
  EXPECT_FALSE(r.ds.LogChanges());
  r.ds.Edit();
  r.set("VRPESOMASIDA", 100.0);
  r.ds.Post();
  r.ds.Append();
  r.set("NRIDADEINI", 9.0);
  r.ds.Post();
  r.ds.SetRecNo(4);
  r.ds.Delete();
  EXPECT_EQ(r.ds.ChangeCount(), 0);
  const DataPacket now = r.ds.Data();
  EXPECT_EQ(now.rowCount(), 12);
  r.ds.CancelUpdates();
  EXPECT_TRUE(r.ds.Data() == now);
  r.ds.SetLogChanges(true);
  r.ds.First();
  r.ds.Delete();
  EXPECT_EQ(r.ds.ChangeCount(), 1);
  EXPECT_EQ(r.ds.Delta().changes[0].oldValues[4].toDouble(), 100.0);
}

TEST(ChangeLog, SetDataReplacesContentAndLog) {
  Recorder r;
  r.load();
  r.ds.Edit();
  r.set("VRPESOMASIDA", 1.0);
  r.ds.Post();
  r.ds.Edit();
  r.set("VRPESOMASIDA", 3.0);
  r.ds.SetData(AgePacket());  // ends the edit without posting
  EXPECT_EQ(r.ds.State(), DatasetState::Browse);
  EXPECT_EQ(r.ds.ChangeCount(), 0);
  EXPECT_EQ(r.num("VRPESOMASIDA"), Weight(1, 50, 0));
}

TEST(ChangeLog, TheLoadedPacketIsNeverChanged) {
  Recorder r;
  const DataPacket p = AgePacket();
  r.ds.SetData(p);
  EXPECT_TRUE(r.ds.Data() == p);
  EXPECT_EQ(&r.ds.Data().storage(), &p.storage());  // shared, not copied
  r.ds.Edit();
  r.set("VRPESOMASIDA", 1.0);
  r.ds.Post();
  EXPECT_EQ(p.value(0, 4).toDouble(), Weight(1, 50, 0));
  EXPECT_EQ(r.ds.Data().value(0, 4).toDouble(), 1.0);
  // Only the changed column was copied; the others are still the packet's.
  const DataPacket now = r.ds.Data();
  for (int c = 0; c < 5; ++c)
    EXPECT_EQ(&*now.storage().columns[size_t(c)] == &*p.storage().columns[size_t(c)], c != 4) << c;
}

// --- content mapping ------------------------------------------------------------------------

TEST(SetData, MapsDeclaredFieldsByName) {
  QList<FieldDef> reversed = AgeFields();
  std::reverse(reversed.begin(), reversed.end());
  reversed.append({QStringLiteral("EXTRA"), FieldType::String, 5});
  DataPacket p(reversed);
  p.appendRow({7.5, 2.0, 1.0, QStringLiteral("01"), QStringLiteral("050"), QStringLiteral("x")});
  Recorder r;
  r.ds.SetData(p);
  EXPECT_EQ(r.str("CDPERCENTIL"), QStringLiteral("050"));
  EXPECT_EQ(r.num("NRIDADEINI"), 2.0);
  EXPECT_EQ(r.num("VRPESOMASIDA"), 7.5);
  EXPECT_EQ(r.ds.FindField(u"EXTRA"), nullptr);
  const DataPacket back = r.ds.Data();
  EXPECT_EQ(back.fields(), AgeFields());  // declared fields, declared order
  EXPECT_EQ(back.value(0, 0), QVariant(QStringLiteral("050")));
}

TEST(SetData, MissingOrMistypedFieldsThrowAndKeepTheContent) {
  Recorder r;
  r.load();
  r.ds.SetRecNo(3);
  QList<FieldDef> missing = AgeFields();
  missing.removeAt(2);
  QList<FieldDef> mistyped = AgeFields();
  mistyped[3].type = FieldType::String;
  for (const auto& defs : {missing, mistyped}) {
    try {
      r.ds.SetData(DataPacket(defs));
      ADD_FAILURE() << "accepted";
    } catch (const fw::Error& e) {
      EXPECT_TRUE(e.message().contains(QStringLiteral("NRIDADE"))) << e.what();
    }
    EXPECT_EQ(r.ds.RecordCount(), 12);
    EXPECT_EQ(r.ds.RecNo(), 3);
  }
}

TEST(SetData, UndeclaredDatasetTakesThePacketFields) {
  Dataset ds(QStringLiteral("cdsValidaIdade"));
  ds.SetData(AgePacket());
  ASSERT_EQ(ds.FieldCount(), 5);
  EXPECT_EQ(ds.Fields()[2]->objectName(), QStringLiteral("cdsValidaIdadeNRIDADEFIN"));
  EXPECT_EQ(ds.Fields()[2]->parent(), &ds);
  EXPECT_TRUE(ds.Active());
  ds.Close();
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.State(), DatasetState::Inactive);
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.Fields()[0]->AsString(), QString());
}

// --- fields -----------------------------------------------------------------------------------

TEST(Fields, TextAndFloatAccess) {
  Recorder r;
  r.load();
  fw::Field* weight = r.ds.FieldByName(u"VRPESOMASIDA");
  fw::Field* code = r.ds.FieldByName(u"CDREFEBIBL");
  EXPECT_EQ(weight->objectName(), QStringLiteral("cdsIdPesAltVRPESOMASIDA"));
  EXPECT_THROW(weight->SetAsString(QStringLiteral("1,5")), fw::Error);  // browse
  r.ds.Edit();
  const struct {
    const char* text;
    double value;
  } texts[] = {{"1.234,5", 1234.5}, {"110,5", 110.5}, {"110.5", 110.5}, {" 7 ", 7}};
  for (const auto& t : texts) {
    weight->SetAsString(QString::fromUtf8(t.text));
    EXPECT_EQ(weight->AsFloat(), t.value) << t.text;
    EXPECT_EQ(weight->AsString(), fw::FloatToStr(t.value));
  }
  try {
    weight->SetAsString(QStringLiteral("12a"));
    ADD_FAILURE() << "accepted 12a";
  } catch (const fw::Error& e) {
    EXPECT_EQ(e.message(), QStringLiteral("'12a' não é um valor numérico válido."));
  }
  EXPECT_EQ(weight->AsFloat(), 7.0);  // the bad text changed nothing
  weight->SetAsString(QString());
  EXPECT_TRUE(weight->IsNull());
  EXPECT_EQ(weight->AsFloat(), 0.0);
  EXPECT_EQ(weight->AsString(), QString());
  weight->SetAsFloat(3.0);
  weight->Clear();
  EXPECT_TRUE(weight->IsNull());
  code->SetAsString(QStringLiteral("12345"));
  EXPECT_EQ(code->AsString(), QStringLiteral("12"));  // cut to the declared size
  EXPECT_EQ(code->Size(), 2);
  EXPECT_EQ(code->AsFloat(), 12.0);
  code->SetAsString(QStringLiteral("ab"));
  EXPECT_THROW(code->AsFloat(), fw::Error);
}

TEST(Fields, ReadOnlyIsRefusedUnlessForced) {
  Recorder r;
  r.load();
  fw::Field* years = r.ds.FieldByName(u"NRIDADEINI");
  int notified = 0;
  QObject::connect(years, &fw::Field::propertiesChanged, [&] { ++notified; });
  years->SetReadOnly(true);
  EXPECT_EQ(notified, 1);
  r.ds.Edit();
  EXPECT_THROW(years->SetAsString(QStringLiteral("3")), fw::Error);
  r.ds.SetCurrentValue(years->Index(), 3.0, true);
  EXPECT_EQ(years->AsFloat(), 3.0);
}

TEST(Fields, DisplayAndEditText) {
  Recorder r;
  r.load();
  fw::Field* weight = r.ds.FieldByName(u"VRPESOMASIDA");
  fw::Field* months = r.ds.FieldByName(u"NRIDADEFIN");
  weight->SetDisplayFormat(QStringLiteral("#,##0.000"));
  months->SetDisplayFormat(QStringLiteral("##0"));
  r.ds.Edit();
  weight->SetAsFloat(1234.5);
  months->SetAsFloat(11);
  EXPECT_EQ(weight->DisplayText(), QStringLiteral("1.234,500"));
  EXPECT_EQ(weight->EditText(), QStringLiteral("1234,5"));
  EXPECT_EQ(months->DisplayText(), QStringLiteral("11"));
  EXPECT_EQ(r.ds.DisplayTextAt(0, weight->Index()),
            QStringLiteral("1.234,500"));  // the edit buffer
  r.ds.Post();
  EXPECT_EQ(r.ds.DisplayTextAt(0, weight->Index()), QStringLiteral("1.234,500"));
  EXPECT_EQ(r.ds.DisplayTextAt(1, weight->Index()),
            fw::FormatFloat(Weight(1, 50, 1), QStringLiteral("#,##0.000")));
  EXPECT_EQ(r.ds.ValueAt(99, 0), QVariant());
}

TEST(Fields, EditMaskTrimsBlanks) {
  Recorder r;
  r.load();
  fw::Field* years = r.ds.FieldByName(u"NRIDADEINI");
  years->SetEditMask(QStringLiteral("999;0; "));
  r.ds.Insert();
  years->SetEditText(QStringLiteral("12 "));
  EXPECT_EQ(years->AsFloat(), 12.0);
  years->SetEditText(QStringLiteral("   "));
  EXPECT_TRUE(years->IsNull());
  EXPECT_THROW(years->SetEditText(QStringLiteral("1x")), fw::Error);
  EXPECT_TRUE(years->IsNull());
}

TEST(Fields, PropertiesAndFocus) {
  Recorder r;
  fw::Field* f = r.ds.FieldByName(u"VRPESOMASIDA");
  EXPECT_EQ(f->DisplayLabel(), QStringLiteral("VRPESOMASIDA"));
  f->SetDisplayLabel(QStringLiteral("Peso (kg)"));
  EXPECT_EQ(f->DisplayLabel(), QStringLiteral("Peso (kg)"));
  f->SetTag(1);
  EXPECT_EQ(f->Tag(), 1);
  EXPECT_EQ(f->DisplayWidth(), 10);
  f->SetDisplayWidth(45);
  EXPECT_EQ(f->DisplayWidth(), 45);
  fw::Field* focused = nullptr;
  QObject::connect(f, &fw::Field::focusRequested, [&](fw::Field* x) { focused = x; });
  f->FocusControl();
  EXPECT_EQ(focused, f);
  f->SetRequired(true);
  r.load();
  r.ds.Insert();
  try {
    r.ds.Post();
    ADD_FAILURE() << "posted without a required value";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains(QStringLiteral("Peso (kg)")));
  }
  EXPECT_EQ(r.ds.State(), DatasetState::Insert);
}

// --- signals for grids --------------------------------------------------------------------------

TEST(Signals, InsertEditCancelDelete) {
  Recorder r;
  r.load();
  r.ds.SetRecNo(2);
  r.withSignals = true;
  r.log.clear();
  r.ds.Insert();
  EXPECT_EQ(r.ds.RecNo(), 2);
  EXPECT_EQ(r.ds.RecordCount(), 13);
  EXPECT_TRUE(r.ds.ValueAt(2, 0).isNull());
  r.set("NRIDADEINI", 4.0);
  r.ds.Cancel();
  EXPECT_EQ(r.ds.RecordCount(), 12);
  r.ds.Delete();
  const Log expected = {"BeforeInsert", "rowInserted 2",    "currentChanged 2",
                        "state:Insert", "AfterScroll",
                        "rowChanged 2",  // field write
                        "rowRemoved 2", "currentChanged 2", "state:Browse",
                        "AfterCancel",  "AfterScroll",  // cancel
                        "rowRemoved 2", "currentChanged 2", "AfterDelete",
                        "AfterScroll"};  // delete
  EXPECT_EQ(r.log, expected);
  r.log.clear();
  r.ds.SetFilter(QStringLiteral("CDREFEBIBL = '02'"));
  EXPECT_EQ(r.log, (Log{"contentReset", "currentChanged 0", "AfterScroll"}));
}

TEST(Signals, ContentResetAndRowChanges) {
  struct Case {
    const char* name;
    std::function<void(Recorder&)> setup;
    std::function<void(Recorder&)> action;
    Log expected;
  };
  const Case cases[] = {
      {"SetData",
       nullptr,
       [](Recorder& r) { r.ds.SetData(AgePacket()); },
       {"contentReset", "currentChanged 0", "state:Browse", "AfterScroll"}},
      {"Close",
       Load,
       [](Recorder& r) { r.ds.Close(); },
       {"contentReset", "currentChanged -1", "state:Inactive"}},
      {"post an edit",
       LoadAndEdit,
       [](Recorder& r) {
         r.set("VRPESOMASIDA", 9.0);
         r.ds.Post();
       },
       {"rowChanged 0", "BeforePost", "rowChanged 0", "state:Browse", "AfterPost"}},
      {"cancel an edit",
       LoadAndEdit,
       [](Recorder& r) { r.ds.Cancel(); },
       {"rowChanged 0", "state:Browse", "AfterCancel"}},
      {"CancelUpdates of an edit",
       Load,
       [](Recorder& r) {
         r.ds.Edit();
         r.set("VRPESOMASIDA", 9.0);
         r.ds.Post();
         r.log.clear();
         r.ds.CancelUpdates();
       },
       {"contentReset", "currentChanged 0"}},
      {"CancelUpdates of an insert",
       Load,
       [](Recorder& r) {
         r.ds.Insert();
         r.set("VRPESOMASIDA", 9.0);
         r.ds.Post();
         r.log.clear();
         r.ds.CancelUpdates();
       },
       {"contentReset", "currentChanged 0", "AfterScroll"}},
      {"MergeChangeLog",
       Load,
       [](Recorder& r) {
         r.ds.Delete();
         r.log.clear();
         r.ds.MergeChangeLog();
       },
       {}},
      {"Next", Load, [](Recorder& r) { r.ds.Next(); }, {"currentChanged 1", "AfterScroll"}},
  };
  for (const Case& c : cases) {
    Recorder r;
    if (c.setup) c.setup(r);
    r.withSignals = true;
    r.log.clear();
    c.action(r);
    EXPECT_EQ(r.log, c.expected) << c.name;
  }
}

// --- data sources -------------------------------------------------------------------------------

TEST(DataSources, BindingRebindingAndLifetime) {
  Dataset a(QStringLiteral("cdsA"));
  Dataset b(QStringLiteral("cdsB"));
  DataSource src(QStringLiteral("dtsA"));
  int rebinds = 0;
  QObject::connect(&src, &DataSource::dataSetChanged, [&] { ++rebinds; });
  Log seen;
  src.OnStateChange = [&](DataSource* s) {
    seen.push_back(s->DataSet()->objectName().toStdString());
  };
  EXPECT_EQ(src.State(), DatasetState::Inactive);  // unbound
  src.SetDataSet(&a);
  src.SetDataSet(&a);  // same dataset: nothing
  EXPECT_EQ(rebinds, 1);
  a.SetData(AgePacket());
  EXPECT_EQ(src.State(), DatasetState::Browse);
  src.SetDataSet(&b);
  a.Edit();  // no longer bound: not told
  b.SetData(AgePacket());
  EXPECT_EQ(seen, (Log{"cdsA", "cdsB"}));
  EXPECT_EQ(rebinds, 2);
  {
    DataSource second(QStringLiteral("dtsB"));
    second.SetDataSet(&b);
    int told = 0;
    second.OnStateChange = [&](DataSource*) { ++told; };
    b.Edit();
    EXPECT_EQ(told, 1);
  }  // destroyed while bound: the dataset forgets it
  b.Cancel();
  EXPECT_EQ(seen.size(), 4u);
  auto* owned = new Dataset(QStringLiteral("cdsC"));
  src.SetDataSet(owned);
  delete owned;
  EXPECT_EQ(src.DataSet(), nullptr);
  EXPECT_EQ(src.State(), DatasetState::Inactive);
}

TEST(Editing, ModifiedTracksWritesToTheRecord) {
  Recorder r;
  r.load();
  EXPECT_FALSE(r.ds.Modified());
  r.ds.Edit();
  EXPECT_FALSE(r.ds.Modified());
  r.set("VRPESOMASIDA", 1.0);
  EXPECT_TRUE(r.ds.Modified());
  r.ds.Cancel();
  EXPECT_FALSE(r.ds.Modified());
  EXPECT_EQ(r.num("VRPESOMASIDA"), Weight(1, 50, 0));  // cancel restored the value
  // An untouched new record is dropped when the user moves away; a touched one is posted.
  r.ds.Insert();
  r.ds.Next();
  EXPECT_EQ(r.ds.RecordCount(), 12);
  EXPECT_EQ(r.ds.ChangeCount(), 0);
  r.ds.Insert();
  r.set("NRIDADEINI", 3.0);
  r.ds.First();
  EXPECT_EQ(r.ds.RecordCount(), 13);
  EXPECT_EQ(r.ds.ChangeCount(), 1);
}

TEST(Editing, InsertGoesBeforeTheCurrentRecordAppendAtTheEnd) {
  Recorder r;
  r.load();
  r.ds.SetRecNo(4);
  const double fifth = r.num("VRPESOMASIDA");
  r.ds.Insert();
  r.set("VRPESOMASIDA", -1.0);
  r.ds.Post();
  EXPECT_EQ(r.ds.RecNo(), 4);
  r.ds.Next();
  EXPECT_EQ(r.num("VRPESOMASIDA"), fifth);
  r.ds.Append();
  EXPECT_EQ(r.ds.RecNo(), 13);
  r.set("VRPESOMASIDA", -2.0);
  r.ds.Post();
  const DataPacket all = r.ds.Data();
  ASSERT_EQ(all.rowCount(), 14);
  EXPECT_EQ(all.value(4, 4).toDouble(), -1.0);
  EXPECT_EQ(all.value(5, 4).toDouble(), fifth);
  EXPECT_EQ(all.value(13, 4).toDouble(), -2.0);
  // Into an empty dataset, both land as the only record.
  Dataset empty(QStringLiteral("cdsVazio"));
  empty.SetData(DataPacket(AgeFields()));
  empty.Insert();
  empty.FieldByName(u"NRIDADEINI")->SetAsFloat(1);
  empty.Post();
  EXPECT_EQ(empty.RecordCount(), 1);
  EXPECT_EQ(empty.RecNo(), 0);
  EXPECT_FALSE(empty.IsEmpty());
}

// --- random operations against invariants ------------------------------------------------------

// Rows as plain values, for comparisons that do not depend on the engine.
std::vector<QVariantList> Rows(const DataPacket& p) {
  std::vector<QVariantList> rows;
  for (qsizetype r = 0; r < p.rowCount(); ++r) {
    QVariantList row;
    for (int c = 0; c < p.fields().size(); ++c) row.append(p.value(r, c));
    rows.push_back(row);
  }
  return rows;
}

bool SameRow(const QVariantList& a, const QVariantList& b) {
  if (a.size() != b.size()) return false;
  for (qsizetype k = 0; k < a.size(); ++k)
    if (a[k].isNull() != b[k].isNull() || (!a[k].isNull() && a[k] != b[k])) return false;
  return true;
}

// Applies a delta the way the server does: find the old row, replace or remove it.
std::vector<QVariantList> Apply(std::vector<QVariantList> rows, const fw::DeltaPacket& d) {
  for (const Change& ch : d.changes) {
    if (ch.op == Change::Op::Insert) {
      rows.push_back(ch.newValues);
      continue;
    }
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [&](const QVariantList& r) { return SameRow(r, ch.oldValues); });
    if (it == rows.end()) {
      ADD_FAILURE() << "delta names a row that is not in the base";
      continue;
    }
    if (ch.op == Change::Op::Update)
      *it = ch.newValues;
    else
      rows.erase(it);
  }
  return rows;
}

bool SameMultiset(const std::vector<QVariantList>& a, std::vector<QVariantList> b) {
  if (a.size() != b.size()) return false;
  for (const QVariantList& row : a) {
    const auto it =
        std::find_if(b.begin(), b.end(), [&](const QVariantList& r) { return SameRow(r, row); });
    if (it == b.end()) return false;
    b.erase(it);
  }
  return true;
}

TEST(RandomOperations, DeltaCancelAndFilterStayConsistent) {
  const QList<FieldDef> defs = {{QStringLiteral("CODE"), FieldType::String, 1},
                                {QStringLiteral("ID"), FieldType::Float, 0},
                                {QStringLiteral("VAL"), FieldType::Float, 0}};
  for (unsigned seed = 1; seed <= 6; ++seed) {
    std::srand(seed);
    auto rnd = [](int n) { return std::rand() % n; };
    DataPacket start(defs);
    double nextId = 0;
    for (int k = 0; k < 20; ++k)
      start.appendRow({QString(QChar('A' + rnd(3))), nextId++, double(rnd(100))});
    Dataset ds(QStringLiteral("cdsRandom"));
    ds.SetData(start);
    std::vector<QVariantList> base = Rows(start);
    for (int step = 0; step < 600; ++step) {
      const int op = rnd(12);
      if (ds.State() != DatasetState::Browse && op < 6) {
        if (op % 2)
          ds.Post();
        else
          ds.Cancel();
      } else if (op == 0 || op == 1) {
        op == 0 ? ds.Insert() : ds.Append();
        ds.FieldByName(u"ID")->SetAsFloat(nextId++);
        ds.FieldByName(u"CODE")->SetAsString(QString(QChar('A' + rnd(3))));
        ds.FieldByName(u"VAL")->SetAsFloat(rnd(100));
      } else if (op == 2 && !ds.IsEmpty()) {
        ds.Edit();
        if (rnd(2)) ds.FieldByName(u"VAL")->SetAsFloat(100 + rnd(100));
        if (rnd(3) == 0) ds.FieldByName(u"CODE")->SetAsString(QString(QChar('A' + rnd(3))));
      } else if (op == 3 && !ds.IsEmpty()) {
        ds.Delete();
      } else if (op == 4 && !ds.IsEmpty()) {
        ds.SetRecNo(rnd(ds.RecordCount()));
      } else if (op == 5) {
        ds.SetFilter(QStringLiteral("CODE = ") +
                     Dataset::QuoteFilterValue(QString(QChar('A' + rnd(3)))));
        ds.SetFiltered(rnd(2) == 0);
      } else if (op == 6 && rnd(4) == 0) {
        ds.MergeChangeLog();
        base = Rows(ds.Data());
      } else if (op == 7 && rnd(4) == 0) {
        ds.CancelUpdates();
        ASSERT_EQ(Rows(ds.Data()).size(), base.size()) << "seed " << seed << " step " << step;
        EXPECT_TRUE(std::equal(base.begin(), base.end(), Rows(ds.Data()).begin(), SameRow))
            << "CancelUpdates did not restore the base, seed " << seed << " step " << step;
      }
      if (ds.State() != DatasetState::Browse) continue;
      // The delta turns the base into the content.
      const fw::DeltaPacket delta = ds.Delta();
      ASSERT_EQ(ds.ChangeCount(), delta.changes.size());
      const std::vector<QVariantList> content = Rows(ds.Data());
      ASSERT_TRUE(SameMultiset(Apply(base, delta), content)) << "seed " << seed << " step " << step;
      // The visible rows are the content under the filter, in order.
      std::vector<QVariantList> expected;
      for (const QVariantList& row : content)
        if (!ds.Filtered() || row[0].toString() == ds.Filter().section(QLatin1Char('\''), 1, 1))
          expected.push_back(row);
      ASSERT_EQ(ds.RecordCount(), int(expected.size())) << "seed " << seed << " step " << step;
      for (int r = 0; r < ds.RecordCount(); ++r)
        ASSERT_TRUE(
            SameRow({ds.ValueAt(r, 0), ds.ValueAt(r, 1), ds.ValueAt(r, 2)}, expected[size_t(r)]))
            << "seed " << seed << " step " << step << " row " << r;
      ASSERT_EQ(ds.RecNo() >= 0, !expected.empty());
    }
  }
}

}  // namespace
