// Database addresses read by libpq's own parser, and the one way they are shown.
#include "server/storage.h"

#include <QRegularExpression>

#include <libpq-fe.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace srv {

namespace {

bool IsUri(const QString& target) {
  return target.startsWith(QLatin1String("postgresql://")) ||
         target.startsWith(QLatin1String("postgres://"));
}

struct Options {
  std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> list{nullptr, &PQconninfoFree};
  explicit operator bool() const { return bool(list); }
};

Options Parse(const QString& target) {
  char* error = nullptr;
  Options o;
  o.list.reset(PQconninfoParse(target.toUtf8().constData(), &error));
  // libpq's message quotes the text it could not read, password included.
  PQfreemem(error);
  return o;
}

// A URL whose '@' libpq would not take where the writer meant it: a raw '/'
// or '@' in a password moves the password into the host or the database name.
bool Ambiguous(const QString& target) {
  if (!IsUri(target)) return false;
  const qsizetype start = target.indexOf(QLatin1String("://")) + 3;
  qsizetype query = target.indexOf(u'?', start);
  if (query < 0) query = target.size();
  const QStringView before = QStringView(target).mid(start, query - start);
  const qsizetype slash = before.indexOf(u'/');
  const QStringView authority = slash < 0 ? before : before.left(slash);
  return authority.count(u'@') > 1 || (slash >= 0 && before.mid(slash).contains(u'@'));
}

bool Secret(const PQconninfoOption& o) { return o.dispchar && std::strchr(o.dispchar, '*'); }

}  // namespace

bool IsPostgresUrl(const QString& target) {
  // A keyword/value string ("host=... dbname=...") is libpq's other form.
  static const QRegularExpression keyword(QStringLiteral("^\\s*[A-Za-z_]+\\s*="));
  return IsUri(target) || keyword.match(target).hasMatch();
}

QString ShownTarget(const QString& target) {
  if (!IsPostgresUrl(target)) return target;
  const Options o = Parse(target);
  if (!o || Ambiguous(target))
    return IsUri(target) ? target.left(target.indexOf(QLatin1String("://")) + 3) +
                               QStringLiteral("(endereço ilegível)")
                         : QStringLiteral("(endereço PostgreSQL ilegível)");
  QString user, host, port, dbname;
  std::vector<std::pair<QString, QString>> rest;
  for (const PQconninfoOption* p = o.list.get(); p->keyword; ++p) {
    if (!p->val || Secret(*p)) continue;
    const QString key = QString::fromUtf8(p->keyword), val = QString::fromUtf8(p->val);
    if (key == QLatin1String("user"))
      user = val;
    else if (key == QLatin1String("host") && !val.contains(u','))
      host = val;
    else if (key == QLatin1String("port") && !val.contains(u','))
      port = val;
    else if (key == QLatin1String("dbname"))
      dbname = val;
    else
      rest.emplace_back(key, val);
  }
  if (!IsUri(target)) {
    QStringList parts;
    for (const auto& [k, v] : std::initializer_list<std::pair<const char*, QString>>{
             {"host", host}, {"port", port}, {"dbname", dbname}, {"user", user}})
      if (!v.isEmpty()) parts << QStringLiteral("%1=%2").arg(QLatin1String(k), v);
    for (const auto& [k, v] : rest) parts << k + u'=' + v;
    return parts.join(u' ');
  }
  QString shown = QStringLiteral("postgresql://");
  if (!user.isEmpty()) shown += user + u'@';
  shown += host.contains(u':') ? u'[' + host + u']' : host;
  if (!port.isEmpty()) shown += u':' + port;
  shown += u'/' + dbname;
  for (size_t i = 0; i < rest.size(); ++i)
    shown += (i == 0 ? u'?' : u'&') + rest[i].first + u'=' + rest[i].second;
  return shown;
}

void CheckPostgresAddress(const QString& target) {
  if (Ambiguous(target))
    throw DbError(DbError::Kind::Connection,
                  "O endereço do PostgreSQL tem '@' ou '/' fora do lugar: num nome de usuário ou "
                  "numa senha escreva '@' como %40 e '/' como %2F.");
  if (!Parse(target))
    throw DbError(DbError::Kind::Connection,
                  "O endereço do PostgreSQL não pôde ser lido: use postgresql://usuario@servidor:"
                  "porta/banco ou palavras-chave como host=servidor dbname=banco user=usuario "
                  "(valores com espaços entre aspas simples).");
}

std::string HideSecrets(std::string text, const QString& target) {
  std::vector<std::string> secrets;
  if (const Options o = Parse(target))
    for (const PQconninfoOption* p = o.list.get(); p->keyword; ++p)
      if (p->val && *p->val && Secret(*p)) secrets.emplace_back(p->val);
  if (const char* env = std::getenv("PGPASSWORD"); env && *env) secrets.emplace_back(env);
  for (const std::string& s : secrets)
    for (size_t at = text.find(s); at != std::string::npos; at = text.find(s, at + 3))
      text.replace(at, s.size(), "***");
  return text;
}

}  // namespace srv
