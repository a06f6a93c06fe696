// The web view's door: the session cookie, the security headers, the
// routes and the files.

#include "server/web/web_view.h"

#include "server/web/web_p.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <map>
#include <stdexcept>

namespace web {

namespace {

const char* const kCookie = "trp_sessao";
// A ward's shift: the browser forgets the token after it.
const int kCookieSeconds = 8 * 3600;
// No script but our own file, no inline style, nothing from elsewhere, never
// inside another site's frame.
const char* const kPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "form-action 'self'; frame-ancestors 'none'; base-uri 'none'";

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly))
    throw std::runtime_error(QStringLiteral("Não foi possível ler o arquivo da interface web "
                                            "'%1': %2")
                                 .arg(path, f.errorString())
                                 .toStdString());
  return f.readAll();
}

std::string CookieValue(const httplib::Request& req) {
  const std::string cookies = req.get_header_value("Cookie");
  const std::string key = std::string(kCookie) + "=";
  size_t at = 0;
  while (at < cookies.size()) {
    while (at < cookies.size() && (cookies[at] == ' ' || cookies[at] == ';')) ++at;
    const size_t end = std::min(cookies.find(';', at), cookies.size());
    if (cookies.compare(at, key.size(), key) == 0)
      return cookies.substr(at + key.size(), end - at - key.size());
    at = end;
  }
  return {};
}

int StatusOf(const srv::RpcError& e) {
  switch (e.code()) {
    case srv::RpcError::Busy:
      return 503;
    case srv::RpcError::Forbidden:
      return 403;
    case srv::RpcError::InvalidParams:
    case srv::RpcError::Refused:
      return 400;
    default:
      return 500;
  }
}

class Site : public srv::WebView {
 public:
  Site(const srv::WebAccess& access, const Files& files)
      : access_(access),
        page_(QString::fromUtf8(ReadFile(files.dir + QStringLiteral("/pagina.html")))),
        signIn_(QString::fromUtf8(ReadFile(files.dir + QStringLiteral("/entrar.html")))),
        secoes_(LeSecoes(files.report)) {
    for (const char* name : {"estilo.css", "web.js"})
      static_[std::string("/web/") + name] = ReadFile(files.dir + u'/' + QLatin1String(name));
  }

  bool AcceptsBody(const httplib::Request& req, httplib::Response& res) override {
    // A sign-in form is a line; nothing posted here is larger than a form.
    const std::string length = req.get_header_value("Content-Length");
    if (length.empty() || length.size() > 5 || std::stoul(length) > 8192) {
      Secure(res);
      res.status = length.empty() ? 411 : 413;
      res.set_content(Html(QStringLiteral("Formulário inválido"),
                           QStringLiteral("<p class=\"erro\">Formulário grande demais ou sem "
                                          "tamanho; nada foi lido.</p>"))
                          .toStdString(),
                      "text/html; charset=utf-8");
      return false;
    }
    if (req.path == "/web/entrar" || req.path == "/web/sair") return true;
    if (Signed(req)) return true;
    Secure(res);
    res.status = 401;
    res.set_content(SignInPage(QStringLiteral("Entre com sua credencial.")),
                    "text/html; charset=utf-8");
    Log(req, "error 401");
    return false;
  }

  void Serve(const httplib::Request& req, httplib::Response& res) override {
    const auto started = std::chrono::steady_clock::now();
    Secure(res);
    std::string outcome = "ok";
    if (const auto file = static_.find(req.path); file != static_.end()) {
      res.set_header("Cache-Control", "no-cache");
      res.set_content(file->second.constData(), size_t(file->second.size()),
                      req.path.ends_with(".css") ? "text/css; charset=utf-8"
                                                 : "text/javascript; charset=utf-8");
      return;
    }
    if (req.path == "/web/entrar") {
      if (req.method == "POST")
        outcome = SignIn(req, res);
      else
        res.set_content(SignInPage({}), "text/html; charset=utf-8");
      return Log(req, outcome, started);
    }
    if (req.path == "/web/sair") {
      res.set_header("Set-Cookie", Cookie("", 0));
      return Redirect(res, "/web/entrar");
    }
    const srv::Token* who = Signed(req);
    if (!who) {
      Redirect(res, "/web/entrar");
      return Log(req, "error sem credencial", started);
    }
    Calls calls(*access_.service, srv::Caller{who->name, who->role == QLatin1String("maintainer")});
    httplib::Params params = req.params;
    if (req.method == "POST" && params.empty()) httplib::detail::parse_query_text(req.body, params);
    const Request r{req, calls, params};
    Page page;
    try {
      if (req.path == "/web" || req.path == "/web/") return Redirect(res, "/web/referencias");
      if (req.path == "/web/referencias")
        page = PaginaReferencias(r);
      else if (req.path == "/web/tabela")
        page = PaginaTabela(r, secoes_);
      else if (req.path == "/web/curvas")
        page = PaginaCurvas(r);
      else if (req.path == "/web/avaliacao")
        page = PaginaAvaliacao(r);
      else
        page = {404, QStringLiteral("Página não encontrada"),
                QStringLiteral("<p class=\"erro\">Esta página não existe.</p>")};
    } catch (const srv::RpcError& e) {
      page = {StatusOf(e), QStringLiteral("Não foi possível mostrar a página"),
              QStringLiteral("<p class=\"erro\">%1</p>").arg(Esc(e.message()))};
    } catch (const std::exception& e) {
      page = {500, QStringLiteral("Não foi possível mostrar a página"),
              QStringLiteral("<p class=\"erro\">Falha interna do servidor: %1</p>")
                  .arg(Esc(QString::fromUtf8(e.what())))};
    }
    if (page.status != 200) outcome = "error " + std::to_string(page.status);
    res.status = page.status;
    res.set_content(Html(page.title, page.body, who->name).toStdString(),
                    "text/html; charset=utf-8");
    Log(req, outcome, started);
  }

