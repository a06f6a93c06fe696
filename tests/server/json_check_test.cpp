// The request checks that need no server: repeated members and the envelope.

#include "server/json_check.h"
#include "server/rpc_request.h"
#include "server/service.h"

#include <gtest/gtest.h>

namespace {

TEST(RepeatedMember, FoundAnywhereAndOnlyWithinOneObject) {
  const struct {
    const char* json;
    const char* repeated;  // nullptr: none
  } cases[] = {
      {R"({"a":1,"b":2})", nullptr},
      {R"({"a":1,"a":2})", "a"},
      {R"({"a":{"a":1},"b":{"a":2}})", nullptr},
      {R"([{"a":1},{"a":1}])", nullptr},
      {R"({"x":[{"a":1,"b":[1,{"c":1,"c":2}]}]})", "c"},
      {R"({"a":"a","b":"a"})", nullptr},  // equal values are not names
      {R"({"a":["a","a"]})", nullptr},
      {R"({"s":"}{\"a\":1,","a":1})", nullptr},  // brackets and quotes inside a string
      {R"({"\"":1,"\u0022":2})", "\""},
      {R"({"\u00e9":1,"é":2})", "é"},
      {R"({"\ud83d\ude00":1,"😀":2})", "😀"},
      {R"({"a\\":1,"a\\\\":2})", nullptr},
      {R"({"":1,"":2})", ""},
      {R"({"a":1,"b":{},"a":3})", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    const auto found = srv::RepeatedMember(c.json);
    ASSERT_EQ(found.has_value(), c.repeated != nullptr);
    if (found) {
      EXPECT_EQ(*found, QString::fromUtf8(c.repeated));
    }
  }
}

TEST(RpcRequest, EnvelopeIsCheckedAndTheIdKeptForTheAnswer) {
  const struct {
    const char* body;
    int code;
    const char* idText;
    const char* message;  // part of the message when refused
  } cases[] = {
      {R"({"jsonrpc":"2.0","id":7,"method":"GetReferencia","params":[]})", 0, "7", ""},
      {R"({"jsonrpc":"2.0","id":"x","method":"GetReferencia"})", 0, "\"x\"", ""},
      {R"({"jsonrpc":"2.0","id":1,"method":"GetReferencia","id":2})", srv::RpcError::InvalidRequest,
       "null", "repete o membro \"id\""},
      {R"({"jsonrpc":"2.0","id":1,"method":"GetReferencia","params":{}})",
       srv::RpcError::InvalidParams, "1", "lista posicional"},
      {R"({"jsonrpc":"1.0","id":1,"method":"GetReferencia"})", srv::RpcError::InvalidRequest, "1",
       "JSON-RPC 2.0"},
      {R"([{"jsonrpc":"2.0","id":1,"method":"GetReferencia"}])", srv::RpcError::InvalidRequest,
       "null", "lote"},
      {R"({"jsonrpc":"2.0","id":1,"method":"GetReferencia")", srv::RpcError::ParseError, "null",
       "não é um JSON válido"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const srv::RpcRequest r = srv::ParseRpcRequest(c.body);
    EXPECT_EQ(r.errorCode, c.code);
    EXPECT_EQ(r.idText, c.idText);
    EXPECT_TRUE(r.error.contains(QString::fromUtf8(c.message))) << r.error.toStdString();
    if (!c.code) {
      EXPECT_EQ(r.method, "GetReferencia");
    }
  }
}

}  // namespace
