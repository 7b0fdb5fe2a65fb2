#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "base/error.h"
#include "common/settings_store_contract.h"
#include "platform/linux/settings_store_ini.h"

namespace tovi::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// ---- The INI text on its own -------------------------------------------

TEST(IniText, FindsKeysOnlyInTheirGroup) {
    const std::string text =
        "top=1\n"
        "[other]\n"
        "interval=9\n"
        "; interval=8\n"
        "[zuderari]\n"
        "# interval=7\n"
        "  interval  =  12  \r\n"
        "garbage line without equals\n"
        "=orphan\n"
        "[zuderari.sub]\n"
        "enabled=0\n";
    EXPECT_EQ(ini::findValue(text, "zuderari", "interval"), "12");
    EXPECT_EQ(ini::findValue(text, "other", "interval"), "9");
    EXPECT_EQ(ini::findValue(text, "zuderari", "enabled"), std::nullopt);
    EXPECT_EQ(ini::findValue(text, "zuderari", "top"), std::nullopt);
    EXPECT_EQ(ini::findValue(text, "zuderari", ""), std::nullopt);
    EXPECT_EQ(ini::findValue("", "zuderari", "interval"), std::nullopt);
    EXPECT_EQ(ini::findValue("[zuderari]\nupload=", "zuderari", "upload"), "");
    // The first of two lines wins, in any group of the name.
    EXPECT_EQ(ini::findValue("[zuderari]\na=1\n[x]\n[zuderari]\nb=2\na=3\n", "zuderari", "b"), "2");
    EXPECT_EQ(ini::findValue("[zuderari]\na=1\na=3\n", "zuderari", "a"), "1");
}

TEST(IniText, SetValueTouchesOnlyItsOwnLine) {
    const std::string before =
        "; kept comment\n"
        "[other]\n"
        "interval=9\n"
        "\n"
        "[zuderari]\n"
        "enabled = 1\r\n"
        "weird line\n"
        "interval=5\n"
        "\n"
        "[last]\n"
        "x=y";
    EXPECT_EQ(ini::setValue(before, "zuderari", "enabled", "0"),
              "; kept comment\n[other]\ninterval=9\n\n[zuderari]\nenabled=0\r\nweird line\n"
              "interval=5\n\n[last]\nx=y\n");
    // A new key goes at the end of the group, before the blank separator.
    EXPECT_EQ(ini::setValue(before, "zuderari", "upload_key", "2"),
              "; kept comment\n[other]\ninterval=9\n\n[zuderari]\nenabled = 1\r\nweird line\n"
              "interval=5\nupload_key=2\n\n[last]\nx=y\n");
    // A new group is appended after a blank line.
    EXPECT_EQ(ini::setValue("[other]\nx=1", "zuderari", "upload", "1"), "[other]\nx=1\n\n[zuderari]\nupload=1\n");
    EXPECT_EQ(ini::setValue("", "zuderari", "upload", "-1"), "[zuderari]\nupload=-1\n");
    EXPECT_EQ(ini::setValue("[zuderari]\n", "zuderari", "upload", "1"), "[zuderari]\nupload=1\n");
    // A key that stands in the second group of a name is replaced where it
    // is read, not duplicated into the first group.
    const std::string twice = "[zuderari]\na=1\n[x]\nb=0\n[zuderari]\nb=2\n";
    const std::string after = ini::setValue(twice, "zuderari", "b", "7");
    EXPECT_EQ(after, "[zuderari]\na=1\n[x]\nb=0\n[zuderari]\nb=7\n");
    EXPECT_EQ(ini::findValue(after, "zuderari", "b"), "7");
}

// A file saved on Windows keeps its byte order mark and its line endings.
// The cut-short last line was found by the fuzzer (fuzz/fuzz_ini.cpp; the
// input is kept in fuzz/corpus/fuzz_ini): a group header ending in a carriage
// return but no line feed. Adding a key after it wrote a second '\r', the
// header no longer read as one, and every key of the group was lost to the
// next read.
TEST(IniText, KeepsByteOrderMarkAndLineEndingsEvenOnACutShortLastLine) {
    const std::string text = "\xEF\xBB\xBF[zuderari]\r\ninterval=3\r\n";
    EXPECT_EQ(ini::findValue(text, "zuderari", "interval"), "3");
    EXPECT_EQ(ini::setValue(text, "zuderari", "interval", "4"), "\xEF\xBB\xBF[zuderari]\r\ninterval=4\r\n");
    EXPECT_EQ(ini::setValue(text, "zuderari", "upload", "0"), "\xEF\xBB\xBF[zuderari]\r\ninterval=3\r\nupload=0\r\n");
    EXPECT_EQ(ini::setValue(text, "other", "a", "0"), "\xEF\xBB\xBF[zuderari]\r\ninterval=3\r\n\r\n[other]\r\na=0\r\n");

    const std::string after = ini::setValue("[zuderari]\r", "zuderari", "interval", "3");
    EXPECT_EQ(after, "[zuderari]\r\ninterval=3\r\n");
    EXPECT_EQ(ini::findValue(after, "zuderari", "interval"), "3");
    const std::string withKey = ini::setValue("[zuderari]\r\nenabled=1\r", "zuderari", "upload", "0");
    EXPECT_EQ(ini::findValue(withKey, "zuderari", "enabled"), "1");
    EXPECT_EQ(ini::findValue(withKey, "zuderari", "upload"), "0");
}

