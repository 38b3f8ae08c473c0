#pragma once
// A fresh seeded service per test: an SQLite file in a temporary folder, or a PostgreSQL
// database (see TestStorage.h).

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "service/Seed.h"
#include "service/Service.h"
#include "service/tests/TestStorage.h"

namespace service::testing {

/// The clock of the services the tests open: a fixed morning, so no test sees midnight pass.
inline std::shared_ptr<host::FixedClock> fixedClock() {
  return std::make_shared<host::FixedClock>(host::DateTime::fromYmdHms(2026, 3, 2, 10, 0, 0));
}

inline std::filesystem::path freshDir() {
  std::random_device rd;
  auto dir = std::filesystem::temp_directory_path() /
             ("boleto-service-" + std::to_string(rd()) + std::to_string(rd()));
  std::filesystem::create_directories(dir);
  return dir;
}

class SeededService : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = freshDir();
    storage_ = std::make_unique<TestStorage>(dir_);
    svc_ = openService(storage_->where(), fixedClock());
    SeedOptions o;
    o.password = "senha-demo";
    o.today = host::DateTime::fromYmd(2026, 3, 2);
    seed(*svc_->db, o);
  }
  void TearDown() override {
    svc_.reset();
    storage_.reset();
    std::filesystem::remove_all(dir_);
  }
  remote::Reply call(const std::string& method, std::vector<remote::Variant> args,
                     std::vector<bool> byRef = {}, const std::string& company = "04",
                     const std::string& op = "demo",
                     const std::string& object = "Rec12000.rdmHabContRec") {
    remote::Request r{object, method, company, std::move(args), std::move(byRef)};
    return svc_->dispatcher->handle(op, r);
  }
  int count(const std::string& query) {
    int n = 0;
    svc_->db->session() << query, soci::into(n);
    return n;
  }

  std::filesystem::path dir_;
  std::unique_ptr<TestStorage> storage_;
  std::shared_ptr<Service> svc_;
};

}  // namespace service::testing
