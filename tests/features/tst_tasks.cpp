#include "features/tasks.h"

#include "../document/documenttest.h"
#include "testmain.h"

#include <QTest>

using DocumentTest::compact;
using DocumentTest::js;

namespace {

// One task in a line that is easy to read in a failure:
// "<line>:<offset> <source>[x| ] <text>", source C, M or T.
QString describe(const Task &task)
{
    static const char sources[] = { 'C', 'M', 'T' };
    return QStringLiteral("%1:%2 %3[%4] %5")
        .arg(QString::number(task.lineIndex), QString::number(task.charOffset),
            QString(QLatin1Char(sources[int(task.source)])), task.completed ? QStringLiteral("x") : QStringLiteral(" "),
            task.text);
}

QStringList describeAll(const QList<Task> &tasks)
{
    QStringList result;
    for (const Task &task : tasks)
        result << describe(task);
    return result;
}

QStringList ids(const QList<Task> &tasks)
{
    QStringList result;
    for (const Task &task : tasks)
        result << task.id;
    return result;
}

QList<Task> extract(const QString &body)
{
    return extractTasks(QStringLiteral("n1"), body, QDateTime());
}

} // namespace

class TestTasks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extraction_data();
    void extraction();
    void ids_data();
    void ids();
    void idsFollowLineAndText();
    void setChecked_data();
    void setChecked();
};

