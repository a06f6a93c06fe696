// The deployment for many workstations: two tabrelpeso-server processes over
// one PostgreSQL behind HAProxy, started by scripts/start-balanced. Eight
// workstations send the screens' call sequences through the balancer while one
// instance is killed and started again; afterwards the audit accounts for
// every acknowledged change and nothing else, no change was applied over a row
// its sender had not seen, and the tables are what the audited changes made.

#include "own_cluster.h"
#include "support.h"

#include "framework/net/netconnection.h"
#include "server/tables.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

using namespace srvtest;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWorkstations = 8;
constexpr int kOperations = 500;  // per workstation
const QStringList kRefs{"02", "03"};
const QStringList kPercs{"050", "085", "097"};

QString SourceDir() {
  const QString env = qEnvironmentVariable("TRP_SOURCE_DIR");
  return env.isEmpty() ? QStringLiteral(TRP_SOURCE_DIR) : env;
}

QString HaproxyPath() {
  QString path = QStandardPaths::findExecutable("haproxy");
  if (path.isEmpty()) path = QStandardPaths::findExecutable("haproxy", {"/usr/sbin", "/sbin"});
  return path;
}

// A clock for the log lines of the run.
long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
             .count() %
         1000000;
}

// Status of GET /health on a loopback port, 0 when nothing answers.
int HealthStatus(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(uint16_t(port));
  inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
  int status = 0;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    const std::string request = "GET /health HTTP/1.0\r\nHost: x\r\n\r\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
      char buf[64] = {};
      if (::recv(fd, buf, sizeof buf - 1, MSG_WAITALL) > 12 && std::string_view(buf, 5) == "HTTP/")
        status = std::atoi(buf + 9);
    }
  }
  ::close(fd);
  return status;
}

// True once the process has ended and its port refuses connections (its
// threads may still be closing sockets after the main one is a zombie).
bool InstanceGone(pid_t pid, int port) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (status.open(QIODevice::ReadOnly))
    for (QByteArray line; !(line = status.readLine()).isEmpty();)
      if (line.startsWith("State:") && !line.contains('Z')) return false;
  return HealthStatus(port) == 0;
}

