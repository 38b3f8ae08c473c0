#include "remote/Transports.h"

namespace remote {

namespace {

class InProcessTransport final : public Transport {
 public:
  InProcessTransport(std::shared_ptr<Handler> handler, std::string op)
      : handler_(std::move(handler)), operator_(std::move(op)) {}
  Reply send(const Request& request) override {
    try {
      return handler_->handle(operator_, request);
    } catch (const std::exception& e) {
      // The handler should answer every failure itself; this keeps a stray one from
      // unwinding through a caller that expects a result.
      return Reply::refused("ERRO_SERVICO", e.what());
    }
  }

 private:
  std::shared_ptr<Handler> handler_;
  std::string operator_;
};

}  // namespace

InProcessTransportFactory::InProcessTransportFactory(std::shared_ptr<Handler> handler,
                                                     std::string operatorCode)
    : handler_(std::move(handler)), operatorCode_(std::move(operatorCode)) {}

std::unique_ptr<Transport> InProcessTransportFactory::open(const std::string&, int,
                                                           std::string& error) {
  if (!handler_) {
    error = "nenhum serviço foi iniciado neste processo";
    return nullptr;
  }
  return std::make_unique<InProcessTransport>(handler_, operatorCode_);
}

}  // namespace remote
