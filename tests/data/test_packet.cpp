// Data packets and deltas: columnar values, the JSON wire form, exact floats,
// nulls, unicode, and a clear error for every kind of malformed input.

#include "framework/data/errors.h"
#include "framework/data/packet.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

using fw::DataPacket;
using fw::DeltaPacket;
using fw::FieldDef;
using fw::FieldType;

QList<FieldDef> AllTypes() {
  return {{QStringLiteral("CD"), FieldType::String, 3},
          {QStringLiteral("VR"), FieldType::Float, 0},
          {QStringLiteral("NR"), FieldType::Integer, 0},
          {QStringLiteral("BO"), FieldType::Boolean, 0}};
}

TEST(Packet, AppendAndReadTypedValues) {
  DataPacket p(AllTypes());
  p.appendRow({QStringLiteral("001"), 110.5, 7, true});
  p.appendRow({QVariant(), QVariant(), QVariant(), QVariant()});
  p.appendRow({QStringLiteral("002"), QStringLiteral("1.234,5"), QStringLiteral("42"), false});
  ASSERT_EQ(p.rowCount(), 3);
  EXPECT_EQ(p.fieldIndex(u"vr"), 1);  // names match without regard to case
  EXPECT_EQ(p.fieldIndex(u"XX"), -1);
  EXPECT_EQ(p.value(0, 0), QVariant(QStringLiteral("001")));
  EXPECT_EQ(p.value(0, 1).toDouble(), 110.5);
  EXPECT_EQ(p.value(0, 2).toLongLong(), 7);
  EXPECT_EQ(p.value(0, 3).toBool(), true);
  for (int c = 0; c < 4; ++c) {
    EXPECT_TRUE(p.isNull(1, c));
    EXPECT_TRUE(p.value(1, c).isNull());
    EXPECT_FALSE(p.isNull(0, c));
  }
  EXPECT_EQ(p.value(2, 1).toDouble(), 1234.5);  // typed text in the host locale
  EXPECT_EQ(p.value(2, 2).toLongLong(), 42);
}

TEST(Packet, AppendRowRefusesBadRowsAndKeepsThePacket) {
  DataPacket p(AllTypes());
  p.appendRow({QStringLiteral("001"), 1.0, 1, true});
  const QList<QVariantList> bad = {
      {QStringLiteral("002"), 1.0, 1},                           // too few values
      {QStringLiteral("002"), 1.0, 1, true, 5},                  // too many
      {QStringLiteral("002"), QStringLiteral("abc"), 1, true},   // not a number
      {QStringLiteral("002"), 1.0, 1.5, true},                   // not an integer
      {QStringLiteral("002"), std::nan(""), 1, true},            // not finite
      {QStringLiteral("002"), 1.0, 1, QStringLiteral("talvez")}  // not a boolean
  };
  for (const QVariantList& row : bad) {
    EXPECT_THROW(p.appendRow(row), fw::Error);
    EXPECT_EQ(p.rowCount(), 1);
  }
  EXPECT_THROW(p.value(5, 0), fw::Error);
  EXPECT_THROW(p.value(0, 9), fw::Error);
}

TEST(Packet, CopiesShareUntilChanged) {
  DataPacket a(AllTypes());
  a.appendRow({QStringLiteral("001"), 1.0, 1, true});
  DataPacket b = a;
  EXPECT_EQ(&a.storage(), &b.storage());
  b.appendRow({QStringLiteral("002"), 2.0, 2, false});
  EXPECT_NE(&a.storage(), &b.storage());
  EXPECT_EQ(a.rowCount(), 1);
  EXPECT_EQ(b.rowCount(), 2);
  EXPECT_FALSE(a == b);
}

TEST(Packet, FloatsSurviveTheWireExactly) {
  const double values[] = {0.1,
                           1e-7,
                           110.5,
                           1.0 / 3,
                           -0.0,
                           0.0,
                           1e300,
                           -2.5e-300,
                           123456789.123456789,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::denorm_min(),
                           9007199254740993.0};
  DataPacket p({{QStringLiteral("VR"), FieldType::Float, 0}});
  for (double v : values) p.appendRow({v});
  p.appendRow({QVariant()});
  const QByteArray json = p.toJson();
  const DataPacket back = DataPacket::fromJson(json);
  ASSERT_EQ(back.rowCount(), p.rowCount());
  for (qsizetype r = 0; r < qsizetype(std::size(values)); ++r) {
    const double got = back.value(r, 0).toDouble();
    EXPECT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(values[r]))
        << "row " << r << " " << json.toStdString();
    // The text is the shortest that reads back: Qt's own parser agrees on the value.
    EXPECT_EQ(fw::FloatToJson(values[r]).toDouble(), values[r]);
  }
  EXPECT_TRUE(back.isNull(p.rowCount() - 1, 0));
  EXPECT_TRUE(back == p);
  EXPECT_EQ(fw::FloatToJson(110.5), QByteArrayLiteral("110.5"));
  EXPECT_EQ(fw::FloatToJson(0.1), QByteArrayLiteral("0.1"));
}

