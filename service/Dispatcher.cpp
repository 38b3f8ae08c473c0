#include "service/Dispatcher.h"

#include <fmt/format.h>

#include <optional>

#include "host/Errors.h"

namespace service {

using remote::Variant;

namespace {
// Characters, not bytes: field sizes count what the operator typed.
size_t utf8Length(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}
}  // namespace

CallContext::CallContext(Database& db, const host::Clock& clock, const std::string& op,
                         const remote::Request& req)
    : db_(db), clock_(clock), operator_(op), request_(req), args_(req.args) {}

const std::string& CallContext::company() const {
  if (request_.company.empty())
    throw Refusal("EMPRESA_VAZIA",
                  fmt::format("{} precisa da empresa de quem chama", request_.method));
  return request_.company;
}

void CallContext::wrongKind(size_t i, const std::string& name, const char* wanted) const {
  throw Refusal("ARG_TIPO",
                fmt::format("{}: o argumento {} ({}) deve ser {}, não {}", request_.method, i + 1,
                            name, wanted, remote::kindName(args_.at(i).kind())));
}

std::string CallContext::text(size_t i, const std::string& name, int maxSize) const {
  const Variant& v = args_.at(i);
  if (v.isNull()) return {};
  if (v.kind() != Variant::Kind::Text) wrongKind(i, name, "um texto");
  const std::string& s = v.value().text();
  if (maxSize > 0 && utf8Length(s) > static_cast<size_t>(maxSize)) {
    throw Refusal("ARG_TAMANHO",
                  fmt::format("{}: o argumento {} ({}) tem {} caracteres; o máximo é {}",
                              request_.method, i + 1, name, utf8Length(s), maxSize));
  }
  return s;
}

double CallContext::number(size_t i, const std::string& name) const {
  const Variant& v = args_.at(i);
  if (v.isNull()) return 0;
  if (v.kind() != Variant::Kind::Float && v.kind() != Variant::Kind::Integer)
    wrongKind(i, name, "um número");
  return v.asDouble();
}

int64_t CallContext::integer(size_t i, const std::string& name) const {
  const Variant& v = args_.at(i);
  if (v.isNull()) return 0;
  if (v.kind() != Variant::Kind::Integer) wrongKind(i, name, "um inteiro");
  return v.asInteger();
}

bool CallContext::boolean(size_t i, const std::string& name) const {
  const Variant& v = args_.at(i);
  if (v.kind() != Variant::Kind::Boolean) wrongKind(i, name, "um booleano");
  return v.asBoolean();
}

std::optional<host::DateTime> CallContext::date(size_t i, const std::string& name) const {
  const Variant& v = args_.at(i);
  if (v.isNull()) return std::nullopt;
  if (v.kind() != Variant::Kind::Date) wrongKind(i, name, "uma data");
  return v.value().asDate();
}

const nlohmann::json& CallContext::packet(size_t i, const std::string& name) const {
  const Variant& v = args_.at(i);
  if (!v.isPacket()) wrongKind(i, name, "um pacote de dados");
  return v.packetJson();
}

void CallContext::setArg(size_t i, Variant v) {
  args_.at(i) = v;
  for (auto& [pos, value] : changed_) {
    if (pos == i) {
      value = std::move(v);
      return;
    }
  }
  changed_.emplace_back(i, std::move(v));
}

void CallContext::requireCompany(const std::string& company) const {
  if (!operatorMayUse(db_, operator_, company)) {
    throw Refusal(
        "ACESSO_EMPRESA",
        fmt::format("o operador \"{}\" não pode trabalhar na empresa \"{}\"", operator_, company));
  }
}

namespace {
struct AccessQuery {
  std::string op, company;
  int n = 0;
  soci::statement st;
  explicit AccessQuery(soci::session& sql)
      : st((sql.prepare << "SELECT COUNT(*) FROM OPEREMPRESA E JOIN OPERADOR O "
                           "ON O.CDOPERADOR = E.CDOPERADOR WHERE E.CDOPERADOR = :o "
                           "AND E.CDEMPRESA = :c AND O.IDATIVO = 'S'",
            soci::use(op), soci::use(company), soci::into(n))) {}
};
}  // namespace

bool operatorMayUse(Database& db, const std::string& op, const std::string& company) {
  auto& q = db.prepared<AccessQuery>(
      "operatorMayUse", [](soci::session& sql) { return std::make_unique<AccessQuery>(sql); });
  q.op = op;
  q.company = company;
  q.n = 0;
  q.st.execute(true);
  while (q.st.fetch()) {
  }
  return q.n > 0;
}

namespace {

// BEGIN, COMMIT and ROLLBACK prepared once per session: on SQLite, parsing them again on
// every call cost about as much as the small read the call made.
struct TransactionStatements {
  soci::statement begin, beginImmediate, commit, rollback;
  explicit TransactionStatements(soci::session& sql)
      : begin((sql.prepare << "BEGIN")),
        beginImmediate((sql.prepare << "BEGIN IMMEDIATE")),
        commit((sql.prepare << "COMMIT")),
        rollback((sql.prepare << "ROLLBACK")) {}
};

/// The call's transaction: rolled back unless committed.
class CallTransaction {
 public:
  /// A call that may write takes SQLite's write lock when it begins, waiting for it up to the
  /// session's busy time-out: a transaction that begins as a reader and writes later cannot
  /// wait when another connection wrote meanwhile, and fails at once with "database is
  /// locked".
  CallTransaction(Database& db, bool mayWrite) {
    if (db.dialect() == Dialect::SQLite) {
      st_ = &db.prepared<TransactionStatements>("transaction", [](soci::session& sql) {
        return std::make_unique<TransactionStatements>(sql);
      });
      (mayWrite ? st_->beginImmediate : st_->begin).execute(true);
    } else {
      tr_.emplace(db.session());
    }
  }
  CallTransaction(const CallTransaction&) = delete;
  CallTransaction& operator=(const CallTransaction&) = delete;
  void commit() {
    if (st_) {
      st_->commit.execute(true);
    } else {
      tr_->commit();
    }
    committed_ = true;
  }
  ~CallTransaction() {
    if (committed_ || !st_) return;
    try {
      st_->rollback.execute(true);
    } catch (const std::exception&) {
      // SQLite ends some failed transactions itself; there is nothing left to undo.
    }
  }

