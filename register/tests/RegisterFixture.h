#pragma once
// The register against the real service of a seeded demo database, in-process: the
// operator's context, scripted dialogs, a headless screen host and the service's direct
// queries.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>

#include "ancillary/Cli_rec12009.h"
#include "emission/ImprimeBol.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "host/HostDatabase.h"
#include "module/RemoteHostDatabase.h"
#include "module/ScreenHost.h"
#include "module/SharedConnection.h"
#include "module/Units.h"
#include "register/FiltroHabRec.h"
#include "register/HabContRec.h"
#include "remote/Transports.h"
#include "service/Seed.h"
#include "service/Service.h"
#include "service/tests/TestStorage.h"

namespace rec::testing {

/// The message key an operation stopped with, "<none>" when it went through.
template <typename Fn>
std::string keyOf(Fn&& fn) {
  try {
    fn();
  } catch (const host::OperationError& e) {
    return e.key();
  }
  return "<none>";
}

class RegisterFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("boleto-register-" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    storage_ = std::make_unique<service::testing::TestStorage>(dir_);
    svc_ = service::openService(storage_->where(), clock_);
    service::SeedOptions o;
    o.password = "senha-demo";
    o.today = clock_->today();
    service::seed(*svc_->db, o);
    factory_ = std::make_shared<remote::InProcessTransportFactory>(svc_->dispatcher, "demo");
    netHabContRec().setFactory(nullptr);
    settings_.company = "04";
    settings_.branch = "0001";
    settings_.processingDate = clock_->today();
    dialogs_ = std::make_shared<host::ScriptedDialogs>();
    screens_ = std::make_shared<HeadlessScreenHost>();
    queries_ = std::make_shared<RemoteHostDatabase>();
    host_.emplace(ports());
    initializeUnits();
    // The register opens these screens through their creators, as the package installs them.
    InstalaImprimeBol();
    InstalaDirBoletos();
  }

  void TearDown() override {
    if (auto* f = frmHabContRec()) {
      f->busy = false;
      f->close();
    }
    // SetUp may have stopped before the dialogs were made (no database server, say).
    if (dialogs_) {
      EXPECT_EQ(dialogs_->pending(), 0u) << "scripted dialogs were not shown";
    }
    netHabContRec().disconnect();
    host_.reset();
    queries_.reset();
    svc_.reset();
    storage_.reset();
    std::filesystem::remove_all(dir_);
  }

  /// What the test installs: the operator's context from `settings_`, its dialogs and screen
  /// host, the in-process service and the fixed clock.
  host::Host ports() const {
    return {.context = std::make_shared<host::ConfiguredContext>(settings_),
            .dialogs = dialogs_,
            .database = queries_,
            .screens = screens_,
            .transport = factory_,
            .clock = clock_};
  }
  /// Installs `settings_` changed by the test.
  void useSettings() { host_->replace(ports()); }

  /// Opens the register as the host does.
  TfrmHabContRec& open() {
    IniProc();
    auto* f = frmHabContRec();
    EXPECT_NE(f, nullptr);
    return *f;
  }

  /// What the operator does in the filter before confirming it.
  void onFilter(std::function<void(TfrmFiltroHabRec&)> script) {
    screens_->onModal("TfrmFiltroHabRec", [script](host::ScreenModel& s) {
      auto& f = dynamic_cast<TfrmFiltroHabRec&>(s);
      script(f);
    });
  }

  /// Chooses the company and leaves the panel: the filter opens and runs `script`.
  void chooseCompany(TfrmHabContRec& f, const std::string& company) {
    f.control("medEmpresa").setFocus();
    f.control("medEmpresa").type(company);
    f.focusList();
  }

  /// The register with company 04 chosen and every boleto of it listed, whatever its due date.
  TfrmHabContRec& listed() {
    auto& f = open();
    onFilter([](TfrmFiltroHabRec& flt) {
      flt.control("edtDtVencIni").setText("01/01/2000");
      flt.control("edtDtVencFin").setText("31/12/2099");
      flt.control("sbtConfirma").click();
    });
    chooseCompany(f, "04");
    return f;
  }

  int count(const std::string& query) {
    int n = 0;
    svc_->db->session() << query, soci::into(n);
    return n;
  }

  std::filesystem::path dir_;
  std::unique_ptr<service::testing::TestStorage> storage_;
  std::shared_ptr<service::Service> svc_;
  std::shared_ptr<remote::TransportFactory> factory_;
  host::ContextSettings settings_;
  std::shared_ptr<host::ScriptedDialogs> dialogs_;
  std::shared_ptr<HeadlessScreenHost> screens_;
  std::shared_ptr<RemoteHostDatabase> queries_;
  /// The day every register test runs on, and the service with it: 2 March 2026, morning.
  std::shared_ptr<host::FixedClock> clock_ =
      std::make_shared<host::FixedClock>(host::DateTime::fromYmdHms(2026, 3, 2, 10, 0, 0));
  std::optional<host::HostScope> host_;
};

}  // namespace rec::testing