 private:
  static void Secure(httplib::Response& res) {
    res.set_header("Content-Security-Policy", kPolicy);
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Referrer-Policy", "no-referrer");
    // A child's data and a reader's pages stay out of shared caches and history.
    res.set_header("Cache-Control", "no-store");
  }

  static void Redirect(httplib::Response& res, const char* to) {
    res.status = 303;
    res.set_header("Location", to);
  }

  std::string Cookie(const std::string& value, int seconds) const {
    std::string c = std::string(kCookie) + "=" + value +
                    "; Path=/web; Max-Age=" + std::to_string(seconds) +
                    "; HttpOnly; SameSite=Strict";
    if (access_.tls) c += "; Secure";
    return c;
  }

  const srv::Token* Signed(const httplib::Request& req) const {
    const std::string value = CookieValue(req);
    return value.empty() ? nullptr : access_.token(value);
  }

  std::string SignIn(const httplib::Request& req, httplib::Response& res) {
    httplib::Params form;
    httplib::detail::parse_query_text(req.body, form);
    const auto it = form.find("credencial");
    const std::string token = it == form.end() ? std::string() : it->second;
    // Only what a cookie may carry: a token with anything else is not ours.
    const bool plain = !token.empty() && token.find_first_of(" ;,\"\\\r\n\t") == std::string::npos;
    if (!plain || !access_.token(token)) {
      res.status = 401;
      res.set_content(SignInPage(QStringLiteral("Credencial inválida.")),
                      "text/html; charset=utf-8");
      return "error credencial inválida";
    }
    res.set_header("Set-Cookie", Cookie(token, kCookieSeconds));
    Redirect(res, "/web/referencias");
    return "ok";
  }

  std::string SignInPage(const QString& message) const {
    QString html = signIn_;
    html.replace(QStringLiteral("{{mensagem}}"),
                 message.isEmpty() ? QString()
                                   : QStringLiteral("<p class=\"erro\">%1</p>").arg(Esc(message)));
    return html.toStdString();
  }

  QString Html(const QString& title, const QString& body, const QString& user = {}) const {
    QString html = page_;
    html.replace(QStringLiteral("{{usuario}}"), Esc(user));
    html.replace(QStringLiteral("{{titulo}}"), Esc(title));
    html.replace(QStringLiteral("{{conteudo}}"), body);
    return html;
  }

  void Log(const httplib::Request& req, const std::string& outcome,
           std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now()) {
    access_.log(
        "web " + req.method + " " + req.path.substr(0, 60),
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count(),
        outcome);
  }

  srv::WebAccess access_;
  QString page_, signIn_;
  QList<Secao> secoes_;
  std::map<std::string, QByteArray> static_;
};

}  // namespace

Files DefaultFiles() {
  const QString installed =
      QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tabrelpeso-server/web");
  if (QFileInfo::exists(installed + QStringLiteral("/pagina.html")))
    return {QDir::cleanPath(installed),
            QDir::cleanPath(installed + QStringLiteral("/QEL536.json"))};
  const QString source = QStringLiteral(TRP_SOURCE_DIR);
  return {source + QStringLiteral("/server/web/files"),
          source + QStringLiteral("/reports/QEL536.json")};
}

std::function<std::unique_ptr<srv::WebView>(const srv::WebAccess&)> Factory(const Files& files) {
  return [files](const srv::WebAccess& access) -> std::unique_ptr<srv::WebView> {
    return std::make_unique<Site>(access, files);
  };
}

}  // namespace web