 private:
  TransactionStatements* st_ = nullptr;
  std::optional<soci::transaction> tr_;
  bool committed_ = false;
};

}  // namespace

std::vector<Variant> checkedArgs(const CallContext& ctx, const rpc::MethodDecl& decl) {
  std::vector<Variant> out;
  out.reserve(decl.args.size());
  for (size_t i = 0; i < decl.args.size(); ++i) {
    const auto& a = decl.args[i];
    switch (a.kind) {
      case rpc::Kind::Text:
        out.emplace_back(ctx.text(i, a.name, a.size));
        break;
      case rpc::Kind::Number:
        out.emplace_back(ctx.number(i, a.name));
        break;
      case rpc::Kind::Integer:
        out.emplace_back(ctx.integer(i, a.name));
        break;
      case rpc::Kind::Boolean:
        out.emplace_back(ctx.boolean(i, a.name));
        break;
      case rpc::Kind::Date: {
        const auto d = ctx.date(i, a.name);
        out.push_back(d ? Variant(*d) : Variant());
        break;
      }
      case rpc::Kind::Packet:
        ctx.packet(i, a.name);
        out.push_back(ctx.arg(i));
        break;
      case rpc::Kind::PacketOrNull:
        if (!ctx.arg(i).isNull()) ctx.packet(i, a.name);
        out.push_back(ctx.arg(i));
        break;
      case rpc::Kind::Any:
        out.push_back(ctx.arg(i));
        break;
    }
  }
  return out;
}

Dispatcher::Dispatcher(std::shared_ptr<Database> db, std::shared_ptr<const host::Clock> clock)
    : db_(std::move(db)), clock_(std::move(clock)) {
  BOLETO_CHECK(clock_ != nullptr, "the service needs a clock");
}

void Dispatcher::addDeclared(const rpc::MethodDecl& decl, Method fn) {
  BOLETO_CHECK(!objects_[decl.object].count(decl.name),
               fmt::format("{}.{} is registered twice", decl.object, decl.name));
  Entry e{decl.args.size(), std::move(fn)};
  e.readOnly = decl.readOnly;
  e.checksCompany = decl.checksCompany;
  e.decl = decl;
  objects_[decl.object][decl.name] = std::move(e);
}

const rpc::MethodDecl* Dispatcher::declarationOf(const std::string& object,
                                                 const std::string& method) const {
  auto obj = objects_.find(object);
  if (obj == objects_.end()) return nullptr;
  auto m = obj->second.find(method);
  if (m == obj->second.end() || !m->second.decl) return nullptr;
  return &*m->second.decl;
}

std::vector<std::pair<std::string, std::string>> Dispatcher::methods() const {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& [object, methods] : objects_)
    for (const auto& [name, entry] : methods) out.emplace_back(object, name);
  return out;
}

