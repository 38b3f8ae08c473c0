#include <gtest/gtest.h>

#include <optional>

#include "host/Errors.h"
#include "host/Host.h"
#include "module/Creator.h"

namespace {

class TfrmTeste final : public host::ScreenModel {
 public:
  TfrmTeste() : host::ScreenModel("TfrmTeste", "REC99999", "Teste") { ++made; }
  std::string argument;
  static inline int made = 0;
};

class CreatorSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = std::make_shared<rec::HeadlessScreenHost>();
    installed_.emplace(host::Host{.screens = host_});
    TfrmTeste::made = 0;
  }
  void TearDown() override { installed_.reset(); }

  rec::CreatorSteps<TfrmTeste> steps(const std::string& arg, rec::Show show) {
    rec::CreatorSteps<TfrmTeste> s;
    s.make = [] { return std::make_unique<TfrmTeste>(); };
    s.copyArguments = [arg](TfrmTeste& f) { f.argument = arg; };
    s.show = [show](TfrmTeste&) { return show; };
    return s;
  }
  std::shared_ptr<rec::HeadlessScreenHost> host_;
  std::optional<host::HostScope> installed_;
};

}  // namespace

TEST_F(CreatorSteps, CreatedOnceScreenIsReusedWhileOpenAndMadeAfreshAfterClose) {
  bool boStCriado = false;
  auto slot = rec::ScreenSlot<TfrmTeste>::once(&boStCriado);
  rec::runCreator(slot, steps("a", rec::Show::Maximized));
  EXPECT_TRUE(boStCriado);
  TfrmTeste* first = slot.instance();
  rec::runCreator(slot, steps("b", rec::Show::Modeless));
  EXPECT_EQ(slot.instance(), first);
  EXPECT_EQ(first->argument, "b") << "arguments are copied at every call";
  EXPECT_EQ(TfrmTeste::made, 1);

  first->close();
  slot.closed();
  EXPECT_FALSE(boStCriado);
  rec::runCreator(slot, steps("c", rec::Show::Modeless));
  EXPECT_EQ(TfrmTeste::made, 2);
  ASSERT_EQ(host_->shown().size(), 3u);
  EXPECT_EQ(host_->shown()[0].mode, rec::ShowMode::Maximized);
  EXPECT_EQ(host_->shown()[1].mode, rec::ShowMode::Modeless);
}

TEST_F(CreatorSteps, ModalScreenReturnsItsResultAndItsCloseResetsTheFlag) {
  bool boIdCriado = false;
  auto slot = rec::ScreenSlot<TfrmTeste>::once(&boIdCriado);
  host_->onModal("TfrmTeste", [](host::ScreenModel& s) { s.setModalResult(host::mrOk); });
  EXPECT_EQ(rec::runCreator(slot, steps("x", rec::Show::Modal)), host::mrOk);
  EXPECT_FALSE(boIdCriado);
  host_->onModal("TfrmTeste", [](host::ScreenModel&) {});
  EXPECT_EQ(rec::runCreator(slot, steps("y", rec::Show::Modal)), host::mrCancel);
  EXPECT_EQ(TfrmTeste::made, 2);
}

TEST_F(CreatorSteps, PerCallScreensAreNewEachTimeAndHiddenOnesAreNotShown) {
  auto slot = rec::ScreenSlot<TfrmTeste>::perCall();
  rec::runCreator(slot, steps("1", rec::Show::NotShown));
  rec::runCreator(slot, steps("2", rec::Show::NotShown));
  EXPECT_EQ(TfrmTeste::made, 2);
  EXPECT_TRUE(host_->shown().empty());
}

TEST_F(CreatorSteps, HourglassDuringTheStepsAndDefaultCursorAfterEvenWhenPreparationFails) {
  auto slot = rec::ScreenSlot<TfrmTeste>::perCall();
  auto s = steps("z", rec::Show::Modal);
  rec::Cursor duringPrepare = rec::Cursor::Default;
  s.prepare = [&](TfrmTeste&) {
    duringPrepare = host_->cursor();
    throw host::ServiceError("ARG_TAMANHO");
  };
  EXPECT_THROW(rec::runCreator(slot, s), host::ServiceError);
  EXPECT_EQ(duringPrepare, rec::Cursor::Hourglass);
  EXPECT_EQ(host_->cursor(), rec::Cursor::Default);
  ASSERT_NE(slot.instance(), nullptr) << "created, but not shown";
  EXPECT_TRUE(host_->shown().empty());

  auto quiet = steps("q", rec::Show::Modal);
  quiet.hourglass = false;
  size_t before = host_->cursorHistory().size();
  rec::runCreator(slot, quiet);
  EXPECT_EQ(host_->cursorHistory().size(), before);
}