TEST(Packet, JsonIsTheWireFormat) {
  DataPacket p(AllTypes());
  p.appendRow({QStringLiteral("050"), 110.5, 3, true});
  p.appendRow({QVariant(), QVariant(), QVariant(), QVariant()});
  // Read the output with an independent parser and check its shape.
  QJsonParseError err;
  const QJsonDocument doc = QJsonDocument::fromJson(p.toJson(), &err);
  ASSERT_EQ(err.error, QJsonParseError::NoError);
  const QJsonObject o = doc.object();
  const QJsonArray fields = o.value(QStringLiteral("fields")).toArray();
  ASSERT_EQ(fields.size(), 4);
  EXPECT_EQ(fields[0].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("CD"));
  EXPECT_EQ(fields[0].toObject().value(QStringLiteral("type")).toString(),
            QStringLiteral("string"));
  EXPECT_EQ(fields[0].toObject().value(QStringLiteral("size")).toInt(), 3);
  EXPECT_EQ(fields[1].toObject().value(QStringLiteral("type")).toString(), QStringLiteral("float"));
  EXPECT_EQ(fields[2].toObject().value(QStringLiteral("type")).toString(),
            QStringLiteral("integer"));
  EXPECT_EQ(fields[3].toObject().value(QStringLiteral("type")).toString(),
            QStringLiteral("boolean"));
  const QJsonArray rows = o.value(QStringLiteral("rows")).toArray();
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0].toArray()[0].toString(), QStringLiteral("050"));
  EXPECT_EQ(rows[0].toArray()[1].toDouble(), 110.5);
  EXPECT_EQ(rows[0].toArray()[2].toInt(), 3);
  EXPECT_EQ(rows[0].toArray()[3].toBool(), true);
  for (const QJsonValue v : rows[1].toArray()) EXPECT_TRUE(v.isNull());
}

TEST(Packet, ReadsWhatOtherWritersProduce) {
  // Keys in another order, blanks, unknown keys, integral floats and escapes.
  const QByteArray json = R"( { "rows" : [ [ "a\"b\\c\/d\u00e9\n" , 1 , -2.5E+2 , null ] ,
      ["\ud83d\ude00 x", 3.0, 0, true] ] , "extra": {"x":[1,{"y":null}]},
      "fields" : [ {"type":"string","name":"T","size":10}, {"name":"N","type":"integer"},
                   {"name":"F","type":"float"}, {"name":"B","type":"boolean","note":"z"} ] } )";
  const DataPacket p = DataPacket::fromJson(json);
  ASSERT_EQ(p.rowCount(), 2);
  EXPECT_EQ(p.fields()[0].size, 10);
  EXPECT_EQ(p.value(0, 0).toString(), QStringLiteral("a\"b\\c/d\u00e9\n"));
  EXPECT_EQ(p.value(0, 1).toLongLong(), 1);
  EXPECT_EQ(p.value(0, 2).toDouble(), -250.0);
  EXPECT_TRUE(p.isNull(0, 3));
  EXPECT_EQ(p.value(1, 0).toString(), QString::fromUtf8("\xF0\x9F\x98\x80 x"));  // surrogate pair
  EXPECT_EQ(p.value(1, 1).toLongLong(), 3);
  EXPECT_EQ(p.value(1, 3).toBool(), true);
}