bool WaitHealthy(int port, int seconds) {
  const auto until = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < until) {
    if (HealthStatus(port) == 200) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// scripts/start-balanced in the foreground, stopped (with what it started)
// by SIGTERM when the test ends.
class Deployment {
 public:
  ~Deployment() {
    if (proc_.state() != QProcess::NotRunning) {
      proc_.terminate();
      if (!proc_.waitForFinished(15000)) proc_.kill();
    }
    QProcess::execute("bash", {SourceDir() + "/scripts/stop-balanced", dir_.path()});
  }
  // Empty when the balancer answers, otherwise what went wrong.
  QString Start(const QString& database, const QString& tokens, int instances) {
    port = FreeLoopbackPort();
    for (int i = 0; i < instances; ++i) ports.append(FreeLoopbackPort());
    QStringList list;
    for (int p : ports) list.append(QString::number(p));
    proc_.setProcessChannelMode(QProcess::MergedChannels);
    proc_.start("bash",
                {SourceDir() + "/scripts/start-balanced", "--db", database, "--tokens", tokens,
                 "--listen", QString::number(port), "--ports", list.join(','), "--dir", dir_.path(),
                 "--server", QStringLiteral(TRP_SERVER_EXE), "--check-ms", "300"});
    QString out;
    while (proc_.waitForReadyRead(60000) || proc_.canReadLine()) {
      while (proc_.canReadLine()) {
        const QString line = QString::fromUtf8(proc_.readLine());
        out += line;
        if (line.startsWith("ready ")) return {};
      }
      if (proc_.state() == QProcess::NotRunning) break;
    }
    return out + QString::fromUtf8(proc_.readAll());
  }
  pid_t InstancePid(int i) const {
    QFile f(dir_.filePath(QStringLiteral("server-%1.pid").arg(i + 1)));
    return f.open(QIODevice::ReadOnly) ? pid_t(f.readAll().trimmed().toInt()) : 0;
  }
  QString HaproxyConfig() const {
    QFile f(dir_.filePath("haproxy.cfg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }
  int port = 0;
  QList<int> ports;

 private:
  QTemporaryDir dir_;
  QProcess proc_;
};

// ---------------------------------------------------------------- rows

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

const srv::TableDef* TableOf(const QString& name) {
  for (const srv::TableDef* t : srv::AllTables())
    if (name == QLatin1String(t->name)) return t;
  return nullptr;
}

std::string Number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

// A row as text, column by column, so that rows from the database, from an
// audit record and from a client compare alike.
std::string RowText(const srv::TableDef& t, const QJsonObject& row) {
  std::string out;
  for (const srv::ColumnDef& c : t.columns) {
    const QJsonValue v = row.value(QLatin1String(c.name));
    out += v.isString()   ? "'" + v.toString().toStdString() + "'"
           : v.isDouble() ? Number(v.toDouble())
                          : std::string("null");
    out += '|';
  }
  return out;
}

QJsonObject ObjectOf(const srv::TableDef& t, const QJsonArray& row) {
  QJsonObject o;
  for (size_t i = 0; i < t.columns.size(); ++i) o.insert(t.columns[i].name, row[qsizetype(i)]);
  return o;
}

std::string KeyText(const srv::TableDef& t, const QJsonObject& row) {
  std::string out = t.name;
  for (const char* k : t.keyOrder) {
    const QJsonValue v = row.value(QLatin1String(k));
    out += '|' + (v.isString() ? v.toString().toStdString() : Number(v.toDouble()));
  }
  return out;
}

// Every row of the three tables: key -> row text.
std::map<std::string, std::string> TableRows(const QString& database) {
  auto db = srv::OpenDb(database);
  std::map<std::string, std::string> rows;
  for (const srv::TableDef* t : srv::AllTables()) {
    std::string sql = "SELECT ";
    for (size_t i = 0; i < t->columns.size(); ++i)
      sql += (i ? ", " : "") + std::string(t->columns[i].name);
    sql += " FROM " + std::string(t->name);
    db->run(sql, {}, [&](const srv::SqlRow& r) {
      QJsonObject o;
      for (size_t i = 0; i < t->columns.size(); ++i) {
        const srv::ColumnDef& c = t->columns[i];
        if (r.isNull(int(i)))
          o.insert(c.name, QJsonValue::Null);
        else if (c.kind == srv::ColumnDef::Kind::Code)
          o.insert(c.name, Text(r.text(int(i))));
        else
          o.insert(c.name, r.real(int(i)));
      }
      rows[KeyText(*t, o)] = RowText(*t, o);
    });
  }
  return rows;
}

struct AuditRow {
  QString user, method;
  const srv::TableDef* table = nullptr;
  QJsonObject old, neu;  // empty when absent
  bool hasOld = false, hasNew = false;
};

std::int64_t LastAuditNumber(const QString& database) {
  auto db = srv::OpenDb(database);
  return srv::QueryInt(*db, "SELECT COALESCE(MAX(NRAUDITORIA), 0) FROM AUDITORIA", {}, 0);
}

// The audit rows numbered after `since`, in their order.
std::vector<AuditRow> AuditRows(const QString& database, std::int64_t since) {
  auto db = srv::OpenDb(database);
  std::vector<AuditRow> rows;
  db->run(
      "SELECT NMUSUARIO, NMMETODO, NMTABELA, DSANTERIOR, DSNOVO FROM AUDITORIA WHERE "
      "NRAUDITORIA > ? ORDER BY NRAUDITORIA",
      {since}, [&](const srv::SqlRow& r) {
        AuditRow a;
        a.user = Text(r.text(0));
        a.method = Text(r.text(1));
        a.table = TableOf(Text(r.text(2)));
        a.hasOld = !r.isNull(3);
        a.hasNew = !r.isNull(4);
        if (a.hasOld)
          a.old = QJsonDocument::fromJson(QByteArray(r.text(3).data(), qsizetype(r.text(3).size())))
                      .object();
        if (a.hasNew)
          a.neu = QJsonDocument::fromJson(QByteArray(r.text(4).data(), qsizetype(r.text(4).size())))
                      .object();
        rows.push_back(std::move(a));
      });
  return rows;
}

// ---------------------------------------------------------- workstations

enum class Outcome { Ok, Conflict, Refused, Busy, InDoubt, Failed };

Outcome OutcomeOf(const Response& r) {
  if (r.ok()) return Outcome::Ok;
  if (r.status == 200 && r.body.contains("error")) {
    const int code = r.body.value("error").toObject().value("code").toInt();
    if (code == -32001) return Outcome::Conflict;
    if (code == -32000) return Outcome::Refused;
    // PostgreSQL broke a deadlock (a copy and a deletion locking one
    // percentile's rows in different orders): reported, nothing changed.
    if (code == -32004) return Outcome::Busy;
    return Outcome::Failed;
  }
  // No answer, or the balancer's own (502 when the instance died mid-call):
  // the change may or may not have been made.
  return Outcome::InDoubt;
}

// A changing call as its workstation saw it.
struct Change {
  const srv::TableDef* table = nullptr;
  QString method;
  Outcome outcome = Outcome::Ok;
  // Set calls: the audit rows it must have written, (old, new) row texts.
  std::vector<std::pair<std::string, std::string>> expected;
  // Deleta and Copia: the pair whose rows it removed or wrote.
  QString ref, perc;
};

struct Figures {
  int calls = 0, operations = 0, conflicts = 0, refused = 0, busy = 0, inDoubt = 0, failed = 0;
  int maxFailuresInARow = 0;
  // Failed calls other than those in progress, or sent, while the killed
  // instance's process was ending.
  int failedOutsideTheKill = 0;
  QStringList failures, unanswered;
};

class Workstation {
 public:
  Workstation(int index, int port, const std::atomic<bool>& killed, const std::atomic<bool>& gone)
      : index_(index),
        client_(port, Token(index)),
        rng_(std::uint32_t(1234 + index)),
        killed_(killed),
        gone_(gone) {}
  static QString Token(int i) { return QStringLiteral("estacao-%1-token").arg(i + 1); }
  static QString User(int i) { return QStringLiteral("estacao%1").arg(i + 1); }

  void Operation() {
    const srv::TableDef& t = *srv::AllTables()[Pick(3)];
    const int kind = Pick(100);
    ++figures.operations;
    if (kind < 20 || view_[t.name].empty())
      Load(t);
    else if (kind < 45)
      InsertRows(t);
    else if (kind < 70)
      EditRow(t);
    else if (kind < 85)
      DeleteRow(t);
    else if (kind < 91)
      DeletePercentile(t);
    else
      CopyPercentile(t);
  }

  Figures figures;
  std::vector<Change> changes;

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  const QString& PickRef() { return kRefs[Pick(int(kRefs.size()))]; }
  const QString& PickPerc() { return kPercs[Pick(int(kPercs.size()))]; }

  Response Call(const QString& method, const QJsonArray& params = {}) {
    const bool sentAfterTheEnd = gone_;
    const Response r = client_.Call(method, params);
    const bool answeredAfterTheKill = killed_;
    ++figures.calls;
    const Outcome o = OutcomeOf(r);
    if (o == Outcome::InDoubt || o == Outcome::Failed) {
      figures.failedOutsideTheKill += sentAfterTheEnd || !answeredAfterTheKill;
      figures.maxFailuresInARow = std::max(figures.maxFailuresInARow, ++failuresInARow_);
      if (o == Outcome::InDoubt) {
        ++figures.inDoubt;
        figures.unanswered.append(
            QStringLiteral("%1 HTTP %2 at %3 ms").arg(method).arg(r.status).arg(NowMs()));
      } else {
        ++figures.failed;
        figures.failures.append(method + ": " + r.error());
      }
    } else {
      failuresInARow_ = 0;
    }
    return r;
  }

  // The screen's load: references, then the table's pair; the rows of the
  // simulated pairs become what this workstation edits next.
  void Load(const srv::TableDef& t) {
    Call("GetReferencia");
    Reload(t);
  }
  void Reload(const srv::TableDef& t) {
    const Response r = Call(t.getPerc);
    if (!r.ok()) return;
    const QJsonObject rows = r.result().toArray()[1].toObject();
    std::vector<int> column;
    const QJsonArray fields = rows.value("fields").toArray();
    for (const srv::ColumnDef& c : t.columns) {
      int at = -1;
      for (qsizetype i = 0; i < fields.size(); ++i)
        if (fields[i].toObject().value("name").toString() == QLatin1String(c.name)) at = int(i);
      column.push_back(at);
    }
    auto& view = view_[t.name];
    view.clear();
    const int refAt = column[size_t(t.columnIndex("CDREFEBIBL"))];
    const int percAt = column[size_t(t.columnIndex("CDPERCENTIL"))];
    for (const QJsonValue v : rows.value("rows").toArray()) {
      const QJsonArray a = v.toArray();
      if (!kRefs.contains(a[refAt].toString()) || !kPercs.contains(a[percAt].toString())) continue;
      QJsonArray row;
      for (int at : column) row.append(a[at]);
      view.push_back(row);
    }
  }

  QJsonArray NewRow(const srv::TableDef& t, const QString& ref, const QString& perc, int key) {
    const double tag = index_ * 100 + (figures.operations % 100);
    QJsonArray row;
    for (size_t i = 0; i < t.columns.size(); ++i) {
      const srv::ColumnDef& c = t.columns[i];
      if (c.name == std::string_view("CDREFEBIBL"))
        row.append(ref);
      else if (c.name == std::string_view("CDPERCENTIL"))
        row.append(perc);
      else if (c.name == std::string_view(srv::kMonths))
        row.append(key % 12);
      else if (c.name == std::string_view(srv::kYears))
        row.append(key / 12);
      else if (c.key)
        row.append(50 + 0.5 * key);
      else
        row.append(tag + 0.125 * double(i));
    }
    return row;
  }

  void Record(const srv::TableDef& t, const QString& method, const Response& r,
              std::vector<std::pair<std::string, std::string>> expected, const QString& ref = {},
              const QString& perc = {}) {
    Change c{&t, method, OutcomeOf(r), std::move(expected), ref, perc};
    if (c.outcome == Outcome::Conflict) ++figures.conflicts;
    if (c.outcome == Outcome::Refused) ++figures.refused;
    if (c.outcome == Outcome::Busy) ++figures.busy;
    changes.push_back(std::move(c));
  }

  // Saves a delta as the screen does, then reloads the table.
  void Save(const srv::TableDef& t, const QJsonArray& deltaChanges,
            std::vector<std::pair<std::string, std::string>> expected) {
    const Response r = Call(t.set, {Delta(t.name, deltaChanges)});
    Record(t, t.set, r, std::move(expected));
    Reload(t);
  }

  // New rows on one pair, each key checked first as the screen's field exit does.
  void InsertRows(const srv::TableDef& t) {
    const QString ref = PickRef(), perc = PickPerc();
    const int keys = t.id == srv::TableId::Age ? 24 : 11;
    QJsonArray delta;
    std::vector<std::pair<std::string, std::string>> expected;
    std::set<int> used;
    for (int n = 1 + Pick(2); n > 0; --n) {
      const int key = Pick(keys);
      if (!used.insert(key).second) continue;
      const QJsonArray row = NewRow(t, ref, perc, key);
      const Response check =
          t.id == srv::TableId::Age
              ? Call(t.valida, {ref, perc, key / 12, key % 12})
              : Call(t.valida, {ref, perc, QString::number(50 + 0.5 * key).replace('.', ',')});
      if (!check.ok() || !Rows(check.result()).isEmpty()) continue;
      delta.append(Insert(row));
      expected.emplace_back("", RowText(t, ObjectOf(t, row)));
    }
    if (!delta.isEmpty()) Save(t, delta, std::move(expected));
  }

  void EditRow(const srv::TableDef& t) {
    const auto& view = view_[t.name];
    const QJsonArray old = view[size_t(Pick(int(view.size())))];
    const int keyOf =
        t.id == srv::TableId::Age
            ? old[3].toInt() * 12 + old[2].toInt()
            : int(std::lround((old[t.columnIndex(t.keyOrder[2])].toDouble() - 50) * 2));
    const QJsonArray neu = NewRow(t, old[t.columnIndex("CDREFEBIBL")].toString(),
                                  old[t.columnIndex("CDPERCENTIL")].toString(), keyOf);
    Save(t, {Update(old, neu)}, {{RowText(t, ObjectOf(t, old)), RowText(t, ObjectOf(t, neu))}});
  }

  void DeleteRow(const srv::TableDef& t) {
    const auto& view = view_[t.name];
    const QJsonArray old = view[size_t(Pick(int(view.size())))];
    Save(t, {Remove(old)}, {{RowText(t, ObjectOf(t, old)), ""}});
  }

  void DeletePercentile(const srv::TableDef& t) {
    const QString ref = PickRef(), perc = PickPerc();
    const Response r = Call(t.deleta, {ref, perc, ""});
    Record(t, t.deleta, r, {}, ref, perc);
    Reload(t);
  }

  // The copy dialog: the percentiles without rows, then the copy.
  void CopyPercentile(const srv::TableDef& t) {
    const QString ref = PickRef(), origin = PickPerc();
    const Response free = Call(t.percentil, {ref});
    if (!free.ok()) return;
    QStringList destinations;
    for (const QJsonValue v : Rows(free.result())) {
      const QString p = v.toArray()[0].toString();
      if (kPercs.contains(p) && p != origin) destinations.append(p);
    }
    if (destinations.isEmpty()) return;
    const QString dest = destinations[Pick(int(destinations.size()))];
    const Response r = Call(t.copia, {ref, dest, origin});
    Record(t, t.copia, r, {}, ref, dest);
    Reload(t);
  }

  int index_;
  Client client_;
  std::mt19937 rng_;
  std::map<std::string, std::vector<QJsonArray>> view_;
  int failuresInARow_ = 0;
  const std::atomic<bool>& killed_;
  const std::atomic<bool>& gone_;
};

// Walks one workstation's changing calls against its audit rows, in order:
// returns how many audit rows they account for, or -1 (with a message) at
// the first call the audit contradicts. A Set call's rows are known exactly;
// a copy or a deletion of a percentile takes the rows of its method and pair
// that follow. Two copies to the same pair whose rows meet in the audit
// cannot be told apart: such a run must hold at least a row per copy.
int AccountFor(const std::vector<Change>& changes, const std::vector<const AuditRow*>& audit,
               int* keptInDoubt, std::string* why) {
  size_t at = 0;
  std::string runKey;
  size_t runRows = 0;
  int runCopies = 0;
  auto runHolds = [&] {
    if (size_t(runCopies) <= runRows) return true;
    *why = std::to_string(runCopies) + " acknowledged copies (" + runKey + ") wrote " +
           std::to_string(runRows) + " audit rows";
    return false;
  };
  auto next = [&] {
    return at < audit.size()
               ? " (next audit row: " + audit[at]->method.toStdString() + " " +
                     QJsonDocument(audit[at]->hasOld ? audit[at]->old : audit[at]->neu)
                         .toJson(QJsonDocument::Compact)
                         .toStdString() +
                     ")"
               : std::string(" (no audit row left)");
  };
  for (size_t n = 0; n < changes.size(); ++n) {
    const Change& c = changes[n];
    const srv::TableDef& t = *c.table;
    auto same = [&](const AuditRow& a) { return a.method == c.method && a.table == c.table; };
    if (c.method == QLatin1String(t.set)) {
      bool all = at + c.expected.size() <= audit.size();
      for (size_t i = 0; all && i < c.expected.size(); ++i) {
        const AuditRow& a = *audit[at + i];
        all = same(a) && (a.hasOld ? RowText(t, a.old) : "") == c.expected[i].first &&
              (a.hasNew ? RowText(t, a.neu) : "") == c.expected[i].second;
      }
      if (c.outcome == Outcome::Ok && !all) {
        *why = "acknowledged call " + std::to_string(n) + " (" + c.method.toStdString() +
               ") has no matching audit rows" + next();
        return -1;
      }
      if (c.outcome == Outcome::InDoubt && all) ++*keptInDoubt;
      if (c.outcome == Outcome::Ok || (c.outcome == Outcome::InDoubt && all)) {
        if (!runHolds()) return -1;
        runKey.clear();
        runRows = 0;
        runCopies = 0;
        at += c.expected.size();
      }
      continue;
    }
    if (c.outcome != Outcome::Ok && c.outcome != Outcome::InDoubt) continue;
    const bool deleting = c.method == QLatin1String(t.deleta);
    const size_t first = at;
    while (at < audit.size()) {
      const AuditRow& a = *audit[at];
      const QJsonObject& row = deleting ? a.old : a.neu;
      if (!same(a) || a.hasOld != deleting || a.hasNew == deleting ||
          row.value("CDREFEBIBL").toString() != c.ref ||
          row.value("CDPERCENTIL").toString() != c.perc)
        break;
      ++at;
    }
    const std::string key =
        c.method.toStdString() + " " + c.ref.toStdString() + "/" + c.perc.toStdString();
    const int copy = c.outcome == Outcome::Ok && !deleting;
    if (at > first) {
      if (c.outcome == Outcome::InDoubt) ++*keptInDoubt;
      if (!runHolds()) return -1;
      runKey = key;
      runRows = at - first;
      runCopies = copy;
    } else if (copy) {
      if (key != runKey) {
        *why = "acknowledged copy " + std::to_string(n) + " (" + key + ") wrote no audit rows" +
               next();
        return -1;
      }
      ++runCopies;
    }
  }
  return runHolds() ? int(at) : -1;
}

// Calls through the balancer with the host's own connection while an
// instance is dead: each failure is followed by a success.
struct Failover {
  int calls = 0, failures = 0, maxInARow = 0;
  QStringList errors;
};

Failover HostConnectionCalls(int port, int count) {
  fw::TNetConnection net(QStringLiteral("netTabRelPeso"));
  net.SetServerName(QStringLiteral("Qel53600.rdmTabRelPeso"));
  net.SetHost(QStringLiteral("127.0.0.1"));
  net.SetPort(port);
  net.SetToken(Workstation::Token(0));
  Failover f;
  int inARow = 0;
  for (int i = 0; i < count; ++i) {
    const fw::ServerResult r =
        net.Call(i % 2 ? QStringLiteral("GetReferencia") : QStringLiteral("GetPercAltura"));
    ++f.calls;
    if (r.ok) {
      inARow = 0;
    } else {
      ++f.failures;
      f.errors.append(r.error);
      f.maxInARow = std::max(f.maxInARow, ++inARow);
    }
  }
  return f;
}

TEST(Balanced, WorkstationsThroughTheBalancerSurviveAKilledInstance) {
  if (PgAdminUrl().isEmpty())
    GTEST_SKIP() << "TRP_TEST_PG_URL is not set (run under scripts/with-test-postgres)";
  if (HaproxyPath().isEmpty())
    GTEST_SKIP() << "haproxy is not installed (scripts/install-deps installs it)";

  const QString db = Databases::Instance().Fresh(Engine::Postgres);
  QTemporaryDir dir;
  const QString tokens = dir.filePath("tokens");
  {
    std::ofstream out(tokens.toStdString());
    for (int i = 0; i < kWorkstations; ++i)
      out << Workstation::User(i).toStdString() << " maintainer "
          << Workstation::Token(i).toStdString() << "\n";
  }
  const std::map<std::string, std::string> before = TableRows(db);
  const std::int64_t auditBefore = LastAuditNumber(db);

  Deployment deployment;
  const QString why = deployment.Start(db, tokens, 2);
  ASSERT_TRUE(why.isEmpty()) << why.toStdString();
  const QString config = deployment.HaproxyConfig();
  EXPECT_TRUE(config.contains("option httpchk GET /health")) << config.toStdString();
  EXPECT_TRUE(config.contains("balance roundrobin")) << config.toStdString();

  // Both instances pass their health check before anything is killed.
  EXPECT_EQ(HealthStatus(deployment.ports[0]), 200);
  EXPECT_EQ(HealthStatus(deployment.ports[1]), 200);

  std::atomic<int> done{0};
  std::atomic<bool> restartedServing{false}, gaveUp{false}, killed{false}, instanceGone{false};
  std::vector<std::unique_ptr<Workstation>> stations;
  for (int i = 0; i < kWorkstations; ++i)
    stations.push_back(std::make_unique<Workstation>(i, deployment.port, killed, instanceGone));
  std::vector<std::thread> threads;
  threads.reserve(kWorkstations);
  const auto started = Clock::now();
  for (auto& s : stations)
    threads.emplace_back([&, ws = s.get()] {
      for (int i = 0; i < kOperations; ++i) {
        // The last quarter runs once the restarted instance takes calls again.
        if (i == kOperations * 3 / 4)
          while (!restartedServing && !gaveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ws->Operation();
        ++done;
      }
    });

  auto waitDone = [&](int count) {
    while (done < count) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  // A quarter in, the first instance dies without warning.
  waitDone(kWorkstations * kOperations / 4);
  const pid_t victim = deployment.InstancePid(0);
  killed = true;
  const int kills = victim > 0 && ::kill(victim, SIGKILL) == 0 ? 1 : 0;
  EXPECT_EQ(kills, 1) << "no pid of instance 1";
  std::printf("[ balanced ] instance 1 (pid %d) killed after %d operations at %lld ms\n",
              int(victim), done.load(), NowMs());
  // Calls in progress on it, or sent while its process was ending, may get
  // no answer; once it is gone, every call goes through.
  for (int i = 0; kills && i < 500 && !InstanceGone(victim, deployment.ports[0]); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  instanceGone = kills && InstanceGone(victim, deployment.ports[0]);
  EXPECT_TRUE(instanceGone);
  // The host's connection carries on through the other instance.
  const Failover failover = HostConnectionCalls(deployment.port, 20);

  // Halfway, it starts again on its port and rejoins once its checks pass.
  waitDone(kWorkstations * kOperations / 2);
  const QString restartedLog = dir.filePath("restarted.log");
  QProcess restarted;
  restarted.setStandardOutputFile(QProcess::nullDevice());
  restarted.setStandardErrorFile(restartedLog);
  restarted.start(QStringLiteral(TRP_SERVER_EXE),
                  {"--listen", QStringLiteral("127.0.0.1:%1").arg(deployment.ports[0]), "--db", db,
                   "--tokens", tokens, "--max-per-peer", "512", "--log", "info"});
  const bool restartedUp = restarted.waitForStarted(10000) && WaitHealthy(deployment.ports[0], 30);
  EXPECT_TRUE(restartedUp);
  auto servedCalls = [&] {
    QFile f(restartedLog);
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count(" ms ")) : 0;
  };
  // The workstations may all be waiting for it: calls of our own bring the
  // round robin to it once haproxy's checks see it up.
  {
    Client probe(deployment.port, Workstation::Token(0));
    const auto until = Clock::now() + std::chrono::seconds(30);
    while (restartedUp && servedCalls() == 0 && Clock::now() < until) {
      EXPECT_TRUE(probe.Call("GetReferencia").ok());
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  restartedServing = servedCalls() > 0;
  gaveUp = true;
  for (auto& t : threads) t.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  EXPECT_TRUE(restartedServing) << "the restarted instance never got a call through haproxy";
  const int servedByRestarted = servedCalls();

  // The accounts, straight from the database.
  const std::vector<AuditRow> audit = AuditRows(db, auditBefore);
  std::map<QString, std::vector<const AuditRow*>> byUser;
  for (const AuditRow& a : audit) byUser[a.user].push_back(&a);
  Figures total;
  int acknowledged = 0, keptInDoubt = 0, accounted = 0;
  for (int i = 0; i < kWorkstations; ++i) {
    const Workstation& ws = *stations[size_t(i)];
    SCOPED_TRACE(Workstation::User(i).toStdString());
    std::string mismatch;
    const auto& rows = byUser[Workstation::User(i)];
    const int used = AccountFor(ws.changes, rows, &keptInDoubt, &mismatch);
    EXPECT_EQ(used, int(rows.size()))
        << mismatch << " (audit rows of the workstation: " << rows.size() << ")";
    accounted += std::max(used, 0);
    for (const Change& c : ws.changes) acknowledged += c.outcome == Outcome::Ok;
    total.calls += ws.figures.calls;
    total.operations += ws.figures.operations;
    total.conflicts += ws.figures.conflicts;
    total.refused += ws.figures.refused;
    total.busy += ws.figures.busy;
    total.inDoubt += ws.figures.inDoubt;
    total.failed += ws.figures.failed;
    total.maxFailuresInARow = std::max(total.maxFailuresInARow, ws.figures.maxFailuresInARow);
    total.failedOutsideTheKill += ws.figures.failedOutsideTheKill;
    EXPECT_TRUE(ws.figures.failures.isEmpty()) << ws.figures.failures.join('\n').toStdString();
    if (!ws.figures.unanswered.isEmpty())
      std::printf("[ balanced ] %s without an answer: %s\n",
                  Workstation::User(i).toStdString().c_str(),
                  ws.figures.unanswered.join(", ").toStdString().c_str());
  }
  EXPECT_EQ(accounted, int(audit.size())) << "audit rows of no workstation's call";

  // Replaying the audit over the rows before gives the rows after; a change
  // whose original row was not the stored one would be a lost update.
  std::map<std::string, std::string> replay = before;
  int lostUpdates = 0;
  for (const AuditRow& a : audit) {
    ASSERT_NE(a.table, nullptr);
    if (a.hasOld) {
      const std::string key = KeyText(*a.table, a.old);
      const auto it = replay.find(key);
      if (it == replay.end() || it->second != RowText(*a.table, a.old)) ++lostUpdates;
      if (it != replay.end()) replay.erase(it);
    }
    if (a.hasNew) {
      const std::string key = KeyText(*a.table, a.neu);
      if (!a.hasOld && replay.count(key)) ++lostUpdates;
      replay[key] = RowText(*a.table, a.neu);
    }
  }
  const std::map<std::string, std::string> after = TableRows(db);
  int lostRows = 0;
  for (const auto& [key, row] : replay) {
    const auto it = after.find(key);
    if (it != after.end() && it->second == row) continue;
    ++lostRows;
    ADD_FAILURE() << key << ": audited " << row << ", stored "
                  << (it == after.end() ? "nothing" : it->second);
  }
  for (const auto& [key, row] : after) {
    if (replay.count(key)) continue;
    ++lostRows;
    ADD_FAILURE() << key << ": stored " << row << " without an audit row";
  }

  std::printf(
      "[ balanced ] %d workstations x %d operations = %d operations, %d calls in %.1f s through "
      "haproxy to 2 instances\n"
      "[ balanced ] changes acknowledged %d, audit rows %d, conflicts reported %d, refused %d, "
      "deadlocks reported %d, calls without an answer %d (changes among them kept %d), other "
      "failures %d\n"
      "[ balanced ] kills %d, restarts 1 (restarted instance served %d calls), host connection "
      "during the outage: %d calls, %d failed, at most %d in a row; workstations: at most %d "
      "failed calls in a row, %d failed calls besides those the kill caught in progress\n"
      "[ balanced ] lost updates %d, lost rows %d\n",
      kWorkstations, kOperations, total.operations, total.calls, seconds, acknowledged,
      int(audit.size()), total.conflicts, total.refused, total.busy, total.inDoubt, keptInDoubt,
      total.failed, kills, servedByRestarted, failover.calls, failover.failures, failover.maxInARow,
      total.maxFailuresInARow, total.failedOutsideTheKill, lostUpdates, lostRows);

  EXPECT_EQ(total.operations, kWorkstations * kOperations);
  EXPECT_EQ(lostUpdates, 0);
  EXPECT_EQ(lostRows, 0);
  EXPECT_GT(acknowledged, kWorkstations * kOperations / 10);
  EXPECT_GT(total.conflicts, 0) << "overlapping pairs should make stale rows meet";
  EXPECT_EQ(total.failed, 0);
  EXPECT_LE(failover.maxInARow, 1);
  EXPECT_LE(failover.failures, 1) << failover.errors.join('\n').toStdString();
  if (!failover.errors.isEmpty())
    std::printf("[ balanced ] the host connection's failure: %s\n",
                failover.errors.join(", ").toStdString().c_str());
  EXPECT_EQ(total.failedOutsideTheKill, 0)
      << "calls failed that were neither in progress nor sent while the instance was dying";
  restarted.terminate();
  restarted.waitForFinished(10000);
}

// While PostgreSQL is down, every failed call through the balancer is a
// JSON-RPC error with a message the host can show: the instances' own while
// they are still in, the balancer's once both fail their health check.
TEST(Balanced, ADatabaseOutageAnswersInJsonRpc) {
  if (HaproxyPath().isEmpty())
    GTEST_SKIP() << "haproxy is not installed (scripts/install-deps installs it)";
  OwnCluster pg;
  if (const QString why = pg.Start(); !why.isEmpty())
    GTEST_SKIP() << "no PostgreSQL cluster of its own: " << why.toStdString();
  srv::SeedSampleDatabase(pg.url, CdcDir());
  QTemporaryDir dir;
  const QString tokens = dir.filePath("tokens");
  std::ofstream(tokens.toStdString()) << "joao reader " << kReader.toStdString() << "\n";
  Deployment deployment;
  const QString why = deployment.Start(pg.url, tokens, 2);
  ASSERT_TRUE(why.isEmpty()) << why.toStdString();

  std::atomic<bool> stop{false};
  std::mutex m;
  std::map<int, int> failedByStatus;
  std::vector<std::string> notJson;
  std::vector<std::thread> callers;
  for (int i = 0; i < 4; ++i)
    callers.emplace_back([&] {
      Client c(deployment.port, kReader);
      while (!stop) {
        // Cached answers would hide the outage: the check reads the database.
        const Response r = c.Call("GetValidaAltura", {"01", "050", "45"});
        if (r.ok()) continue;
        std::lock_guard lock(m);
        ++failedByStatus[r.status];
        if (r.error().isEmpty()) notJson.push_back(std::to_string(r.status));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(pg.Stop());
  // Long enough for the balancer to take both instances out (fall 2 x 300 ms).
  std::this_thread::sleep_for(std::chrono::milliseconds(2000));
  ASSERT_TRUE(pg.Resume());
  EXPECT_TRUE(WaitHealthy(deployment.port, 20));
  stop = true;
  for (auto& t : callers) t.join();

  for (const auto& [status, count] : failedByStatus)
    std::printf("[ measure ] %d failed calls answered with HTTP %d\n", count, status);
  EXPECT_TRUE(notJson.empty()) << notJson.size() << " answers without a JSON-RPC error, first "
                               << (notJson.empty() ? "" : notJson.front());
  EXPECT_GT(failedByStatus[503], 0) << "the balancer never answered for the instances";
  EXPECT_GT(failedByStatus[200], 0) << "the instances never answered the outage themselves";
  EXPECT_TRUE(Client(deployment.port, kReader).Call("GetValidaAltura", {"01", "050", "45"}).ok());
}

}  // namespace