void TestTasks::extraction_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("checklist unchecked, trimmed")
        << js(R"([{"insert":"  buy milk\t"},{"attributes":{"list":"unchecked"},"insert":"\n"}])")
        << QStringList { QStringLiteral("0:0 C[ ] buy milk") };
    QTest::newRow("blank checklist line is no task but a line")
        << js(R"([{"insert":"   "},{"attributes":{"list":"unchecked"},"insert":"\n"},{"attributes":{"list":"checked"},"insert":"\n"},{"insert":"x"},{"attributes":{"list":"unchecked"},"insert":"\n"}])")
        << QStringList { QStringLiteral("2:5 C[ ] x") };
    QTest::newRow("checklist text is taken as written")
        << js(R"([{"insert":"- [x] TODO: a"},{"attributes":{"list":"unchecked"},"insert":"\n"}])")
        << QStringList { QStringLiteral("0:0 C[ ] - [x] TODO: a") };
    QTest::newRow("one checklist insert, two lines")
        << js(R"([{"insert":"a\nb\n","attributes":{"list":"checked"}}])")
        << QStringList { QStringLiteral("0:0 C[x] a"), QStringLiteral("1:2 C[x] b") };
    QTest::newRow("other lists are read as text")
        << js(R"([{"insert":"- [ ] in bullet"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"plain"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"odd"},{"attributes":{"list":"tick"},"insert":"\n"}])")
        << QStringList { QStringLiteral("0:0 M[ ] in bullet") };

    QTest::newRow("markdown boxes accepted")
        << js(R"([{"insert":"- [ ] open\n- [x] done\n- [X] Capital X\n-[ ]a\n-   [   ]   spaced  \n- [] no gap\n   - [ ] indented\n- [ ] TODO: box wins\n-[x]z\n"}])")
        << QStringList { QStringLiteral("0:0 M[ ] open"), QStringLiteral("1:11 M[x] done"),
               QStringLiteral("2:22 M[x] Capital X"), QStringLiteral("3:38 M[ ] a"), QStringLiteral("4:44 M[ ] spaced"),
               QStringLiteral("5:65 M[ ] no gap"), QStringLiteral("6:77 M[ ] indented"),
               QStringLiteral("7:95 M[ ] TODO: box wins"), QStringLiteral("8:116 M[x] z") };
    QTest::newRow("markdown lookalikes refused")
        << js(R"([{"insert":"- [ ]\n- [x]   \n* [ ] star\n[ ] no dash\n- [y] other mark\n- [ x ] spaced x\n-- [ ] two dashes\ntext - [ ] later\n- ( ) round\n"}])")
        << QStringList();

    QTest::newRow("todo prefixes accepted")
        << js(R"([{"insert":"TODO: call Bob\ntodo: lower\nToDo:tight\n  TODO:   indented  \n"}])")
        << QStringList { QStringLiteral("0:0 T[ ] call Bob"), QStringLiteral("1:15 T[ ] lower"),
               QStringLiteral("2:27 T[ ] tight"), QStringLiteral("3:38 T[ ] indented") };
    QTest::newRow("todo lookalikes refused")
        << js(R"([{"insert":"TODO:\nTODO:   \ntodo call\nTODO : spaced\nNote TODO: later\nTODOS: many\nTO DO: split\n"}])")
        << QStringList();

    QTest::newRow("embeds take a line but no offset")
        << js(R"([{"insert":{"image":"lumora-notes://attachment/a"}},{"insert":"\n"},{"insert":"TODO: after image\n"},{"insert":{"divider":true}},{"insert":"\n"},{"insert":"x"},{"attributes":{"list":"unchecked"},"insert":"\n"}])")
        << QStringList { QStringLiteral("1:1 T[ ] after image"), QStringLiteral("3:20 C[ ] x") };
    QTest::newRow("embed inside a line")
        << js(R"([{"insert":"TODO: see "},{"insert":{"image":"https://x/y.png"}},{"insert":"pic\n"},{"insert":"- [ ] b\n"}])")
        << QStringList { QStringLiteral("0:0 T[ ] see pic"), QStringLiteral("1:14 M[ ] b") };
    QTest::newRow("multi-line inserts, retain and delete skipped")
        << js(R"([{"retain":5},{"insert":"first line\nsecond\n"},{"delete":3},{"insert":"- [ ] third\nTODO: "},{"insert":"bold","attributes":{"bold":true}},{"insert":" part\n"}])")
        << QStringList { QStringLiteral("2:18 M[ ] third"), QStringLiteral("3:30 T[ ] bold part") };
    QTest::newRow("offsets in UTF-16 code units, as the editor counts")
        << QStringLiteral("[{\"insert\":\"\\ud83d\\ude00 \\u00e9\\nTODO: caf\\u00e9\\n\"}]")
        << QStringList { QStringLiteral("1:5 T[ ] caf\u00e9") };
    QTest::newRow("carriage return is trimmed") << js(R"([{"insert":"TODO: x\r\n- [x] y\r\n"}])")
                                                << QStringList { QStringLiteral("0:0 T[ ] x"), QStringLiteral("1:9 M[x] y") };
    QTest::newRow("text after the last newline is no line")
        << js(R"([{"insert":"a\nTODO: unfinished"}])") << QStringList();
    QTest::newRow("non-object elements skipped")
        << js(R"([1,"TODO: s\n",null,{"insert":"TODO: y\n"}])") << QStringList { QStringLiteral("0:0 T[ ] y") };

    QTest::newRow("broken json") << js(R"([{"insert":"TODO: x\n"})") << QStringList();
}

void TestTasks::extraction()
{
    QFETCH(QString, body);
    QFETCH(QStringList, expected);
    QCOMPARE(describeAll(extract(body)), expected);
}

void TestTasks::ids_data()
{
    QTest::addColumn<QString>("noteId");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("expected");

    // Digests from md5sum over the UTF-8 text.
    QTest::newRow("checklist") << QStringLiteral("n1")
                               << js(R"([{"insert":"buy milk "},{"attributes":{"list":"checked"},"insert":"\n"}])")
                               << QStringList { QStringLiteral("n1_0_179eff39") };
    QTest::newRow("hash of the text, not of the line")
        << QStringLiteral("n1") << js(R"([{"insert":"\n\n\n-  [x]  buy milk\n"}])")
        << QStringList { QStringLiteral("n1_3_179eff39") };
    QTest::newRow("same text on two lines")
        << QStringLiteral("n1") << js(R"([{"insert":"TODO: x\n- [ ] x\n"}])")
        << QStringList { QStringLiteral("n1_0_9dd4e461"), QStringLiteral("n1_1_9dd4e461") };
    QTest::newRow("percent signs in the note id") << QStringLiteral("a%2b%1") << js(R"([{"insert":"TODO: Ship it\n"}])")
                                                  << QStringList { QStringLiteral("a%2b%1_0_b583431e") };
}

void TestTasks::ids()
{
    QFETCH(QString, noteId);
    QFETCH(QString, body);
    QFETCH(QStringList, expected);
    QCOMPARE(::ids(extractTasks(noteId, body, QDateTime())), expected);
}

// The To-Dos screen keeps a task's identity while the note changes around it.
void TestTasks::idsFollowLineAndText()
{
    const QStringList before = ::ids(extract(js(
        R"([{"insert":"intro\n"},{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"TODO: b\n"}])")));
    QCOMPARE(before.size(), 2);

    // Ticking the box and rewording another line keep both ids.
    QCOMPARE(::ids(extract(js(
                 R"([{"insert":"longer intro\n"},{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"},{"insert":"TODO: b\n"}])"))),
        before);

    // A line added above moves both, so both ids change.
    const QStringList moved = ::ids(extract(js(
        R"([{"insert":"new\nintro\n"},{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"TODO: b\n"}])")));
    QCOMPARE(moved.size(), 2);
    QVERIFY(moved.at(0) != before.at(0));
    QVERIFY(moved.at(1) != before.at(1));

    // New words on the same line change that task's id only.
    const QStringList reworded = ::ids(extract(js(
        R"([{"insert":"intro\n"},{"insert":"a2"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"TODO: b\n"}])")));
    QVERIFY(reworded.at(0) != before.at(0));
    QCOMPARE(reworded.at(1), before.at(1));
}

void TestTasks::setChecked_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("line");
    QTest::addColumn<bool>("checked");
    // The body written back, or empty when the body must come back as it was.
    QTest::addColumn<QString>("expected");

    const char *threeLines = R"([{"insert":"a\nb\nc\n","attributes":{"list":"unchecked"}}])";
    QTest::newRow("multi-line insert, middle line split out")
        << js(threeLines) << 1 << true
        << compact(R"([{"attributes":{"list":"unchecked"},"insert":"a\nb"},{"attributes":{"list":"checked"},"insert":"\n"},{"attributes":{"list":"unchecked"},"insert":"c\n"}])");
    QTest::newRow("multi-line insert, first line")
        << js(threeLines) << 0 << true
        << compact(R"([{"attributes":{"list":"unchecked"},"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"},{"attributes":{"list":"unchecked"},"insert":"b\nc\n"}])");
    QTest::newRow("multi-line insert, last line")
        << js(threeLines) << 2 << true
        << compact(R"([{"attributes":{"list":"unchecked"},"insert":"a\nb\nc"},{"attributes":{"list":"checked"},"insert":"\n"}])");
    QTest::newRow("checked to unchecked, newline alone")
        << js(R"([{"insert":"title\n"},{"insert":"buy "},{"insert":"milk","attributes":{"bold":true}},{"attributes":{"list":"checked"},"insert":"\n"}])")
        << 1 << false
        << compact(R"([{"insert":"title\n"},{"insert":"buy "},{"attributes":{"bold":true},"insert":"milk"},{"attributes":{"list":"unchecked"},"insert":"\n"}])");
    QTest::newRow("other attributes kept")
        << js(R"([{"insert":"x\ny\n","attributes":{"list":"checked","bold":true,"align":"center"}}])") << 0 << false
        << compact(R"([{"attributes":{"align":"center","bold":true,"list":"checked"},"insert":"x"},{"attributes":{"align":"center","bold":true,"list":"unchecked"},"insert":"\n"},{"attributes":{"align":"center","bold":true,"list":"checked"},"insert":"y\n"}])");
    QTest::newRow("embeds, retains and deletes close no line")
        << js(R"([{"insert":{"image":"lumora-notes://attachment/a"}},{"insert":"\n"},{"retain":3},{"delete":1},{"insert":"t"},{"attributes":{"list":"unchecked"},"insert":"\n"}])")
        << 1 << true
        << compact(R"([{"insert":{"image":"lumora-notes://attachment/a"}},{"insert":"\n"},{"retain":3},{"delete":1},{"insert":"t"},{"attributes":{"list":"checked"},"insert":"\n"}])");
    QTest::newRow("non-ASCII text kept")
        << QStringLiteral("[{\"insert\":\"caf\u00e9 \U0001F600\\n\u00fcber\\n\",\"attributes\":{\"list\":\"checked\"}}]") << 1
        << false
        << QStringLiteral("[{\"attributes\":{\"list\":\"checked\"},\"insert\":\"caf\u00e9 \U0001F600\\n\u00fcber\"},"
                          "{\"attributes\":{\"list\":\"unchecked\"},\"insert\":\"\\n\"}]");

    // Unchanged, to the character.
    QTest::newRow("already in that state") << js(threeLines) << 1 << false << QString();
    QTest::newRow("line past the end") << js(threeLines) << 3 << true << QString();
    QTest::newRow("negative line") << js(threeLines) << -1 << true << QString();
    QTest::newRow("text after the last newline is no line")
        << js(R"([{"insert":"a\n"},{"insert":"b","attributes":{"list":"unchecked"}}])") << 1 << true << QString();
    QTest::newRow("typed box") << js(R"([{"insert":"- [ ] typed\n- [x] done\n"}])") << 0 << true << QString();
    QTest::newRow("bullet list") << js(R"([{"insert":"x"},{"attributes":{"list":"bullet"},"insert":"\n"}])") << 0
                                 << true << QString();
    QTest::newRow("list attribute on the text, not the newline")
        << js(R"([{"insert":"x","attributes":{"list":"unchecked"}},{"insert":"\n"}])") << 0 << true << QString();
    QTest::newRow("broken json") << js(R"([{"insert":"x"},{"attributes":{"list":"unchecked"},"insert":"\n"})") << 0
                                 << true << QString();
}

void TestTasks::setChecked()
{
    QFETCH(QString, body);
    QFETCH(int, line);
    QFETCH(bool, checked);
    QFETCH(QString, expected);

    const QString result = setTaskChecked(body, line, checked);
    if (expected.isEmpty()) {
        QCOMPARE(result, body);
        return;
    }
    QCOMPARE(result, expected);
    // The to-dos read back the same, but for the one line.
    QStringList before = describeAll(extract(body));
    for (QString &task : before) {
        if (task.startsWith(QString::number(line) + QLatin1Char(':')))
            task.replace(checked ? QStringLiteral("C[ ]") : QStringLiteral("C[x]"),
                         checked ? QStringLiteral("C[x]") : QStringLiteral("C[ ]"));
    }
    QCOMPARE(describeAll(extract(result)), before);
}

LUMORA_TEST_MAIN(TestTasks)
#include "tst_tasks.moc"