TEST(IniText, RefusesWhatWouldBreakTheFile) {
    for (const char* section : {"", "a]b", "[a", "a\nb", " a", "a\r"}) {
        EXPECT_THROW(ini::setValue("", section, "k", "1"), Error) << section;
    }
    for (const char* key : {"", "a=b", "a\nb", "[a", ";a", "#a", " a", "a\t"}) {
        EXPECT_THROW(ini::setValue("", "s", key, "1"), Error) << key;
    }
    for (const char* value : {"1\n[s]", "1\r", " 1", "1 "}) {
        EXPECT_THROW(ini::setValue("", "s", "k", value), Error) << value;
    }
    EXPECT_THROW(ini::setValue("", "s", "k", std::string("1\0", 2)), Error);
}

// ---- The store on disk -----------------------------------------------------

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

// A folder of its own, removed with everything in it: the settings store
// contract's driver on the INI file, and the place of the tests below.
class IniDriver final : public contract::SettingsStoreDriver {
public:
    IniDriver() {
        char tmpl[] = "/tmp/tovi-ini-XXXXXX";
        if (::mkdtemp(tmpl)) root = tmpl;
    }
    ~IniDriver() override {
        ::chmod(root.c_str(), 0700);
        fs::remove_all(root);
    }
    std::unique_ptr<SettingsStore> makeStore() override { return std::make_unique<IniSettingsStore>(root); }
    fs::path root;
};

std::unique_ptr<contract::SettingsStoreDriver> makeIniDriver() { return std::make_unique<IniDriver>(); }

using contract::SettingsStoreContract;
INSTANTIATE_TEST_SUITE_P(Ini, SettingsStoreContract,
                         ::testing::Values(contract::SettingsStoreBackend{"ini", &makeIniDriver}));

class IniStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(root.empty()); }

    fs::path config() const { return root / "config"; }
    fs::path file() const { return config() / "Tovi" / "settings.ini"; }
    // Everything in the application's folder, to spot leftover temp files.
    std::vector<std::string> folder() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(config() / "Tovi")) names.push_back(e.path().filename());
        return names;
    }

    IniDriver place;
    const fs::path root = place.root;
};

// The file lives under $XDG_CONFIG_HOME when that is an absolute path, else
// under ~/.config; reading creates nothing there, the first write the file.
TEST_F(IniStoreTest, FindsItsFolderFromTheEnvironmentAndCreatesItOnlyToWrite) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "", savedHome = oldHome ? oldHome : "";

    ::setenv("XDG_CONFIG_HOME", config().c_str(), 1);
    ::setenv("HOME", (root / "home").c_str(), 1);
    EXPECT_EQ(IniSettingsStore().fileFor("Tovi"), file());
    EXPECT_EQ(IniSettingsStore().read("Tovi", "zuderari", "interval", "5"), "5");
    EXPECT_FALSE(fs::exists(config()));
    IniSettingsStore().write("Tovi", "zuderari", "interval", "-1");
    IniSettingsStore().write("Tovi", "zuderari", "upload", "0");
    EXPECT_EQ(slurp(file()), "[zuderari]\ninterval=-1\nupload=0\n");
    EXPECT_EQ(folder(), std::vector<std::string>{"settings.ini"});

    // A relative or empty XDG_CONFIG_HOME is not a configuration folder.
    ::setenv("XDG_CONFIG_HOME", "relative/path", 1);
    EXPECT_EQ(IniSettingsStore().fileFor("Tovi"), root / "home" / ".config" / "Tovi" / "settings.ini");
    ::setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(IniSettingsStore().fileFor("Tovi"), root / "home" / ".config" / "Tovi" / "settings.ini");

    if (oldXdg)
        ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}

