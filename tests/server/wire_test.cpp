// The server's answers read by the client's own packet code, and the
// client's own delta text accepted by the server: both sides of the wire
// format agree.

#include "support.h"

#include "framework/data/packet.h"
#include "server/tables.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

using namespace srvtest;

namespace {

class WireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = Databases::Instance().Fresh(Engine::Sqlite);
    server_ = std::make_unique<srv::AppServer>(Options(db_));
    client_ = std::make_unique<Client>(server_->Start(), kMaintainer);
  }
  QByteArray Text(const QJsonValue& v) {
    return v.isArray() ? QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact)
                       : QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
  }
  QJsonValue Ok(const QString& method, const QJsonArray& params = {}) {
    const Response r = client_->Call(method, params);
    EXPECT_TRUE(r.ok()) << method.toStdString() << ": " << r.error().toStdString();
    return r.result();
  }
  QString db_;
  std::unique_ptr<srv::AppServer> server_;
  std::unique_ptr<Client> client_;
};

// Every packet the server sends loads into the client's DataPacket with the
// declared fields and exactly the values sent.
TEST_F(WireTest, EveryPacketLoadsIntoTheClientsDataPacket) {
  std::vector<std::pair<QString, QJsonValue>> packets{
      {"GetReferencia", Ok("GetReferencia")},
      {"GetValidaIdade", Ok("GetValidaIdade", {"01", "050", 1, 0})},
      {"GetValidaAltura", Ok("GetValidaAltura", {"01", "050", "45,5"})},
      {"GetValidaAlturaNCHS", Ok("GetValidaAlturaNCHS", {"01", "050", "77,5"})},
      {"GetPercentilIdPesAlt", Ok("GetPercentilIdPesAlt", {"01"})}};
  for (const char* m : {"GetPercIdade", "GetPercAltura", "GetPercAlturaNCHS"}) {
    const QJsonArray pair = Ok(m).toArray();
    packets.emplace_back(QString(m) + "[0]", pair[0]);
    packets.emplace_back(QString(m) + "[1]", pair[1]);
  }
  for (const auto& [name, json] : packets) {
    SCOPED_TRACE(name.toStdString());
    const fw::DataPacket p = fw::DataPacket::fromJson(Text(json));
    const QJsonArray fields = json.toObject().value("fields").toArray();
    ASSERT_EQ(p.fields().size(), fields.size());
    for (qsizetype i = 0; i < fields.size(); ++i) {
      const QJsonObject f = fields[i].toObject();
      EXPECT_EQ(p.fields()[i].name, f.value("name").toString());
      EXPECT_EQ(fw::FieldTypeName(p.fields()[i].type), f.value("type").toString());
      EXPECT_EQ(p.fields()[i].size, f.value("size").toInt());
    }
    const QJsonArray rows = Rows(json);
    ASSERT_EQ(p.rowCount(), rows.size());
    ASSERT_GT(p.rowCount(), 0);
    for (qsizetype r = 0; r < rows.size(); ++r) {
      const QJsonArray row = rows[r].toArray();
      for (int c = 0; c < int(row.size()); ++c) {
        if (row[c].isNull())
          ASSERT_TRUE(p.isNull(r, c));
        else if (row[c].isString())
          ASSERT_EQ(p.value(r, c).toString(), row[c].toString());
        else
          ASSERT_EQ(p.value(r, c).toDouble(), row[c].toDouble()) << "row " << r << " col " << c;
      }
    }
  }
}

// A delta written by the client's DeltaPacket is applied as it says.
TEST_F(WireTest, TheClientsDeltaTextIsApplied) {
  const fw::DataPacket heights = fw::DataPacket::fromJson(Text(Ok("GetPercAltura").toArray()[1]));
  fw::DeltaPacket delta;
  delta.fields = heights.fields();
  const QVariantList row{110.5, 18.25, QString("050"), QString("02"), 18.75};
  delta.changes.append({fw::Change::Op::Insert, {}, row});
  auto send = [&](const fw::DeltaPacket& d) {
    return client_->Call("SetPesAlt", {QJsonDocument::fromJson(d.toJson()).object()});
  };
  ASSERT_TRUE(send(delta).ok()) << send(delta).error().toStdString();
  const fw::DataPacket found =
      fw::DataPacket::fromJson(Text(Ok("GetValidaAltura", {"02", "050", "110,5"})));
  ASSERT_EQ(found.rowCount(), 1);
  for (int c = 0; c < 5; ++c) EXPECT_EQ(found.value(0, c), row[c]) << c;

  QVariantList changed = row;
  changed[1] = 18.5;
  fw::DeltaPacket update;
  update.fields = heights.fields();
  update.changes.append({fw::Change::Op::Update, row, changed});
  update.changes.append({fw::Change::Op::Delete, changed, {}});
  ASSERT_TRUE(send(update).ok());
  EXPECT_EQ(Rows(Ok("GetValidaAltura", {"02", "050", "110.5"})).size(), 0);
}

}  // namespace
