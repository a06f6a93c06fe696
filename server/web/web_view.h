#pragma once
// The server's read-only web view under /web/: sign-in into a cookie, the
// references, their tables and curves, and the assessment of a child, every
// page through the same tokens, roles and methods as a JSON-RPC call.

#include "server/web_hook.h"

#include <QString>

#include <functional>
#include <memory>

namespace web {

// Where the web view's files (HTML, CSS, JavaScript) and the tables' report
// definition are read from.
struct Files {
  QString dir;     // pagina.html, entrar.html, estilo.css, web.js
  QString report;  // QEL536.json: the tables' columns as the report prints them
};

// An installed copy's files (<prefix>/share/tabrelpeso-server/web), else the
// repository's.
Files DefaultFiles();

// For srv::ServerOptions::web. Throws std::runtime_error naming the file when
// one cannot be read.
std::function<std::unique_ptr<srv::WebView>(const srv::WebAccess&)> Factory(const Files& files);

}  // namespace web