TEST_F(IniStoreTest, WritingKeepsEverythingElseInTheFile) {
    const std::string before = "# written by hand\n[General]\ntheme=dark\n\n[zuderari]\nupload=1\n";
    spit(file(), before);
    ::chmod(file().c_str(), 0640);

    IniSettingsStore store(config());
    store.write("Tovi", "zuderari", "upload", "0");
    store.write("Tovi", "zuderari", "download_key", "2");
    EXPECT_EQ(slurp(file()), "# written by hand\n[General]\ntheme=dark\n\n[zuderari]\nupload=0\ndownload_key=2\n");
    struct stat st {};
    ASSERT_EQ(::stat(file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(folder(), std::vector<std::string>{"settings.ini"});
}

TEST_F(IniStoreTest, GarbledFilesReadAsAbsentKeysAndSurviveAWrite) {
    std::string garbage =
        "\x7f"
        "ELF\0\0\x01[zud\xff\xfe"
        "erari]\n=\n[[]]\n\0\0\0interval\n"s;
    for (int i = 0; i < 2000; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
    spit(file(), garbage);

    IniSettingsStore store(config());
    EXPECT_EQ(store.read("Tovi", "zuderari", "interval", "5"), "5");
    store.write("Tovi", "zuderari", "interval", "3");
    EXPECT_EQ(store.read("Tovi", "zuderari", "interval", "5"), "3");
    const std::string after = slurp(file());
    EXPECT_EQ(after.substr(0, garbage.size()), garbage);
}

TEST_F(IniStoreTest, UnusablePlacesReadAsDefaultsRefuseWritesAndAreLeftAlone) {
    IniSettingsStore store(config());

    // A file where the folder should be.
    spit(config() / "Tovi", "not a folder");
    EXPECT_EQ(store.read("Tovi", "zuderari", "upload_key", "2"), "2");
    EXPECT_THROW(store.write("Tovi", "zuderari", "upload_key", "0"), Error);
    EXPECT_EQ(slurp(config() / "Tovi"), "not a folder");
    fs::remove(config() / "Tovi");

    // A folder where the file should be.
    fs::create_directories(file());
    EXPECT_EQ(store.read("Tovi", "zuderari", "enabled", "1"), "1");
    EXPECT_THROW(store.write("Tovi", "zuderari", "enabled", "0"), Error);
    EXPECT_TRUE(fs::is_directory(file()));
    fs::remove_all(file());

    // A FIFO must not hang the reader.
    ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
    EXPECT_EQ(store.read("Tovi", "zuderari", "enabled", "1"), "1");
    EXPECT_THROW(store.write("Tovi", "zuderari", "enabled", "0"), Error);
    fs::remove(file());

    // A file far too big to be ours.
    const std::string big = "[zuderari]\nenabled=0\n" + std::string(IniSettingsStore::kMaxFileSize, '#');
    spit(file(), big);
    EXPECT_EQ(store.read("Tovi", "zuderari", "enabled", "1"), "1");
    EXPECT_THROW(store.write("Tovi", "zuderari", "enabled", "2"), Error);
    EXPECT_EQ(fs::file_size(file()), big.size());
}

TEST_F(IniStoreTest, ApplicationNamesCannotLeaveTheConfigurationFolder) {
    IniSettingsStore store(config());
    for (const char* app : {"", ".", "..", "../escape", "a/b"}) {
        EXPECT_THROW(store.write(app, "zuderari", "enabled", "1"), Error) << app;
        EXPECT_EQ(store.read(app, "zuderari", "enabled", "1"), "1") << app;
    }
    EXPECT_FALSE(fs::exists(root / "escape"));
}

// Dotfiles kept elsewhere: settings.ini is a relative link to a file in
// another folder. A write changes that file and keeps the link.
TEST_F(IniStoreTest, AWriteGoesThroughALinkAndKeepsIt) {
    spit(root / "dotfiles" / "tovi.ini", "[zuderari]\nenabled=1\n");
    fs::create_directories(file().parent_path());
    fs::create_symlink("../../dotfiles/tovi.ini", file());

    IniSettingsStore store(config());
    store.write("Tovi", "zuderari", "enabled", "0");
    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_EQ(slurp(root / "dotfiles" / "tovi.ini"), "[zuderari]\nenabled=0\n");
    EXPECT_EQ(folder(), std::vector<std::string>{"settings.ini"});
}

// The write runs out of room halfway (a file-size limit stands in for a full
// disk, since the tests run as root and permissions stop nothing): the old
// file must be untouched and no temporary file left behind.
TEST_F(IniStoreTest, AFailedWriteLeavesTheOldFileIntact) {
    std::string before = "[zuderari]\nenabled=1\n[notes]\n";
    for (int i = 0; i < 200; ++i) before += "line" + std::to_string(i) + "=some text to make the file long\n";
    spit(file(), before);

    IniSettingsStore store(config());
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(store.write("Tovi", "zuderari", "enabled", "0"), Error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(slurp(file()), before);
    EXPECT_EQ(folder(), std::vector<std::string>{"settings.ini"});
    EXPECT_EQ(store.read("Tovi", "zuderari", "enabled", "1"), "1");
}

}  // namespace
}  // namespace tovi::platform
