#include "ui/statusbar.h"

#include "testmain.h"

class TestStatusBar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void counts_data();
    void counts();
    void noteState_data();
    void noteState();
};

void TestStatusBar::counts_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");
    const QString work = QStringLiteral("Work");
    QTest::newRow("one") << work << 1 << QStringLiteral("Work (1 note)");
    QTest::newRow("two") << work << 2 << QStringLiteral("Work (2 notes)");
    QTest::newRow("no count") << work << -1 << QStringLiteral("Work");
    QTest::newRow("placeholder in label") << QStringLiteral("100%1 %2") << 3 << QStringLiteral("100%1 %2 (3 notes)");
}

void TestStatusBar::counts()
{
    QFETCH(QString, label);
    QFETCH(int, count);
    QFETCH(QString, expected);
    StatusBar bar;
    bar.setCounts(label, count);
    QCOMPARE(bar.countText(), expected);
}

void TestStatusBar::noteState_data()
{
    QTest::addColumn<QString>("calls"); // the editor's signals in order, space-separated
    QTest::addColumn<QString>("expected");
    QTest::newRow("after autosave") << "saved:0 words:12 saved:1" << QStringLiteral("Words: 12 \u00b7 Saved");
    QTest::newRow("no count, then saved") << "words:-1 saved:1" << QStringLiteral("Saved");
    QTest::newRow("save failed") << "saved:0 words:12 failed" << QStringLiteral("Words: 12 \u00b7 Not saved");
    QTest::newRow("failed, then saved") << "words:3 failed words:3 saved:1" << QStringLiteral("Words: 3 \u00b7 Saved");
    QTest::newRow("unsaved without count") << "saved:0" << QStringLiteral("Saving...");
}

void TestStatusBar::noteState()
{
    QFETCH(QString, calls);
    QFETCH(QString, expected);
    StatusBar bar;
    for (const QString &call : calls.split(QLatin1Char(' '))) {
        const QString value = call.section(QLatin1Char(':'), 1);
        if (call.startsWith(QLatin1String("words")))
            bar.setWordCount(value.toInt());
        else if (call == QLatin1String("failed"))
            bar.setSaveFailed();
        else
            bar.setSaveState(value == QLatin1String("1"));
    }
    QCOMPARE(bar.noteStateText(), expected);
}

LUMORA_TEST_MAIN(TestStatusBar)
#include "tst_statusbar.moc"