void Dispatcher::add(const std::string& object, const std::string& method, size_t argCount,
                     Method fn) {
  objects_[object][method] = Entry{argCount, std::move(fn)};
}

void Dispatcher::setReadOnly(const std::string& object, const std::string& method) {
  auto obj = objects_.find(object);
  BOLETO_CHECK(obj != objects_.end() && obj->second.count(method),
               fmt::format("{}.{} is not registered", object, method));
  obj->second[method].readOnly = true;
}

remote::Reply Dispatcher::handle(const std::string& op, const remote::Request& req) {
  auto obj = objects_.find(req.object);
  if (obj == objects_.end())
    return remote::Reply::refused("OBJETO_DESCONHECIDO",
                                  fmt::format("não há objeto de servidor \"{}\"", req.object));
  auto m = obj->second.find(req.method);
  if (m == obj->second.end())
    return remote::Reply::refused(
        "METODO_DESCONHECIDO", fmt::format("{} não tem o método \"{}\"", req.object, req.method));
  if (req.args.size() != m->second.argCount)
    return remote::Reply::refused(
        "ARG_QTDE", fmt::format("{} leva {} argumentos, não {}", req.method, m->second.argCount,
                                req.args.size()));

  if (m->second.readOnly && db_->pooled()) {
    try {
      auto lease = db_->reader();
      return run(m->second, op, req);
    } catch (const std::exception& e) {
      return remote::Reply::refused("ERRO_SERVICO", fmt::format("{}: {}", req.method, e.what()));
    }
  }
  std::lock_guard lock(db_->mutex());
  return run(m->second, op, req);
}

remote::Reply Dispatcher::run(const Entry& entry, const std::string& op,
                              const remote::Request& req) {
  try {
    CallTransaction tr(*db_, !entry.readOnly);
    CallContext ctx(*db_, *clock_, op, req);
    if (!req.company.empty() && entry.checksCompany && !unchecked_.count(req.object))
      ctx.requireCompany(req.company);
    remote::Reply reply;
    reply.result = entry.fn(ctx);
    tr.commit();
    for (const auto& [pos, value] : ctx.changedArgs())
      if (pos < req.byRef.size() && req.byRef[pos]) reply.refArgs.emplace_back(pos, value);
    return reply;
  } catch (const Refusal& r) {
    return remote::Reply::refused(r.key(), r.what());
  } catch (const std::exception& e) {
    return remote::Reply::refused("ERRO_SERVICO", fmt::format("{}: {}", req.method, e.what()));
  }
}

}  // namespace service
