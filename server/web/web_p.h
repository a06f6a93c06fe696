#pragma once
// Private to the web view's files: a request as the pages read it, the
// server's methods called as the signed-in user, and the HTML helpers.

#include "framework/data/packet.h"
#include "server/service.h"

#include <httplib.h>

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace web {

// A page's answer: its status, title and the HTML of its main part.
struct Page {
  int status = 200;
  QString title;
  QString body;
};

// The server's methods, as the signed-in user (the same role checks).
class Calls {
 public:
  Calls(srv::Service& service, srv::Caller caller)
      : service_(service), caller_(std::move(caller)) {}
  // Throws srv::RpcError as the method does.
  std::string Json(const QString& method, const QJsonArray& params = {});
  fw::DataPacket Packet(const QString& method, const QJsonArray& params = {});
  // GetPercIdade, GetPercAltura, GetPercAlturaNCHS: percentiles and rows.
  std::pair<fw::DataPacket, fw::DataPacket> Pair(const QString& method);
  const srv::Caller& caller() const { return caller_; }

 private:
  srv::Service& service_;
  srv::Caller caller_;
};

struct Request {
  const httplib::Request& http;
  Calls& calls;
  const httplib::Params& params;  // of the query, or of the posted form
  // A parameter of the query or of the posted form; empty when absent.
  QString Param(const char* name) const;
  QStringList Params(const char* name) const;
};

// Text for HTML (element content and quoted attributes).
QString Esc(const QString& text);
// "12,35": a number in the Brazilian format.
QString Num(double value, int decimals);
// The chart code's SVG, ready to sit in HTML (no XML prolog).
QString InlineSvg(const QByteArray& svg);

// The reference list of GetTabela("REFEBIBL"): code, name, citation.
struct Referencia {
  QString codigo, nome, citacao, fonte, licenca;
};
QList<Referencia> Referencias(Calls& calls);

// The tables' report sections by table ("idade", "altura", "nchs").
struct Coluna {
  QString field, title, format, band;
};
struct Secao {
  QString table, title;
  QList<Coluna> columns;
};
QList<Secao> LeSecoes(const QString& reportFile);

Page PaginaReferencias(const Request& r);
Page PaginaTabela(const Request& r, const QList<Secao>& secoes);
Page PaginaCurvas(const Request& r);
Page PaginaAvaliacao(const Request& r);

}  // namespace web
