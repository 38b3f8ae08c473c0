#include <gtest/gtest.h>

#include "ancillary/Cli_rec12009.h"
#include "host/Dialogs.h"
#include "host/Host.h"
#include "module/ScreenHost.h"
#include "module/Units.h"

namespace {

class DirBoletos : public ::testing::Test {
 protected:
  void SetUp() override { Cli_rec12009::stDirBoletos.clear(); }
  void TearDown() override { EXPECT_EQ(dialogs_->pending(), 0u); }
  std::shared_ptr<host::ScriptedDialogs> dialogs_ = std::make_shared<host::ScriptedDialogs>();
  std::shared_ptr<rec::HeadlessScreenHost> screens_ = std::make_shared<rec::HeadlessScreenHost>();
  host::HostScope host_{{.dialogs = dialogs_, .screens = screens_}};
};

TEST_F(DirBoletos, ReturnsThePickedFolderWithItsSeparatorEvenAfterCancel) {
  dialogs_->expectFolder(std::string("/srv/boletos"));
  screens_->onModal("TfrmDirBoletos", [](host::ScreenModel& s) {
    s.control("sbtDiretorio").click();
    EXPECT_EQ(s.control("edtDiretorio").text(), "/srv/boletos");
    s.control("sbtCancelar").click();
  });
  EXPECT_EQ(rec::CriaDirBoletos(), "/srv/boletos/");
}

TEST_F(DirBoletos, ATypedDirectoryIsNotReturnedButAnEarlierPickIs) {
  Cli_rec12009::stDirBoletos = "/earlier/";
  screens_->onModal("TfrmDirBoletos", [](host::ScreenModel& s) {
    s.control("edtDiretorio").type("/typed/by/hand");
    s.control("sbtConfirmar").click();
    EXPECT_EQ(s.modalResult(), host::mrOk);
  });
  EXPECT_EQ(rec::CriaDirBoletos(), "/earlier/");
}

TEST_F(DirBoletos, ABlankFieldIsRefusedAndTheScreenStaysOpen) {
  dialogs_->expectError("Diretorio deve ser informado.");
  screens_->onModal("TfrmDirBoletos", [](host::ScreenModel& s) {
    s.control("sbtConfirmar").click();
    EXPECT_TRUE(s.isOpen());
    EXPECT_TRUE(s.control("edtDiretorio").focused());
    s.control("sbtCancelar").click();
  });
  EXPECT_EQ(rec::CriaDirBoletos(), "");
}

}  // namespace
