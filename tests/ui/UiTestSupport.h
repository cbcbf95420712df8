// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared pieces of the window tests: the application object (offscreen) with Qt's test paths below
// a home folder of the test program's own (so no test writes the user's settings, nor reads those
// of another test program running beside it), the design's language (Traditional Chinese, whatever the
// machine's locale), a fixed locale and clock, dialog answers that hold for one
// test, temporary folders, and small file helpers.

#include <gtest/gtest.h>

#include <QLocale>
#include <QStandardPaths>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Collation.h"
#include "platform/Language.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

namespace oru::ui::testing {

// One application object for the whole test program, made before the first test.
class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // A home of this program's own: test programs run side by side (ctest -j) then never read
        // each other's settings (Qt's test folders lie below the home folder).
        std::string pattern = ::testing::TempDir() + "oru_ui_home_XXXXXX";
        if (const char* made = mkdtemp(pattern.data())) {
            home_ = made;
            setenv("HOME", home_.c_str(), 1);
        }
        // Settings and other standard locations go to Qt's test folders, not the user's.
        QStandardPaths::setTestModeEnabled(true);
        // The tests check the design's texts; a test of another language switches and comes back.
        oru::language::set(oru::language::Language::TraditionalChinese);
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<TApplication>(argc, argv);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        oru::collation::resetLocale("en_US");
    }
    void TearDown() override {
        app_.reset();
        std::error_code ec;
        if (!home_.empty()) std::filesystem::remove_all(home_, ec);
    }

private:
    std::unique_ptr<TApplication> app_;
    std::string home_;
};

inline ::testing::Environment* const kUiEnvironment =
    ::testing::AddGlobalTestEnvironment(new UiEnvironment);

// Answers a test gives the window's dialogs ahead of time (ui/Dialogs.h) end with the test.
class ForgetDialogAnswers : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override { resetDialogAnswers(); }
};

inline const bool kForgetDialogAnswers = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new ForgetDialogAnswers);
    return true;
}();

// A fresh directory under the test temp folder, removed with everything in it afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = ::testing::TempDir() + "oru_ui_XXXXXX";
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void writeFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Collects what the central handler shows.
class ShownErrors {
public:
    ShownErrors() {
        TApplication::instance()->showError = [this](const QString& text) { texts.push_back(text.toStdString()); };
    }
    ~ShownErrors() { TApplication::instance()->showError = nullptr; }
    std::vector<std::string> texts;
};

// Fixes "now" for the test's lifetime.
class FixedClock {
public:
    explicit FixedClock(double now) {
        oru::clock::setNowForTesting([now] { return now; });
    }
    ~FixedClock() { oru::clock::setNowForTesting(nullptr); }
};

}  // namespace oru::ui::testing