TEST(Packet, UnicodeTextRoundTrips) {
  const QStringList texts = {QStringLiteral("Média (Perímetro Cefálico)"),
                             QStringLiteral("O'Neil \"aspas\""),
                             QString::fromUtf8("\xF0\x9F\x91\xB6 bebê"),
                             QStringLiteral("tab\tnova\nlinha\x01"), QStringLiteral("")};
  DataPacket p({{QStringLiteral("NM"), FieldType::String, 60}});
  for (const QString& t : texts) p.appendRow({t});
  const DataPacket back = DataPacket::fromJson(p.toJson());
  ASSERT_EQ(back.rowCount(), texts.size());
  for (qsizetype r = 0; r < texts.size(); ++r) EXPECT_EQ(back.value(r, 0).toString(), texts[r]);
  // And Qt's parser reads our escapes the same way.
  const QJsonArray rows =
      QJsonDocument::fromJson(p.toJson()).object().value(QStringLiteral("rows")).toArray();
  for (qsizetype r = 0; r < texts.size(); ++r) EXPECT_EQ(rows[r].toArray()[0].toString(), texts[r]);
}

struct MalformedCase {
  const char* name;
  const char* json;
  const char* mentions;  // a piece of the message
  int position;          // 1-based position named in the message; 0: any
};

class MalformedPacketTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedPacketTest, ThrowsAClearError) {
  const MalformedCase& c = GetParam();
  try {
    DataPacket::fromJson(QByteArray(c.json));
    ADD_FAILURE() << c.name << ": accepted";
  } catch (const fw::Error& e) {
    const QString& m = e.message();
    EXPECT_TRUE(m.startsWith(QStringLiteral("Pacote de dados inválido"))) << m.toStdString();
    EXPECT_TRUE(m.contains(QString::fromUtf8(c.mentions))) << c.name << ": " << m.toStdString();
    if (c.position > 0) {
      EXPECT_TRUE(m.contains(QStringLiteral("posição %1:").arg(c.position)))
          << c.name << ": " << m.toStdString();
    }
  }
}

const char kFields[] =
    R"({"fields":[{"name":"T","type":"string","size":2},{"name":"F","type":"float"}],"rows":)";

std::string WithRows(const char* rows) { return std::string(kFields) + rows + "}"; }

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedPacketTest,
    ::testing::Values(
        MalformedCase{"empty", "", "esperado '{'", 1},
        MalformedCase{"not an object", "[1,2]", "esperado '{'", 1},
        MalformedCase{"no fields", R"({"rows":[]})", "\"fields\"", 0},
        MalformedCase{"no rows", R"({"fields":[]})", "\"rows\"", 0},
        MalformedCase{"unknown type", R"({"fields":[{"name":"A","type":"date"}],"rows":[]})",
                      "date", 31},
        MalformedCase{"field without name", R"({"fields":[{"type":"float"}],"rows":[]})",
                      "\"name\"", 12},
        MalformedCase{
            "duplicate field",
            R"({"fields":[{"name":"A","type":"float"},{"name":"a","type":"float"}],"rows":[]})",
            "duas vezes", 0},
        MalformedCase{"trailing text", R"({"fields":[],"rows":[]} x)", "texto a mais", 25},
        MalformedCase{"truncated", R"({"fields":[],"rows":[)", "", 0},
        MalformedCase{"missing colon", R"({"fields" [],"rows":[]})", "esperado ':'", 11}));

TEST(MalformedRows, EachProblemIsNamed) {
  struct Case {
    const char* rows;
    const char* mentions;
  };
  const Case cases[] = {
      {R"([["01"]])", "a linha 1 tem 1 valores; esperados 2"},
      {R"([["01",1,2]])", "a linha 1 tem mais de 2 valores"},
      {R"([["01",1],[2,1]])", "linha 2, campo T: esperado um texto"},
      {R"([["01","1"]])", "linha 1, campo F: esperado um número"},
      {R"([["01",1.]])", "número mal formado"},
      {R"([["01",1e999]])", "fora da faixa"},
      {R"([["01",NaN]])", "esperado um número"},
      {R"([["01",tru]])", "esperado um número"},
      {R"([["0\x",1]])", "escape desconhecido"},
      {R"([["\ud83d",1]])", "par substituto incompleto"},
      {R"([["\ude00",1]])", "sem o alto"},
      {R"([["\u00g1",1]])", "hexadecimal"},
      {"[[\"a\x01\",1]]", "caractere de controle"},
      {"[[\"a\xC3\",1]]", "UTF-8 inválido"},
      {"[[\"\xC0\xAF\",1]]", "UTF-8 inválido"},  // overlong
      {R"([["01",1] ["02",2]])", "esperado ',' ou ']'"},
      {R"([["01)", "sem aspas de fechamento"},
  };
  for (const Case& c : cases) {
    const std::string json = WithRows(c.rows);
    try {
      DataPacket::fromJson(QByteArrayView(json.data(), qsizetype(json.size())));
      ADD_FAILURE() << c.rows << ": accepted";
    } catch (const fw::Error& e) {
      EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.mentions)))
          << c.rows << " -> " << e.what();
      EXPECT_TRUE(e.message().contains(QStringLiteral("posição"))) << e.what();
    }
  }
}

