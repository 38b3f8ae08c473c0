#include "service/Service.h"

#include <filesystem>

#include "host/Errors.h"
#include "service/Areas.h"
#include "service/Creditos.h"
#include "service/Marcacao.h"
#include "service/Migrations.h"
#include "service/Relatorios.h"
#include "service/Seed.h"
#include "service/Validacoes.h"

namespace service {

std::shared_ptr<Service> openService(const std::string& where,
                                     std::shared_ptr<const host::Clock> clock, Missing missing) {
  BOLETO_CHECK(clock != nullptr, "the service needs a clock");
  auto s = std::make_shared<Service>();
  s->clock = std::move(clock);
  s->db = Database::open(where, missing);
  migrate(*s->db, *s->clock);
  s->dispatcher = std::make_shared<Dispatcher>(s->db, s->clock);
  registerAcesso(*s->dispatcher);
  registerContaCorrente(*s->dispatcher);
  registerRelatorios(*s->dispatcher);
  registerBoletos(*s->dispatcher);
  registerListas(*s->dispatcher);
  registerOpcoes(*s->dispatcher);
  registerNumeracao(*s->dispatcher);
  registerConsultas(*s->dispatcher);
  registerRegistro(*s->dispatcher);
  registerDadosRec(*s->dispatcher);
  registerEmissao(*s->dispatcher);
  registerConjuga(*s->dispatcher);
  registerMarcacao(*s->dispatcher);
  registerValidacoes(*s->dispatcher);
  registerSelImpor(*s->dispatcher);
  registerEmail(*s->dispatcher);
  registerAjustes(*s->dispatcher);
  registerParcelas(*s->dispatcher);
  registerCreditos(*s->dispatcher);
  registerTipoRecebimento(*s->dispatcher);
  registerAgrupamento(*s->dispatcher);
  registerDiretorio(*s->dispatcher);
  s->auth = std::make_shared<SessionAuthenticator>(s->db);
  return s;
}

std::string healthCheck(Service& s) {
  try {
    int one = 0;
    if (s.db->pooled()) {
      auto lease = s.db->reader(true);
      s.db->session() << "SELECT 1", soci::into(one);
    } else {
      std::lock_guard lock(s.db->mutex());
      s.db->session() << "SELECT 1", soci::into(one);
    }
    return one == 1 ? std::string() : std::string("o banco de dados respondeu algo inesperado");
  } catch (const std::exception& e) {
    return std::string("o banco de dados não responde: ") + e.what();
  }
}

EmbeddedService openEmbeddedService(const std::string& where,
                                    std::shared_ptr<const host::Clock> clock, bool isDefault) {
  const bool isFile = where.rfind("postgres", 0) != 0;
  const bool fresh = isDefault && isFile && !std::filesystem::exists(where);
  if (fresh) {
    const auto parent = std::filesystem::path(where).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
  }
  EmbeddedService e{openService(where, std::move(clock), fresh ? Missing::Create : Missing::Refuse),
                    {}};
  if (fresh) {
    SeedOptions o;
    o.today = e.service->clock->today();
    e.demoPassword = seed(*e.service->db, o).password;
  }
  return e;
}

}  // namespace service
