#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "host/Archive.h"
#include "host/Host.h"
#include "host/Secrets.h"

using namespace host;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const std::string kPassword = "s3nh@-da-filial-0001";

unsigned modeOf(const std::filesystem::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

/// The text of the SecretError `f` raises.
template <class F>
std::string secretError(F f) {
  try {
    f();
  } catch (const SecretError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no SecretError";
  return {};
}

}  // namespace

TEST(Secrets, SealedTextOpensWithItsKeyAndKindOnly) {
  const SecretKey key = SecretKey::generate();
  const std::string sealed = sealSecret(key, kPassword, kMailPasswordSecret);
  EXPECT_THAT(sealed, Not(HasSubstr(kPassword)));
  EXPECT_LE(sealed.size(), 200u) << "must fit CDSENHEMAILF";
  EXPECT_EQ(openSecret(key, sealed, kMailPasswordSecret), kPassword);
  // A new nonce each time: the same password never reads the same twice.
  EXPECT_NE(sealSecret(key, kPassword, kMailPasswordSecret), sealed);
  EXPECT_EQ(openSecret(key, sealSecret(key, "", kMailPasswordSecret), kMailPasswordSecret), "");

  const std::string wrongKey =
      secretError([&] { openSecret(SecretKey::generate(), sealed, kMailPasswordSecret); });
  EXPECT_THAT(wrongKey, HasSubstr("does not open"));
  EXPECT_THAT(wrongKey, Not(HasSubstr(kPassword)));
  EXPECT_THAT(wrongKey, Not(HasSubstr(sealed)));
  EXPECT_THAT(secretError([&] { openSecret(key, sealed, 3); }), HasSubstr("kind 3"));
  // The kind is bound into the seal: relabelling the text does not help.
  std::string relabelled = sealed;
  relabelled.replace(0, 5, "s1:3:");
  EXPECT_THAT(secretError([&] { openSecret(key, relabelled, 3); }), HasSubstr("does not open"));
}

TEST(Secrets, DamagedOrPlainTextsAreErrorsNeverGarbage) {
  const SecretKey key = SecretKey::generate();
  const std::string sealed = sealSecret(key, kPassword, kMailPasswordSecret);
  for (size_t at = 5; at < sealed.size(); at += 7) {
    std::string damaged = sealed;
    damaged[at] = damaged[at] == 'A' ? 'B' : 'A';
    EXPECT_THROW(openSecret(key, damaged, kMailPasswordSecret), SecretError) << at;
  }
  EXPECT_THROW(openSecret(key, sealed.substr(0, sealed.size() - 4), kMailPasswordSecret),
               SecretError);
  EXPECT_THROW(openSecret(key, "s1:2:", kMailPasswordSecret), SecretError);
  EXPECT_THROW(openSecret(key, "s1:2:!!!", kMailPasswordSecret), SecretError);
  EXPECT_THAT(secretError([&] { openSecret(key, kPassword, kMailPasswordSecret); }),
              Not(HasSubstr(kPassword)));
}

TEST(SecretKeyFile, MadeOwnerOnlyWhenMissingAndReadBackTheSame) {
  PrivateTempDir dir;
  const auto file = dir.path() / "config" / "boleto" / "secret.key";
  const SecretKey made = SecretKey::loadOrCreate(file);
  EXPECT_EQ(modeOf(file), 0600u);
  EXPECT_EQ(modeOf(file.parent_path()), 0700u);
  const std::string sealed = sealSecret(made, kPassword, kMailPasswordSecret);
  EXPECT_EQ(openSecret(SecretKey::load(file), sealed, kMailPasswordSecret), kPassword);
  EXPECT_EQ(openSecret(SecretKey::loadOrCreate(file), sealed, kMailPasswordSecret), kPassword);
  // Nothing but the key file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);
}

TEST(SecretKeyFile, ProcessesCreatingItAtOnceEndWithOneKey) {
  PrivateTempDir dir;
  const auto file = dir.path() / "secret.key";
  std::vector<std::string> sealed(6);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < sealed.size(); ++i)
    threads.emplace_back([&, i] {
      sealed[i] = sealSecret(SecretKey::loadOrCreate(file), kPassword, kMailPasswordSecret);
    });
  for (auto& t : threads) t.join();
  const SecretKey key = SecretKey::load(file);
  for (const auto& s : sealed) EXPECT_EQ(openSecret(key, s, kMailPasswordSecret), kPassword);
}

TEST(SecretKeyFile, FileOpenToOthersMissingOrDamagedIsRefusedSayingWhy) {
  PrivateTempDir dir;
  const auto file = dir.path() / "secret.key";
  EXPECT_THAT(secretError([&] { SecretKey::load(file); }), HasSubstr("no key file"));
  SecretKey::loadOrCreate(file);

  std::filesystem::permissions(file, std::filesystem::perms::group_read,
                               std::filesystem::perm_options::add);
  EXPECT_THAT(secretError([&] { SecretKey::load(file); }), HasSubstr("chmod 600"));
  EXPECT_THAT(secretError([&] { SecretKey::loadOrCreate(file); }), HasSubstr("chmod 600"));

  std::filesystem::permissions(
      file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
      std::filesystem::perm_options::replace);
  std::ofstream(file) << "0123456789abcdef\n";
  EXPECT_THAT(secretError([&] { SecretKey::load(file); }), HasSubstr("damaged"));
  std::ofstream(file) << std::string(64, 'g') << "\n";
  EXPECT_THAT(secretError([&] { SecretKey::load(file); }), HasSubstr("damaged"));
}

TEST(Uncripto, OpensWithTheInstalledOpenerAndKeepsBlankBlank) {
  PrivateTempDir dir;
  const auto file = dir.path() / "secret.key";
  const std::string sealed =
      sealSecret(SecretKey::loadOrCreate(file), kPassword, kMailPasswordSecret);
  HostScope scope({.secrets = std::make_shared<KeyFileSecretOpener>(file)});
  EXPECT_EQ(Uncripto(sealed, kMailPasswordSecret), kPassword);
  EXPECT_EQ(Uncripto("", kMailPasswordSecret), "");
  EXPECT_THROW(Uncripto(kPassword, kMailPasswordSecret), SecretError);

  std::filesystem::remove(file);
  EXPECT_THAT(secretError([&] { Uncripto(sealed, kMailPasswordSecret); }),
              HasSubstr("seal-secret"));
}

TEST(SealMailPassword, FitsTheBranchSettingsOrIsRefused) {
  PrivateTempDir dir;
  const auto file = dir.path() / "secret.key";
  const std::string sealed = sealMailPassword(file, std::string(100, 'p'));
  EXPECT_LE(sealed.size(), kSealedMailPasswordMax);
  EXPECT_EQ(openSecret(SecretKey::load(file), sealed, kMailPasswordSecret), std::string(100, 'p'));
  EXPECT_THROW(sealMailPassword(file, std::string(120, 'p')), std::invalid_argument);
  EXPECT_THROW(sealMailPassword(file, "  "), std::invalid_argument);
}
