// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/Language.h"
#include "platform/Messages.h"
#include "tests/platform/InLanguage.h"

namespace oru {
namespace {

using language::Language;

TEST(LanguageTest, ChosenLikeLinuxProgramsFromTheFirstVariableThatIsSet) {
    constexpr Language en = Language::English, zh = Language::TraditionalChinese;
    const struct {
        const char* languageVar;
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        Language expected;
    } cases[] = {
        {nullptr, nullptr, nullptr, nullptr, en},                  // nothing set
        {nullptr, nullptr, nullptr, "C", en},
        {nullptr, nullptr, nullptr, "POSIX", en},
        {nullptr, nullptr, nullptr, "C.UTF-8", en},
        {nullptr, nullptr, nullptr, "en_US.UTF-8", en},
        {nullptr, nullptr, nullptr, "zh_TW.UTF-8", zh},
        {nullptr, nullptr, nullptr, "zh_TW.Big5", zh},
        {nullptr, nullptr, nullptr, "zh_HK.UTF-8", zh},
        {nullptr, nullptr, nullptr, "zh_CN.UTF-8", zh},            // every zh variant: Traditional
        {nullptr, nullptr, nullptr, "zh", zh},
        {nullptr, nullptr, nullptr, "zu_ZA.UTF-8", en},            // not zh, though it starts with z
        {nullptr, nullptr, nullptr, "zhx", en},
        {"zh_TW", "C.UTF-8", "C", "C", zh},                       // LANGUAGE beats LC_ALL
        {"en", "zh_TW.UTF-8", nullptr, "zh_TW.UTF-8", en},
        {"zh_TW:en", nullptr, nullptr, "C", zh},                   // a list: its first entry counts
        {"en_GB:zh_TW", nullptr, nullptr, nullptr, en},
        {nullptr, "zh_TW.UTF-8", "en_US.UTF-8", "en_US.UTF-8", zh},  // LC_ALL beats LC_MESSAGES
        {nullptr, "C", "zh_TW.UTF-8", nullptr, en},
        {nullptr, nullptr, "zh_TW.UTF-8", "en_US.UTF-8", zh},        // LC_MESSAGES beats LANG
        {"", "", "", "zh_TW.UTF-8", zh},                            // empty values are skipped
        {"", "", "en_US.UTF-8", "zh_TW.UTF-8", en},
        {"", nullptr, nullptr, nullptr, en},
    };
    for (const auto& c : cases) {
        auto show = [](const char* v) { return v ? "\"" + std::string(v) + "\"" : std::string("unset"); };
        EXPECT_EQ(language::fromEnvironment(c.languageVar, c.lcAll, c.lcMessages, c.lang), c.expected)
            << "LANGUAGE=" << show(c.languageVar) << " LC_ALL=" << show(c.lcAll)
            << " LC_MESSAGES=" << show(c.lcMessages) << " LANG=" << show(c.lang);
    }
}

TEST(LanguageTest, CurrentReadsTheEnvironmentOnceUntilReset) {
    const char* saved = std::getenv("LANGUAGE");
    const std::string savedValue = saved ? saved : "";
    setenv("LANGUAGE", "zh_TW", 1);
    language::reset();
    EXPECT_EQ(language::current(), Language::TraditionalChinese);
    setenv("LANGUAGE", "en", 1);
    EXPECT_EQ(language::current(), Language::TraditionalChinese);  // chosen once
    language::reset();
    EXPECT_EQ(language::current(), Language::English);
    language::set(Language::TraditionalChinese);
    EXPECT_EQ(language::current(), Language::TraditionalChinese);
    if (saved) {
        setenv("LANGUAGE", savedValue.c_str(), 1);
    } else {
        unsetenv("LANGUAGE");
    }
    language::reset();
}

TEST(MessagesTest, PositionalValuesGoWhereTheTextPutsThem) {
    const struct {
        const char* text;
        std::string expected;
    } cases[] = {
        {"%1$s: %2$s", "a: b"},
        {"%2$s 中 %1$s", "b 中 a"},        // a translation may reorder them
        {"%1$s%1$s", "aa"},
        {"100%% of %1$s", "100% of a"},
        {"%3$s and %0$s stay", "%3$s and %0$s stay"},  // no such value
        {"%1$", "%1$"},
        {"%", "%"},
        {"%s", "%s"},
    };
    for (const auto& c : cases) EXPECT_EQ(messages::substitute(c.text, {"a", "b"}), c.expected) << c.text;
}

TEST(MessagesTest, TextsComeFromTheCatalogOfTheChosenLanguage) {
    {
        InLanguage english(Language::English);
        EXPECT_EQ(tr("%1$s: no such file", {"x.oru"}), "x.oru: no such file");
        EXPECT_EQ(trn("%1$s item could not be added", "%1$s items could not be added", 1, {"1"}),
                  "1 item could not be added");
        EXPECT_EQ(trn("%1$s item could not be added", "%1$s items could not be added", 2, {"2"}),
                  "2 items could not be added");
        EXPECT_EQ(tr("100% literal"), "100% literal");  // without values nothing is replaced
    }
    {
        InLanguage chinese(Language::TraditionalChinese);
        EXPECT_EQ(tr("%1$s: no such file", {"x.oru"}), "x.oru找不到這個檔案");
        EXPECT_EQ(trn("%1$s item could not be added", "%1$s items could not be added", 2, {"2"}),
                  "2 個項目無法加入");
        EXPECT_EQ(tr("a text the catalog lacks"), "a text the catalog lacks");
    }
    EXPECT_EQ(messages::lookup(Language::English, "%1$s: no such file"), nullptr);
    EXPECT_EQ(messages::lookup(Language::TraditionalChinese, ""), nullptr);  // the header is no text
}

}  // namespace
}  // namespace oru
