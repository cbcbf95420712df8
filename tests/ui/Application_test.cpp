// SPDX-License-Identifier: GPL-3.0-or-later
// The application object's desktop identity and the language of Qt's own dialogs.

#include "ui/Application.h"

#include <QIcon>

#include "UiTestSupport.h"

namespace oru::ui {
namespace {

TEST(ApplicationTest, ApplicationCarriesItsDesktopIdentityAndQtSpeaksTheWindowsLanguage) {
    TApplication* app = TApplication::instance();
    EXPECT_EQ(app->desktopFileName().toStdString(), kDesktopId);
    const QList<QSize> sizes = app->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(48, 48)) && sizes.contains(QSize(256, 256)))
        << "the window icon has " << sizes.size() << " sizes";
    ASSERT_TRUE(app->qtTranslationLoaded()) << "qtbase_zh_TW.qm (package qt6-translations-l10n)";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString(), "取消");
}

}  // namespace
}  // namespace oru::ui