TEST(MalformedRows, PositionPointsAtTheProblem) {
  const std::string json = WithRows(R"([["01",1],["02",x]])");
  const auto at = json.find('x');
  try {
    DataPacket::fromJson(QByteArrayView(json.data(), qsizetype(json.size())));
    ADD_FAILURE() << "accepted";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains(QStringLiteral("posição %1:").arg(at + 1))) << e.what();
  }
}

TEST(FieldTypes, NamesRoundTripAndUnknownNamesThrow) {
  for (FieldType t : {FieldType::String, FieldType::Float, FieldType::Integer, FieldType::Boolean})
    EXPECT_EQ(fw::FieldTypeFromName(fw::FieldTypeName(t)), t);
  EXPECT_THROW(fw::FieldTypeFromName(u"double"), fw::Error);
}

DeltaPacket SampleDelta() {
  DeltaPacket d;
  d.fields = {{QStringLiteral("CDREFEBIBL"), FieldType::String, 2},
              {QStringLiteral("VRALTURA"), FieldType::Float, 0}};
  d.changes.append({fw::Change::Op::Insert, {}, {QStringLiteral("01"), 110.5}});
  d.changes.append(
      {fw::Change::Op::Update, {QStringLiteral("01"), 0.1}, {QStringLiteral("O'N"), QVariant()}});
  d.changes.append({fw::Change::Op::Delete, {QStringLiteral("02"), 1e-7}, {}});
  return d;
}

TEST(Delta, RoundTrip) {
  const DeltaPacket d = SampleDelta();
  const QByteArray json = d.toJson();
  const DeltaPacket back = DeltaPacket::fromJson(json);
  EXPECT_EQ(back, d);
  EXPECT_EQ(back.fieldIndex(u"VRALTURA"), 1);
  // Shape as the server reads it.
  const QJsonObject o = QJsonDocument::fromJson(json).object();
  const QJsonArray changes = o.value(QStringLiteral("changes")).toArray();
  ASSERT_EQ(changes.size(), 3);
  EXPECT_EQ(changes[0].toObject().value(QStringLiteral("op")).toString(), QStringLiteral("insert"));
  EXPECT_FALSE(changes[0].toObject().contains(QStringLiteral("old")));
  EXPECT_EQ(changes[1].toObject().value(QStringLiteral("op")).toString(), QStringLiteral("update"));
  EXPECT_TRUE(changes[1].toObject().value(QStringLiteral("new")).toArray()[1].isNull());
  EXPECT_EQ(changes[2].toObject().value(QStringLiteral("op")).toString(), QStringLiteral("delete"));
  EXPECT_FALSE(changes[2].toObject().contains(QStringLiteral("new")));
  EXPECT_TRUE(DeltaPacket().isEmpty());
  EXPECT_FALSE(d.isEmpty());
}

TEST(Delta, MalformedDeltasThrow) {
  const char* fields = R"("fields":[{"name":"A","type":"float"}])";
  const struct {
    std::string json;
    const char* mentions;
  } cases[] = {
      {std::string("{") + fields + R"(,"changes":[{"op":"upsert","new":[1]}]})", "upsert"},
      {std::string("{") + fields + R"(,"changes":[{"op":"update","new":[1]}]})", "\"old\""},
      {std::string("{") + fields + R"(,"changes":[{"op":"insert"}]})", "\"new\""},
      {std::string("{") + fields + R"(,"changes":[{"new":[1]}]})", "\"op\""},
      {std::string("{") + fields + R"(,"changes":[{"op":"insert","new":[1,2]}]})", "valores"},
      {std::string("{") + fields + R"(,"changes":[{"op":"insert","new":["x"]}]})",
       "esperado um número"},
      {std::string("{") + fields + "}", "\"changes\""},
  };
  for (const auto& c : cases) {
    try {
      DeltaPacket::fromJson(QByteArrayView(c.json.data(), qsizetype(c.json.size())));
      ADD_FAILURE() << c.json << ": accepted";
    } catch (const fw::Error& e) {
      EXPECT_TRUE(e.message().startsWith(QStringLiteral("Pacote de alterações inválido")))
          << e.what();
      EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.mentions)))
          << c.json << " -> " << e.what();
    }
  }
}

}  // namespace
