// The install step's promises: new files laid, own files regenerated, user files and NARRIX.INI never touched.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/ini_file.h"
#include "base/paths.h"
#include "install_tree.h"
#include "voice_builder.h"

namespace falatro {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::string Content(const std::string& path) {
  std::vector<uint8_t> b;
  if (!ReadWholeFile(path, &b)) return "<missing>";
  return {b.begin(), b.end()};
}

void Put(const std::string& path, const std::string& text) {
  size_t slash = path.rfind('/');
  MakeDirectories(path.substr(0, slash));
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string FreshRoot(const std::string& name) {
  static int serial = 0;
  std::string root = testing::TempDir() + "voice-install-" + std::to_string(getpid()) + "/" + name + "-" +
                     std::to_string(++serial);
  MakeDirectories(root);
  return root;
}

// Removes every root the tests made.
class CleanRoots : public testing::Environment {
 public:
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(testing::TempDir() + "voice-install-" + std::to_string(getpid()), ec);
  }
};
const auto* const kCleanRoots = testing::AddGlobalTestEnvironment(new CleanRoots);

InstallReport Install(const std::string& root, const std::vector<InstallFile>& files) {
  InstallReport report;
  std::string error;
  EXPECT_TRUE(InstallFiles(root, files, &report, &error)) << error;
  return report;
}

const char* kA = "zanvel/som/letras/_65.wav";
const char* kB = "zanvel/som/falatro/FTOPCAO.wav";

TEST(VoiceInstall, FirstInstallWritesEverythingAndAgainChangesNothing) {
  std::string root = FreshRoot("first");
  InstallReport first = Install(root, {{kA, Bytes("a1")}, {kB, Bytes("b1")}});
  EXPECT_EQ(first.Written, 2);
  EXPECT_EQ(Content(JoinPath(root, kA)), "a1");
  InstallReport again = Install(root, {{kA, Bytes("a1")}, {kB, Bytes("b1")}});
  EXPECT_EQ(again.Written + again.Regenerated + again.Kept + again.Removed, 0);
  EXPECT_EQ(again.Unchanged, 2);
}

TEST(VoiceInstall, RulesForFilesAlreadyThere) {
  struct Case {
    const char* what;
    bool installed_before;       // the voice wrote kA earlier
    const char* user_content;    // what the user left at kA, nullptr for untouched
    bool user_deleted;
    const char* expect_after;    // kA after installing the changed voice "a2"
    bool expect_kept;
  };
  const Case cases[] = {
      {"own unchanged file follows the new voice", true, nullptr, false, "a2", false},
      {"file replaced by the user stays", true, "my recording", false, "my recording", true},
      {"file the user put there before any install stays", false, "mine", false, "mine", true},
      {"own file the user deleted comes back", true, nullptr, true, "a2", false},
  };
  for (const Case& c : cases) {
    std::string root = FreshRoot("rules");
    std::string path = JoinPath(root, kA);
    if (c.installed_before) Install(root, {{kA, Bytes("a1")}});
    if (c.user_content) Put(path, c.user_content);
    if (c.user_deleted) unlink(path.c_str());
    InstallReport r = Install(root, {{kA, Bytes("a2")}});
    EXPECT_EQ(Content(path), c.expect_after) << c.what;
    EXPECT_EQ(r.Kept, c.expect_kept ? 1 : 0) << c.what;
    // A file once the user's is never taken back, even when the voice changes again or the user's
    // content happens to equal an older voice.
    if (c.expect_kept) {
      Install(root, {{kA, Bytes("a3")}});
      EXPECT_EQ(Content(path), c.expect_after) << c.what << " (second change of voice)";
    }
  }
}

TEST(VoiceInstall, AUserRecordingUnderAnotherLetterCaseWins) {
  // The program finds "_65.wav" as "_65.WAV" too: the voice's own copy must not hide the user's.
  for (bool installed_before : {false, true}) {
    SCOPED_TRACE(installed_before ? "the user's file came after an install" : "the user's file came first");
    std::string root = FreshRoot("case");
    const std::string own = JoinPath(root, kA);
    const std::string users = JoinPath(root, "zanvel/som/letras/_65.WAV");
    if (installed_before) Install(root, {{kA, Bytes("a1")}});
    Put(users, "my recording");
    InstallReport r = Install(root, {{kA, Bytes("a2")}});
    EXPECT_EQ(r.Kept, 1);
    EXPECT_FALSE(FileExists(own));
    EXPECT_EQ(Content(users), "my recording");
    EXPECT_EQ(FindFileNoCase(own), users);
  }
}

TEST(VoiceInstall, FilesTheVoiceNoLongerHasAreRemovedOnlyWhenOwnAndUnchanged) {
  std::string root = FreshRoot("removed");
  Install(root, {{kA, Bytes("a1")}, {kB, Bytes("b1")}});
  Put(JoinPath(root, kB), "edited by the user");
  InstallReport r = Install(root, {});
  EXPECT_EQ(r.Removed, 1);
  EXPECT_FALSE(FileExists(JoinPath(root, kA)));
  EXPECT_EQ(Content(JoinPath(root, kB)), "edited by the user");
}

TEST(VoiceInstall, DamagedManifestNeverCostsUserFiles) {
  struct Case { const char* what; const char* manifest; };
  const Case cases[] = {
      {"garbage lines", "not a manifest\n\x01\x02\n"},
      {"hash of other content", "0000000000000000 zanvel/som/letras/_65.wav\n"},
      {"path leaving the root", "0123456789abcdef ../../etc/passwd\n"},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    std::string root = FreshRoot("manifest");
    Put(JoinPath(root, kA), "user");
    Put(JoinPath(root, kManifestName), c.manifest);
    InstallReport r = Install(root, {{kA, Bytes("voice")}});
    EXPECT_EQ(Content(JoinPath(root, kA)), "user") << c.what;
    EXPECT_EQ(r.Kept, 1) << c.what;
  }
}

TEST(VoiceInstall, UnwritableRootIsAnErrorNotASuccess) {
  // A root that is a plain file cannot hold directories, whoever runs the install.
  std::string root = FreshRoot("blocked") + "/file";
  Put(root, "not a directory");
  InstallReport r;
  std::string error;
  EXPECT_FALSE(InstallFiles(root, {{kA, Bytes("a")}}, &r, &error));
  EXPECT_FALSE(error.empty());
  bool written = false;
  error.clear();
  EXPECT_FALSE(InstallSuiteIni(root + "/win", "x", &written, &error));
  EXPECT_FALSE(written);
  EXPECT_FALSE(error.empty());
}

TEST(VoiceInstall, NarrixIniIsWrittenOnlyWhenNoneExists) {
  struct Case { const char* what; const char* existing_name; bool expect_written; };
  const Case cases[] = {
      {"no settings file", nullptr, true},
      {"settings file present", "NARRIX.INI", false},
      {"present in another letter case", "narrix.ini", false},
  };
  for (const Case& c : cases) {
    std::string dir = FreshRoot("ini") + "/windows";
    MakeDirectories(dir);
    if (c.existing_name) Put(JoinPath(dir, c.existing_name), "[TRADUTOR]\r\nVELOCIDADE=1\r\n");
    bool written = false;
    std::string error;
    ASSERT_TRUE(InstallSuiteIni(dir, "[TRADUTOR]\r\nVELOCIDADE=3\r\n", &written, &error)) << error;
    EXPECT_EQ(written, c.expect_written) << c.what;
    std::string name = c.existing_name ? c.existing_name : "NARRIX.INI";
    EXPECT_EQ(Content(JoinPath(dir, name)),
              c.existing_name ? "[TRADUTOR]\r\nVELOCIDADE=1\r\n" : "[TRADUTOR]\r\nVELOCIDADE=3\r\n")
        << c.what;
  }
}

TEST(VoiceInstall, MissingWindowsDirectoryIsCreated) {
  std::string dir = FreshRoot("ini-missing") + "/a/b/narrix";
  bool written = false;
  std::string error;
  ASSERT_TRUE(InstallSuiteIni(dir, "x", &written, &error)) << error;
  EXPECT_TRUE(written);
  EXPECT_EQ(Content(JoinPath(dir, "NARRIX.INI")), "x");
}

TEST(VoiceInstall, SettingsValuesAreSetInTheirSection) {
  const std::string ini = "[A]\r\nVOZ=1\r\n; VOZ=comment\r\n[SERVFALA]\r\nvelocidade=2\r\n Voz = 0 \r\nTOM=3\r\n";
  struct Case { const char* what; const char* section; const char* key; const char* expected; } cases[] = {
      {"a key of its own section only", "SERVFALA", "VOZ",
       "[A]\r\nVOZ=1\r\n; VOZ=comment\r\n[SERVFALA]\r\nvelocidade=2\r\nVOZ=96\r\nTOM=3\r\n"},
      {"letter case ignored", "servfala", "VELOCIDADE",
       "[A]\r\nVOZ=1\r\n; VOZ=comment\r\n[SERVFALA]\r\nVELOCIDADE=96\r\n Voz = 0 \r\nTOM=3\r\n"},
      {"a missing key opens the section", "A", "TIPOSAPI",
       "[A]\r\nTIPOSAPI=96\r\nVOZ=1\r\n; VOZ=comment\r\n[SERVFALA]\r\nvelocidade=2\r\n Voz = 0 \r\nTOM=3\r\n"},
      {"a missing section goes at the end", "NOVA", "K",
       "[A]\r\nVOZ=1\r\n; VOZ=comment\r\n[SERVFALA]\r\nvelocidade=2\r\n Voz = 0 \r\nTOM=3\r\n[NOVA]\r\nK=96\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(SetIniValue(ini, c.section, c.key, "96"), c.expected) << c.what;
}

TEST(VoiceInstall, ANewUserHearsRunningTextFromTheSystemVoice) {
  std::string text;
  std::string error;
  ASSERT_TRUE(MakeSuiteIni(FALATRO_SOURCE_DIR "/data", &text, &error)) << error;
  text = SetIniValue(text, "SERVFALA", "VOZ", "96");
  std::string dir = FreshRoot("new-user");
  Put(JoinPath(dir, "NARRIX.INI"), text);
  auto value = [&](const char* section, const char* key) {
    return GetProfileString(JoinPath(dir, "NARRIX.INI"), section, key, "", 256);
  };
  EXPECT_EQ(value("TRADUTOR", "SAPI"), "S");
  EXPECT_EQ(value("SERVFALA", "TIPOSAPI"), "4");
  EXPECT_EQ(value("SERVFALA", "VOZ"), "96");
}

}  // namespace
}  // namespace falatro
