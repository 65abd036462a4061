#include "document/layoutpacer.h"

#include "testmain.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

// Lines of one character: the text for which Qt's own steps, counted in
// characters, grow longest.
QString shortLines(int count)
{
    return QStringLiteral("x\n").repeated(count - 1) + QLatin1Char('x');
}

bool lastBlockLaidOut(const QTextDocument &document)
{
    return document.lastBlock().layout()->lineCount() > 0;
}

int laidOutTo(const QTextDocument &document)
{
    const QTextBlock block = LayoutPacer::firstBlockWithoutLines(&document);
    return block.isValid() ? block.position() : document.characterCount();
}

class TimerCounter : public QObject
{
public:
    std::function<bool()> allowed;
    int ticks = 0;
    int early = 0;

protected:
    void timerEvent(QTimerEvent *) override
    {
        ++ticks;
        if (!allowed())
            ++early;
    }
};

} // namespace

class TestLayoutPacer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void finishesInSlices_data();
    void finishesInSlices();
    void holdsTimersUntilTheCursorIsLaidOut();
};

void TestLayoutPacer::finishesInSlices_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("left alone") << QString();
    QTest::newRow("typing at the top") << QStringLiteral("type");
    QTest::newRow("narrower page") << QStringLiteral("narrow");
}

void TestLayoutPacer::finishesInSlices()
{
    QFETCH(QString, change);
    // 300,000 characters: Qt's doubling steps would take 128,000 and more
    // of them in one event-loop turn.
    const int lines = 150000;
    QTextDocument document;
    document.setPageSize(QSizeF(400, -1));
    LayoutPacer pacer;
    pacer.watch(&document);
    document.setPlainText(shortLines(lines));
    QVERIFY(!lastBlockLaidOut(document));

    int largestTurn = 0;
    int reached = laidOutTo(document);
    bool changed = false;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        const int now = laidOutTo(document);
        largestTurn = std::max(largestTurn, now - reached);
        reached = now;
        if (!changed && pacer.isPacing() && now > 20000) {
            changed = true;
            if (change == QLatin1String("type"))
                QTextCursor(&document).insertText(QStringLiteral("typed "));
            else if (change == QLatin1String("narrow"))
                document.setPageSize(QSizeF(200, -1));
            reached = laidOutTo(document);
        }
    });
    ticker.start(0);
    QTRY_VERIFY_WITH_TIMEOUT(lastBlockLaidOut(document), 30000);
    ticker.stop();
    QVERIFY(!pacer.isPacing());

    // Every block got its lines, and the paced layout is the one Qt makes
    // in one go.
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        QVERIFY2(block.layout()->lineCount() > 0, qPrintable(QString::number(block.blockNumber())));
    QTextDocument whole;
    whole.setPageSize(document.pageSize());
    whole.setPlainText(document.toPlainText());
    QCOMPARE(document.documentLayout()->documentSize(), whole.documentLayout()->documentSize());
    QCOMPARE(document.blockCount(), lines);
    QCOMPARE(document.firstBlock().text().startsWith(QLatin1String("typed ")), change == QLatin1String("type"));
    // A slice is a few milliseconds of work; no machine lays out 60,000
    // lines in that time, while Qt's own steps reach 200,000 characters.
    QVERIFY2(largestTurn < 120000, qPrintable(QString::number(largestTurn)));
}

void TestLayoutPacer::holdsTimersUntilTheCursorIsLaidOut()
{
    QTextDocument document;
    document.setPageSize(QSizeF(400, -1));
    LayoutPacer pacer;
    pacer.watch(&document);
    TimerCounter control;
    control.allowed = [&] { return lastBlockLaidOut(document); };
    pacer.holdTimers(&control, [&] { return document.characterCount() - 1; });
    document.setPlainText(shortLines(60000));
    QVERIFY(!lastBlockLaidOut(document));
    control.startTimer(1);

    QTRY_VERIFY_WITH_TIMEOUT(lastBlockLaidOut(document), 30000);
    QTRY_VERIFY(control.ticks > 0);
    QCOMPARE(control.early, 0);

    // With the cursor's line laid out the timers pass at once.
    const int before = control.ticks;
    QTextCursor(&document).insertText(QStringLiteral("top "));
    QTRY_VERIFY(control.ticks > before);
}

LUMORA_TEST_MAIN(TestLayoutPacer)
#include "tst_layoutpacer.moc"
