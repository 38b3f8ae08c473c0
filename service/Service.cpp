#include "service/Service.h"

#include "service/Areas.h"
#include "service/Marcacao.h"
#include "service/Migrations.h"
#include "service/Relatorios.h"
#include "service/Validacoes.h"

namespace service {

std::shared_ptr<Service> openService(const std::string& where) {
  auto s = std::make_shared<Service>();
  s->db = Database::open(where);
  migrate(*s->db);
  s->dispatcher = std::make_shared<Dispatcher>(s->db);
  registerAcesso(*s->dispatcher);
  registerContaCorrente(*s->dispatcher);
  registerRelatorios(*s->dispatcher);
  registerBoletos(*s->dispatcher);
  registerListas(*s->dispatcher);
  registerOpcoes(*s->dispatcher);
  registerNumeracao(*s->dispatcher);
  registerConsultas(*s->dispatcher);
  registerRegistro(*s->dispatcher);
  registerEmissao(*s->dispatcher);
  registerMarcacao(*s->dispatcher);
  registerValidacoes(*s->dispatcher);
  s->auth = std::make_shared<SessionAuthenticator>(s->db);
  return s;
}

}  // namespace service
