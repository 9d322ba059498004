#include "engine/program_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "engine/programmer_manager.h"
#include "tests/support/temp_dir.h"

namespace korvan {
namespace {

using testing::TempDir;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

bool NeverWritable(const std::string&) { return false; }

class SettingsDirectoryTest : public ::testing::Test {
protected:
    TempDir program_;
    TempDir home_;
    ScopedEnv config_{"XDG_CONFIG_HOME", home_.file("config")};
};

TEST_F(SettingsDirectoryTest, AWritableProgramDirectoryKeepsTheSettingsItself) {
    EXPECT_EQ(SettingsDirectory(program_.dir()), program_.dir());
    EXPECT_FALSE(std::filesystem::exists(home_.file("config")));
}

TEST_F(SettingsDirectoryTest, AnInstalledCopyKeepsThemInTheUsersConfigurationDirectory) {
    program_.Write("Korvan.ini", "shipped settings");
    const std::string dir = SettingsDirectory(program_.dir(), NeverWritable);

    EXPECT_EQ(dir, home_.file("config") + "/korvan/");
    EXPECT_TRUE(std::filesystem::is_directory(dir));
    // The shipped record is where the user's starts; LastFile.ini is not shipped: none yet.
    EXPECT_EQ(home_.Read("config/korvan/Korvan.ini"), "shipped settings");
    EXPECT_FALSE(std::filesystem::exists(dir + "LastFile.ini"));

    // Once the user has saved, a later start keeps the user's record.
    program_.Write("Korvan.ini", "a newer shipped record");
    home_.Write("config/korvan/Korvan.ini", "the user's settings");
    EXPECT_EQ(SettingsDirectory(program_.dir(), NeverWritable), dir);
    EXPECT_EQ(home_.Read("config/korvan/Korvan.ini"), "the user's settings");
}

TEST_F(SettingsDirectoryTest, WithoutXdgConfigHomeItIsUnderHomeDotConfig) {
    ScopedEnv noConfig("XDG_CONFIG_HOME", "");
    ScopedEnv home("HOME", home_.path().string());
    EXPECT_EQ(SettingsDirectory(program_.dir(), NeverWritable), home_.dir() + ".config/korvan/");
}

TEST_F(SettingsDirectoryTest, AConfigurationDirectoryThatCannotBeMadeLeavesTheProgramDirectory) {
    home_.Write("config", "a file where the directory would go");
    EXPECT_EQ(SettingsDirectory(program_.dir(), NeverWritable), program_.dir());
}

TEST_F(SettingsDirectoryTest, ReadOnlyFilesComeFromTheUsersCopyFirstThenTheProgramDirectory) {
    const std::string settings = SettingsDirectory(program_.dir(), NeverWritable);
    std::filesystem::copy_file(testing::BuiltProgramDir() + "ChipList.chip", program_.file("ChipList.chip"));
    EXPECT_EQ(KeptFileDirectory(settings, program_.dir(), "ChipList.chip"), program_.dir());
    home_.Write("config/korvan/ChipList.chip", "the user's");
    EXPECT_EQ(KeptFileDirectory(settings, program_.dir(), "ChipList.chip"), settings);
    EXPECT_EQ(KeptFileDirectory(settings, program_.dir(), "FerrowIsp.ini"), program_.dir());

    // The manager loads the catalogue the same way: the shipped one has chips, the user's
    // copy (not a catalogue) none.
    ProgrammerManager manager;
    manager.SetProgramDirectory(program_.dir());
    EXPECT_EQ(manager.settingsDirectory(), program_.dir());
    manager.LoadChipList();
    EXPECT_FALSE(manager.catalogue().empty());
    manager.SetSettingsDirectory(settings);
    EXPECT_EQ(manager.KeptFileDirectory("ChipList.chip"), settings);
    manager.LoadChipList();
    EXPECT_TRUE(manager.catalogue().empty());
}

}  // namespace
}  // namespace korvan
