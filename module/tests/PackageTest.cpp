// The package as the host loads it: by file name, entry points by name.

#include <dlfcn.h>
#include <gtest/gtest.h>

TEST(Package, LoadsAndRunsEachUnitsInitialisationAndFinalisationOnce) {
  void* pkg = dlopen(PKG_REC12000_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(pkg, nullptr) << dlerror();
  // Every entry point built so far; later creators join this list.
  for (const char* name : {"Initialize", "Finalize", "IniProc", "CriaHabConta", "CriaFiltroHabRec",
                           "CriaImprimeBol", "CriaDirBoletos", "InstalaHost", "SetEmissionProgress",
                           "CriaImprimeCarne", "CriaConjulgarBoleto", "CriaSelImpNF", "CriaDescAdi",
                           "NFDebitoCred", "CriaImpNFCred", "CriaGerarBoleto"})
    EXPECT_NE(dlsym(pkg, name), nullptr) << name << ": " << dlerror();

  using Entry = void (*)();
  using Count = int (*)(const char*);
  auto initialize = reinterpret_cast<Entry>(dlsym(pkg, "Initialize"));
  auto finalize = reinterpret_cast<Entry>(dlsym(pkg, "Finalize"));
  auto inits = reinterpret_cast<Count>(dlsym(pkg, "UnitInitializations"));
  auto finis = reinterpret_cast<Count>(dlsym(pkg, "UnitFinalizations"));
  ASSERT_TRUE(initialize && finalize && inits && finis);

  initialize();
  initialize();
  finalize();
  finalize();
  for (const char* unit : {"Cli_rec12000", "Cli_rec12002", "Cli_rec12010"}) {
    EXPECT_EQ(inits(unit), 1) << unit;
    EXPECT_EQ(finis(unit), 1) << unit;
  }
  // The module's own code stays inside: only entry points are visible.
  EXPECT_EQ(dlsym(pkg, "_ZN3rec15initializeUnitsEv"), nullptr);
  // cairo's pixel library builds its table of implementations when it loads and keeps it,
  // never freed, for the life of the process. The host never unloads it; were it unloaded
  // with the package here, that table would be memory nothing points to any more.
  dlopen("libpixman-1.so.0", RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  EXPECT_EQ(dlclose(pkg), 0);
}
