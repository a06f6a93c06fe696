// The JSON-RPC envelope: requests as the server expects them, responses read
// without a document of the whole body.

#include "framework/data/errors.h"
#include "framework/data/packet.h"
#include "framework/net/rpcjson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSize>

#include <limits>

#include <gtest/gtest.h>

namespace {

fw::DataPacket SamplePacket() {
  fw::DataPacket packet(
      {{"CDREFEBIBL", fw::FieldType::String, 2}, {"VRALTURA", fw::FieldType::Float, 0}});
  packet.appendRow({QStringLiteral("01"), 110.5});
  packet.appendRow({QStringLiteral("0\"2"), QVariant()});
  return packet;
}

TEST(RpcRequest, CarriesMethodIdAndPositionalParams) {
  fw::DeltaPacket delta;
  delta.fields = {{"CDREFEBIBL", fw::FieldType::String, 2}};
  delta.changes = {{fw::Change::Op::Insert, {}, {QStringLiteral("09")}}};
  const QByteArray body = fw::BuildRpcRequest(
      "GetValidaIdade",
      {QStringLiteral("01"), QStringLiteral("Maçã \"x\"\n"), 2.0, 0.1, 7, true, QVariant(),
       QVariant::fromValue(SamplePacket()), QVariant::fromValue(delta)},
      42);
  QJsonParseError error;
  const QJsonObject request = QJsonDocument::fromJson(body, &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << body.toStdString();
  EXPECT_EQ(request["jsonrpc"].toString(), "2.0");
  EXPECT_EQ(request["id"].toInt(), 42);
  EXPECT_EQ(request["method"].toString(), "GetValidaIdade");
  const QJsonArray params = request["params"].toArray();
  ASSERT_EQ(params.size(), 9);
  EXPECT_EQ(params[0].toString(), "01");
  EXPECT_EQ(params[1].toString(), QStringLiteral("Maçã \"x\"\n"));
  EXPECT_EQ(params[2].toDouble(), 2.0);
  EXPECT_EQ(params[3].toDouble(), 0.1);  // shortest round trip, exact
  EXPECT_EQ(params[4].toInt(), 7);
  EXPECT_TRUE(params[5].toBool());
  EXPECT_TRUE(params[6].isNull());
  EXPECT_EQ(fw::DataPacket::fromJson(QJsonDocument(params[7].toObject()).toJson()), SamplePacket());
  EXPECT_EQ(fw::DeltaPacket::fromJson(QJsonDocument(params[8].toObject()).toJson()), delta);
}

TEST(RpcRequest, RefusesWhatCannotTravel) {
  EXPECT_THROW(fw::BuildRpcRequest("M", {std::numeric_limits<double>::infinity()}, 1), fw::Error);
  EXPECT_THROW(fw::BuildRpcRequest("M", {QVariant::fromValue(QSize(1, 2))}, 1), fw::Error);
}

TEST(RpcResponse, ReadsEveryResultShape) {
  const QByteArray packet = SamplePacket().toJson();
  const QByteArray pair = "[" + packet + " , " + packet + "]";

  auto ok = fw::ParseRpcResponse(R"({"jsonrpc":"2.0","id":1,"result":true})");
  ASSERT_TRUE(ok.ok);
  EXPECT_EQ(ok.payload, QVariant(true));

  auto single = fw::ParseRpcResponse("{\"jsonrpc\":\"2.0\",\"result\":" + packet + ",\"id\":3}");
  ASSERT_TRUE(single.ok) << single.error.toStdString();
  EXPECT_EQ(single.payload.value<fw::DataPacket>(), SamplePacket());

  auto both = fw::ParseRpcResponse(" {\n \"id\" : 2 , \"result\" : " + pair + " } ");
  ASSERT_TRUE(both.ok) << both.error.toStdString();
  const QVariantList items = both.payload.toList();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0].value<fw::DataPacket>(), SamplePacket());
  EXPECT_EQ(items[1].value<fw::DataPacket>(), SamplePacket());

  const struct {
    const char* body;
    QVariant expected;
  } scalars[] = {
      {R"({"result":false})", false},
      {R"({"result":"texto \"com\" aspas"})", QStringLiteral("texto \"com\" aspas")},
      {R"({"result":12.5})", 12.5},
      {R"({"result":[]})", QVariantList{}},
      {R"({"result":null,"error":null})", QVariant()},
  };
  for (const auto& c : scalars) {
    const auto r = fw::ParseRpcResponse(c.body);
    EXPECT_TRUE(r.ok) << c.body;
    EXPECT_EQ(r.payload, c.expected) << c.body;
  }
}

TEST(RpcResponse, ServerErrorsComeBackAsTheirMessage) {
  const auto r = fw::ParseRpcResponse(
      R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"Já existe a idade 2 anos e 3 meses."}})");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, QStringLiteral("Já existe a idade 2 anos e 3 meses."));
  EXPECT_FALSE(r.payload.isValid());

  const auto silent = fw::ParseRpcResponse(R"({"error":{"code":-32603}})");
  EXPECT_FALSE(silent.ok);
  EXPECT_TRUE(silent.error.contains("-32603"));
}

TEST(RpcResponse, MalformedBodiesGiveAClearMessage) {
  const char* bodies[] = {
      "",
      "[]",
      "<html>erro</html>",
      R"({"result":)",
      R"({"result":{"fields":[{"name":"A","type":"string"}],"rows":[["x"]})",
      R"({"result":{"fields":"nao"}})",
      R"({"id":1})",
      R"({"result":[true,})",
      R"({"result":tru})",
  };
  for (const char* body : bodies) {
    const auto r = fw::ParseRpcResponse(body);
    EXPECT_FALSE(r.ok) << body;
    EXPECT_TRUE(r.error.startsWith(QStringLiteral("Resposta inválida do servidor de aplicação")))
        << body << " -> " << r.error.toStdString();
  }
}

TEST(RpcScanner, SkipsValuesWithNestingAndEscapes) {
  const struct {
    const char* text;
    qsizetype start;
    qsizetype end;
  } cases[] = {
      {R"("a\"b]" ,)", 0, 7},
      {R"([1,[2,"]"],{"k":"}"}] x)", 0, 21},
      {R"(  123.5e3,)", 0, 9},
      {R"("a\\" ,)", 0, 5},     // an escaped backslash ends before the quote
      {R"("x\\\"y" ,)", 0, 8},  // backslash, then an escaped quote
      {R"({"s":"\"}"}  )", 0, 11},
      {R"({"a":[}" )", 0, -1},
      {R"("sem fim)", 0, -1},
      {R"(   )", 0, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fw::SkipJsonValue(QByteArrayView(c.text), c.start), c.end) << c.text;
  }
}

}  // namespace
