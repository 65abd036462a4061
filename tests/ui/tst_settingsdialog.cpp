#include "app/appstate.h"
#include "storage/preferencesrepository.h"
#include "ui/settingsdialog.h"

#include "testmain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

#include <memory>

namespace {

// The value a control shows, as text, so one column serves every kind.
QString shownValue(QWidget *control)
{
    if (auto *box = qobject_cast<QCheckBox *>(control))
        return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    if (auto *spin = qobject_cast<QSpinBox *>(control))
        return QString::number(spin->value());
    if (auto *combo = qobject_cast<QComboBox *>(control))
        return combo->currentData().toString();
    return QString();
}

// Changes a control the way the user would end up changing it.
void changeControl(QWidget *control, const QString &value)
{
    if (auto *box = qobject_cast<QCheckBox *>(control)) {
        if (box->isChecked() != (value == QLatin1String("1")))
            box->click();
    } else if (auto *spin = qobject_cast<QSpinBox *>(control)) {
        spin->setValue(value.toInt());
    } else if (auto *combo = qobject_cast<QComboBox *>(control)) {
        combo->setCurrentIndex(combo->findData(value));
    }
}

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void accountState_data();
    void accountState();

private:
    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<AppState> m_state;
};

void TestSettingsDialog::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_state = std::make_unique<AppState>();
    QString error;
    QVERIFY2(m_state->initialize(&error), qPrintable(error));
}

void TestSettingsDialog::cleanup()
{
    m_state.reset();
    m_dir.reset();
}

void TestSettingsDialog::controls_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored"); // empty: nothing stored yet
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("written");

    const QString on = QStringLiteral("1"), off = QStringLiteral("0"), none;
    const auto row = [](const char *name, const char *control, const char *key) -> QTestData & {
        return QTest::newRow(name) << QString::fromLatin1(control) << QString::fromLatin1(key);
    };
    row("theme default", "themeCombo", "theme_mode") << none << "system" << "dark" << "dark";
    row("theme stored", "themeCombo", "theme_mode") << "light" << "light" << "system" << "system";
    row("theme unknown text", "themeCombo", "theme_mode") << "Dark" << "system" << "light" << "light";
    row("steno default", "stenoModeCheck", "steno_mode") << none << off << on << on;
    row("body size stored", "bodySizeSpin", "editor_body_pt") << "14" << "14" << "9" << "9";
    row("body size not a number", "bodySizeSpin", "editor_body_pt") << "big" << "12" << "13" << "13";
    row("body size above 18", "bodySizeSpin", "editor_body_pt") << none << "12" << "40" << "18";
    row("body size below 9", "bodySizeSpin", "editor_body_pt") << none << "12" << "2" << "9";
    row("close to tray", "closeToTrayCheck", "close_to_tray") << none << off << on << on;
    row("auto sync default", "autoSyncCheck", "auto_sync") << none << on << off << off;
    row("auto sync stored off", "autoSyncCheck", "auto_sync") << off << off << on << on;
    row("interval below 1", "syncIntervalSpin", "sync_interval_minutes") << none << "5" << "0" << "1";
    row("interval above 120", "syncIntervalSpin", "sync_interval_minutes") << "60" << "60" << "500" << "120";
    row("offline banner default", "offlineBannerCheck", "show_offline_notification") << none << on << off << off;
}

// Each control starts at the stored value (or its default), opening the window
// writes nothing, and a change writes exactly its own key.
void TestSettingsDialog::controls()
{
    QFETCH(QString, control);
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QString, change);
    QFETCH(QString, written);

    PreferencesRepository *prefs = m_state->preferences();
    if (!stored.isEmpty())
        prefs->setString(key, stored);
    const std::optional<QString> before = prefs->value(key);
    QSignalSpy writes(prefs, &PreferencesRepository::changed);

    SettingsDialog dialog(m_state.get());
    auto *widget = dialog.findChild<QWidget *>(control);
    QVERIFY2(widget, qPrintable(control));
    QCOMPARE(shownValue(widget), shown);
    QCOMPARE(writes.count(), 0);
    QCOMPARE(prefs->value(key), before);

    changeControl(widget, change);
    QCOMPARE(prefs->value(key).value_or(QString()), written);
    QCOMPARE(writes.count(), 1);
    QCOMPARE(writes.at(0).at(0).toString(), key);
}

void TestSettingsDialog::accountState_data()
{
    QTest::addColumn<bool>("available");
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("shownName");
    QTest::addColumn<QStringList>("visibleButtons");

    QTest::newRow("this build: no sign-in")
        << false << false << "Not signed in" << "—" << QStringList{QStringLiteral("signInButton")};
    QTest::newRow("signed out") << true << false << "Not signed in" << "—"
                                << QStringList{QStringLiteral("signInButton")};
    QTest::newRow("signed in") << true << true << "Synced 2 minutes ago" << "ana@example.com"
                               << QStringList{QStringLiteral("manageAccountButton"), QStringLiteral("signOutButton")};
}

// The sync and account controls follow the account state they are given;
// without an account client the buttons are off.
void TestSettingsDialog::accountState()
{
    QFETCH(bool, available);
    QFETCH(bool, signedIn);
    QFETCH(QString, status);
    QFETCH(QString, shownName);
    QFETCH(QStringList, visibleButtons);

    SettingsDialog dialog(m_state.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.setSyncStatusText(QStringLiteral("Synced 2 minutes ago"));
    dialog.setAccountAvailable(available);
    dialog.setSignedIn(signedIn, QStringLiteral("ana@example.com"));

    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("syncStatusLabel"))->text(), status);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("accountNameLabel"))->text(), shownName);
    auto *syncNow = dialog.findChild<QPushButton *>(QStringLiteral("syncNowButton"));
    QCOMPARE(syncNow->isEnabled(), signedIn);
    QSignalSpy syncRequests(&dialog, &SettingsDialog::syncNowRequested);
    syncNow->click();
    QCOMPARE(syncRequests.count(), signedIn ? 1 : 0);

    const QStringList buttons{QStringLiteral("manageAccountButton"), QStringLiteral("signInButton"),
                              QStringLiteral("signOutButton")};
    dialog.onCategoryChanged(4);
    for (const QString &name : buttons) {
        auto *button = dialog.findChild<QPushButton *>(name);
        QVERIFY2(button, qPrintable(name));
        QCOMPARE(button->isVisible(), visibleButtons.contains(name));
        QCOMPARE(button->isEnabled(), available);
    }
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("accountNotice"))->isVisible(), !available);
}

LUMORA_TEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
