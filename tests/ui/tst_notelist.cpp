#include "app/appstate.h"
#include "document/textformats.h"
#include "storage/noterepository.h"
#include "ui/notelistdelegate.h"
#include "ui/notelistwidget.h"
#include "ui/relativetime.h"

#include "testmain.h"

#include <QImage>
#include <QKeyEvent>
#include <QLocale>
#include <QMimeData>
#include <QPainter>
#include <QSignalSpy>
#include <QToolTip>

namespace {

Note makeNote(const QString &id, const QString &body, SyncStatus status = SyncStatus::Synced, bool shared = false)
{
    Note note;
    note.id = id;
    note.body = body;
    note.notebookId = QStringLiteral("nb-") + id;
    note.updatedAt = QDateTime::currentDateTime().addSecs(-120);
    note.syncStatus = status;
    note.isShared = shared;
    return note;
}

QList<Note> makeNotes(const QStringList &ids)
{
    QList<Note> notes;
    for (const QString &id : ids)
        notes.append(makeNote(id, QStringLiteral("[{\"insert\":\"Title %1\\nBody\\n\"}]").arg(id)));
    return notes;
}

} // namespace

class TestNoteList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { setBodyFontPixelSize(0); }

    void relativeTimes_data();
    void relativeTimes();
    void trashedAgoTexts_data();
    void trashedAgoTexts();
    void texts_data();
    void texts();
    void metrics_data();
    void metrics();
    void colorThreshold_data();
    void colorThreshold();
    void setNotesKeepsCurrent();
    void userSignals();
    void keys_data();
    void keys();
    void dragData();
    void rolesAndPainting();
    void glyphToolTips_data();
    void glyphToolTips();
    void lazyRowsFarDown();
};

void TestNoteList::relativeTimes_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<QString>("expected");

    // A Wednesday afternoon.
    const QDateTime now(QDate(2024, 6, 12), QTime(15, 0));
    QTest::newRow("59 s") << now.addSecs(-59) << QStringLiteral("just now");
    QTest::newRow("61 s") << now.addSecs(-61) << QStringLiteral("1m ago");
    QTest::newRow("3599 s") << now.addSecs(-3599) << QStringLiteral("59m ago");
    QTest::newRow("3600 s") << now.addSecs(-3600) << QStringLiteral("1h ago");
    QTest::newRow("yesterday, under 24 h") << QDateTime(QDate(2024, 6, 11), QTime(20, 0)) << QStringLiteral("19h ago");
    QTest::newRow("yesterday, over 24 h") << QDateTime(QDate(2024, 6, 11), QTime(9, 30)) << QStringLiteral("Yesterday");
    QTest::newRow("six days") << QDateTime(QDate(2024, 6, 6), QTime(8, 0)) << QStringLiteral("Thursday");
    QTest::newRow("seven days") << QDateTime(QDate(2024, 6, 5), QTime(18, 0)) << QStringLiteral("Jun 5");
    QTest::newRow("other year") << QDateTime(QDate(2023, 12, 30), QTime(8, 0)) << QStringLiteral("Dec 30, 2023");
    QTest::newRow("future, 1 s") << now.addSecs(1) << QStringLiteral("Jun 12");
    QTest::newRow("same instant in UTC") << now.addSecs(-61).toUTC() << QStringLiteral("1m ago");
    QTest::newRow("invalid") << QDateTime() << QString();
}

void TestNoteList::relativeTimes()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(QString, expected);
    const QDateTime now(QDate(2024, 6, 12), QTime(15, 0));
    QCOMPARE(relativeTime(dateTime, now), expected);
}

void TestNoteList::trashedAgoTexts_data()
{
    QTest::addColumn<qint64>("secondsAgo");
    QTest::addColumn<QString>("expected");

    const qint64 day = 86400;
    QTest::newRow("59 s") << qint64(59) << QStringLiteral("Trashed just now");
    QTest::newRow("clock set back") << qint64(-600) << QStringLiteral("Trashed just now");
    QTest::newRow("1 minute") << qint64(60) << QStringLiteral("Trashed 1 minute ago");
    QTest::newRow("59 minutes") << qint64(3599) << QStringLiteral("Trashed 59 minutes ago");
    QTest::newRow("1 hour") << qint64(3600) << QStringLiteral("Trashed 1 hour ago");
    QTest::newRow("23 hours") << day - 1 << QStringLiteral("Trashed 23 hours ago");
    QTest::newRow("1 day") << day << QStringLiteral("Trashed 1 day ago");
    QTest::newRow("13 days") << 13 * day << QStringLiteral("Trashed 13 days ago");
    QTest::newRow("2 weeks") << 14 * day << QStringLiteral("Trashed 2 weeks ago");
    QTest::newRow("59 days") << 59 * day << QStringLiteral("Trashed 8 weeks ago");
    QTest::newRow("2 months") << 60 * day << QStringLiteral("Trashed 2 months ago");
    QTest::newRow("1 year") << 365 * day << QStringLiteral("Trashed 1 year ago");
    QTest::newRow("3 years") << 3 * 365 * day + 10 << QStringLiteral("Trashed 3 years ago");
}

void TestNoteList::trashedAgoTexts()
{
    QFETCH(qint64, secondsAgo);
    QFETCH(QString, expected);
    const QDateTime now(QDate(2024, 6, 12), QTime(15, 0), Qt::UTC);
    QCOMPARE(trashedAgo(now.addSecs(-secondsAgo), now), expected);
    // The same instant given in local time reads the same.
    QCOMPARE(trashedAgo(now.addSecs(-secondsAgo).toLocalTime(), now), expected);
    QCOMPARE(trashedAgo(QDateTime(), now), QString());
}

void TestNoteList::texts_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<bool>("untitled");

    const QString longLine = QString(130, QLatin1Char('x'));
    QTest::newRow("title and preview")
        << QStringLiteral("[{\"insert\":\"  Groceries \\nMilk\\n\\nEggs\\n\"}]") << QStringLiteral("Groceries")
        << QStringLiteral("Milk  Eggs") << false;
    QTest::newRow("preview moves up") << QStringLiteral("[{\"insert\":\"  \\nSecond line\\nThird\\n\"}]")
                                      << QStringLiteral("Second line Third") << QString() << true;
    QTest::newRow("empty note") << QStringLiteral("[{\"insert\":\"\\n\"}]") << QStringLiteral("Untitled")
                                << QString() << true;
    QTest::newRow("empty body") << QString() << QStringLiteral("Untitled") << QString() << true;
    QTest::newRow("embed line is no title")
        << QStringLiteral("[{\"insert\":{\"divider\":\"hr\"}},{\"insert\":\"\\nAfter\\n\"}]") << QStringLiteral("After")
        << QString() << true;
    QTest::newRow("legacy plain text") << QStringLiteral("Plain title\nplain body") << QStringLiteral("Plain title")
                                       << QStringLiteral("plain body") << false;
    QTest::newRow("long preview cut")
        << QStringLiteral("[{\"insert\":\"T\\n%1\\n\"}]").arg(longLine) << QStringLiteral("T")
        << QString(120, QLatin1Char('x')) + QStringLiteral("...") << false;
    // Rows with a null title only have to agree with the repository.
    const QString words = QStringLiteral("word ").repeated(40);
    QTest::newRow("escapes") << QStringLiteral(R"([{"insert":"T\u00e9st \"q\" \\ \/\tx\nnext\r\n"}])") << QString() << QString() << false;
    QTest::newRow("surrogate pair escape") << QStringLiteral(R"([{"insert":"\ud83d\ude00 smile\nok\n"}])") << QString() << QString() << false;
    QTest::newRow("attributes and numbers")
        << QStringLiteral(R"([{"insert":"Head"},{"insert":"\n","attributes":{"header":1,"w":-1.5e3,"a":[true,false,null]}},{"insert":"b\n"}])") << QString() << QString() << false;
    QTest::newRow("non-object ops") << QStringLiteral(R"([1,"x",null,{"insert":"Kept\nline\n"}])") << QString() << QString() << false;
    QTest::newRow("garbage at end is plain text") << QStringLiteral(R"([{"insert":"A\nB\n"}] x)") << QString() << QString() << false;
    QTest::newRow("broken late") << QStringLiteral(R"([{"insert":"A\n%1\n"},{"insert":tru}])").arg(words) << QString() << QString() << false;
    QTest::newRow("long preview, trailing spaces")
        << QStringLiteral(R"([{"insert":"T\n%1"},{"insert":"          \n \n"}])").arg(QString(118, QLatin1Char('y'))) << QString() << QString() << false;
}

void TestNoteList::texts()
{
    QFETCH(QString, body);
    QFETCH(QString, title);
    QFETCH(QString, preview);
    QFETCH(bool, untitled);
    const NoteListTexts texts = noteListTexts(body);
    const QString repositoryTitle = noteTitle(body);
    if (!title.isNull()) {
        QCOMPARE(texts.title, title);
        QCOMPARE(texts.preview, preview);
        QCOMPARE(texts.untitled, untitled);
    }
    // The one-pass reader must agree with the repository's own derivations.
    QCOMPARE(texts.untitled, repositoryTitle.isEmpty());
    if (texts.untitled) {
        QCOMPARE(texts.title, notePreview(body).isEmpty() ? QStringLiteral("Untitled") : notePreview(body));
        QCOMPARE(texts.preview, QString());
    } else {
        QCOMPARE(texts.title, repositoryTitle);
        QCOMPARE(texts.preview, notePreview(body));
    }
}

void TestNoteList::metrics_data()
{
    QTest::addColumn<int>("body");
    QTest::addColumn<QList<int>>("expected"); // title, preview, date, notebook, row

    QTest::newRow("unset counts as 16") << 0 << QList<int>{15, 13, 11, 12, 91};
    QTest::newRow("negative counts as 16") << -4 << QList<int>{15, 13, 11, 12, 91};
    // 22.5, 19.5, 16.5 round up; 29.9 + 26 + 20.4 + 41.
    QTest::newRow("24, halves round up") << 24 << QList<int>{23, 20, 17, 18, 117};
    QTest::newRow("8, minimums") << 8 << QList<int>{10, 9, 8, 9, 76};
}

void TestNoteList::metrics()
{
    QFETCH(int, body);
    QFETCH(QList<int>, expected);
    const NoteListMetrics m = noteListMetrics(body);
    QCOMPARE((QList<int>{m.title, m.preview, m.date, m.notebook, m.rowHeight}), expected);

    // The delegate follows the process-wide body size.
    setBodyFontPixelSize(body);
    NoteListDelegate delegate;
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 333, 10);
    QCOMPARE(delegate.sizeHint(option, QModelIndex()), QSize(333, expected.last()));
}

void TestNoteList::colorThreshold_data()
{
    QTest::addColumn<int>("gray");
    QTest::addColumn<bool>("light");
    QTest::newRow("128 is light") << 128 << true;
    QTest::newRow("127 is dark") << 127 << false;
}

void TestNoteList::colorThreshold()
{
    QFETCH(int, gray);
    QFETCH(bool, light);
    QPalette palette;
    const QColor base(gray, gray, gray);
    palette.setColor(QPalette::Active, QPalette::Base, base);
    // Inactive group must not matter.
    palette.setColor(QPalette::Inactive, QPalette::Base, light ? Qt::black : Qt::white);
    const auto colors = noteListColors(palette);
    QCOMPARE(colors[RowColor], base);
    QCOMPARE(colors[SelectedColor], light ? base.darker(108) : base.lighter(150));
    QVERIFY(light ? colors[HoverColor].lightness() < gray : colors[HoverColor].lightness() > gray);
}

void TestNoteList::setNotesKeepsCurrent()
{
    NoteListWidget list;
    QSignalSpy selected(&list, &NoteListWidget::noteSelected);
    list.setNotes(makeNotes({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(list.currentNoteId(), QString());
    QCOMPARE(selected.count(), 0);

    list.selectNote(QStringLiteral("b"));
    QCOMPARE(list.currentNoteId(), QStringLiteral("b"));
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.takeFirst().at(0).toString(), QStringLiteral("b"));

    list.selectNote(QStringLiteral("missing"));
    QCOMPARE(list.currentNoteId(), QStringLiteral("b"));

    // Reordered refresh: same note current, at its new row, silently.
    list.setNotes(makeNotes({QStringLiteral("new"), QStringLiteral("c"), QStringLiteral("b"), QStringLiteral("b")}));
    QCOMPARE(list.currentRow(), 2);
    QCOMPARE(list.currentNoteId(), QStringLiteral("b"));
    QCOMPARE(selected.count(), 0);

    // Refresh without it: nothing current, still silent.
    list.setNotes(makeNotes({QStringLiteral("a"), QStringLiteral("c")}));
    QCOMPARE(list.currentNoteId(), QString());
    QCOMPARE(selected.count(), 0);
    QVERIFY(!list.signalsBlocked());

    list.setCurrentRow(1);
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.takeFirst().at(0).toString(), QStringLiteral("c"));
}

void TestNoteList::userSignals()
{
    NoteListWidget list;
    list.resize(400, 600);
    list.setNotes(makeNotes({QStringLiteral("a"), QStringLiteral("b")}));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    QSignalSpy menu(&list, &NoteListWidget::noteContextMenuRequested);
    QSignalSpy doubleClicked(&list, &NoteListWidget::noteDoubleClicked);
    const QPoint onB = list.visualRect(list.model()->index(1, 0)).center();
    Q_EMIT list.customContextMenuRequested(onB);
    QCOMPARE(menu.count(), 1);
    QCOMPARE(menu.at(0).at(0).toString(), QStringLiteral("b"));
    QCOMPARE(menu.at(0).at(1).toPoint(), list.viewport()->mapToGlobal(onB));

    // Below the last row: no note, no signal.
    Q_EMIT list.customContextMenuRequested(QPoint(10, list.viewport()->height() - 2));
    QCOMPARE(menu.count(), 1);

    Q_EMIT list.doubleClicked(list.model()->index(0, 0));
    QCOMPARE(doubleClicked.count(), 1);
    QCOMPARE(doubleClicked.at(0).at(0).toString(), QStringLiteral("a"));
}

void TestNoteList::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("currentRow");
    QTest::addColumn<int>("activated");
    QTest::addColumn<int>("deleteRequested");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("rowAfter");

    QTest::newRow("return") << int(Qt::Key_Return) << 1 << 1 << 0 << true << 1;
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << 0 << 1 << 0 << true << 0;
    QTest::newRow("delete") << int(Qt::Key_Delete) << 2 << 0 << 1 << true << 2;
    QTest::newRow("delete, no current row") << int(Qt::Key_Delete) << -1 << 0 << 0 << false << -1;
    // Default handling still moves through the list.
    QTest::newRow("down") << int(Qt::Key_Down) << 0 << 0 << 0 << true << 1;
}

void TestNoteList::keys()
{
    QFETCH(int, key);
    QFETCH(int, currentRow);
    QFETCH(int, activated);
    QFETCH(int, deleteRequested);
    QFETCH(bool, accepted);
    QFETCH(int, rowAfter);

    NoteListWidget list;
    list.setNotes(makeNotes({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    if (currentRow >= 0)
        list.setCurrentRow(currentRow);
    QSignalSpy activatedSpy(&list, &NoteListWidget::noteActivated);
    QSignalSpy deleteSpy(&list, &NoteListWidget::noteDeleteRequested);

    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &event);
    QCOMPARE(event.isAccepted(), accepted);
    QCOMPARE(activatedSpy.count(), activated);
    QCOMPARE(deleteSpy.count(), deleteRequested);
    const QString expectedId = currentRow >= 0 ? QStringLiteral("abc").mid(currentRow, 1) : QString();
    if (activated)
        QCOMPARE(activatedSpy.at(0).at(0).toString(), expectedId);
    if (deleteRequested)
        QCOMPARE(deleteSpy.at(0).at(0).toString(), expectedId);
    QCOMPARE(list.currentRow(), rowAfter);
}

void TestNoteList::dragData()
{
    NoteListWidget list;
    QCOMPARE(list.mimeTypes(), QStringList{QStringLiteral("application/x-lumora-note-id")});

    const QString id = QStringLiteral(u"n\u00F6te-\u00FC");
    list.setNotes(makeNotes({id, QStringLiteral("other")}));
    QAbstractItemModel *model = list.model();

    QVERIFY(!model->mimeData({}));
    std::unique_ptr<QMimeData> data(model->mimeData({model->index(0, 0), model->index(1, 0)}));
    QVERIFY(data);
    QCOMPARE(data->formats(), QStringList{QStringLiteral("application/x-lumora-note-id")});
    QCOMPARE(data->data(QStringLiteral("application/x-lumora-note-id")), id.toUtf8());
}

void TestNoteList::rolesAndPainting()
{
    NoteListWidget list;
    Note a = makeNote(QStringLiteral("a"), QStringLiteral("[{\"insert\":\"Alpha\\nmore\\n\"}]"), SyncStatus::Conflict,
                      true);
    a.updatedAt = QDateTime(QDate(2024, 2, 3), QTime(4, 5), Qt::UTC);
    const Note b = makeNote(QStringLiteral("b"), QStringLiteral("[{\"insert\":\"\\n\"}]"), SyncStatus::Pending);

    list.setNotes({a, b});
    QCOMPARE(list.model()->index(0, 0).data(260).toString(), QString()); // no resolver yet

    list.setNotebookNameResolver(
        [](const QString &id) { return id == QLatin1String("nb-a") ? QStringLiteral("Work") : QString(); });
    list.setNotes({a, b});
    const QModelIndex first = list.model()->index(0, 0);
    QCOMPARE(first.data(256).toString(), QStringLiteral("a"));
    QCOMPARE(first.data(257).toString(), QStringLiteral("Alpha"));
    QCOMPARE(first.data(258).toString(), QStringLiteral("more"));
    QCOMPARE(first.data(259).toDateTime(), a.updatedAt);
    QCOMPARE(first.data(260).toString(), QStringLiteral("Work"));
    QCOMPARE(first.data(261).toBool(), false);
    QCOMPARE(first.data(262).toBool(), true);
    QCOMPARE(first.data(263).toInt(), 2);
    const QModelIndex second = list.model()->index(1, 0);
    QCOMPARE(second.data(257).toString(), QStringLiteral("Untitled"));
    QCOMPARE(second.data(260).toString(), QString());
    QCOMPARE(second.data(261).toBool(), true);
    QCOMPARE(second.data(262).toBool(), false);
    QCOMPARE(second.data(263).toInt(), 0);

    // Painting: row 0 is the shared conflict, row 1 a plain note.
    const int height = noteListMetrics(effectiveBodyFontPixelSize()).rowHeight;
    QPalette palette;
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, QColor(30, 30, 30));
    palette.setColor(QPalette::Highlight, QColor(40, 110, 220));
    const auto colors = noteListColors(palette);
    const int width = 360;
    auto render = [&](int row, QStyle::State state) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::black);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.palette = palette;
        option.state = QStyle::State_Enabled | state;
        QPainter painter(&image);
        list.itemDelegate()->paint(&painter, option, list.model()->index(row, 0));
        return image;
    };
    auto conflictPixels = [&](const QImage &image) { // glyph squares at the right end of the title line
        const QColor glyph = colors[ConflictColor];
        int hits = 0;
        for (int y = 16; y < 16 + 30; ++y)
            for (int x = width - 24 - 60; x < width - 20; ++x) {
                const QRgb p = image.pixel(x, y);
                const int distance = qAbs(qRed(p) - glyph.red()) + qAbs(qGreen(p) - glyph.green())
                    + qAbs(qBlue(p) - glyph.blue());
                hits += distance < 40;
            }
        return hits;
    };
    const QImage selected = render(0, QStyle::State_Selected);
    const QImage normal = render(0, {});
    const QImage hovered = render(1, QStyle::State_MouseOver);

    // Selection bar two pixels wide, 16 pixels in from top and bottom.
    QCOMPARE(QColor(selected.pixel(0, height / 2)).name(), colors[AccentColor].name());
    QCOMPARE(QColor(selected.pixel(1, height / 2)).name(), colors[AccentColor].name());
    QCOMPARE(QColor(selected.pixel(2, height / 2)).name(), colors[SelectedColor].name());
    QCOMPARE(QColor(normal.pixel(0, height / 2)).name(), colors[RowColor].name());
    QCOMPARE(QColor(hovered.pixel(0, height / 2)).name(), colors[HoverColor].name());
    // Separator along the bottom.
    QCOMPARE(QColor(normal.pixel(width / 2, height - 1)).name(), colors[SeparatorColor].name());

    QVERIFY(conflictPixels(normal) > 0);
    QCOMPARE(conflictPixels(hovered), 0);
}

void TestNoteList::glyphToolTips_data()
{
    QTest::addColumn<bool>("shared");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("syncEnabled");
    QTest::addColumn<QStringList>("expected"); // each glyph's tooltip, left to right

    const QString shared = NoteListDelegate::glyphText(NoteListGlyph::Shared);
    const QString pending = NoteListDelegate::glyphText(NoteListGlyph::Pending);
    const QString conflict = NoteListDelegate::glyphText(NoteListGlyph::Conflict);
    QTest::newRow("pending, signed out") << false << int(SyncStatus::Pending) << false << QStringList();
    QTest::newRow("pending, signed in") << false << int(SyncStatus::Pending) << true << QStringList { pending };
    QTest::newRow("shared pending, signed out") << true << int(SyncStatus::Pending) << false << QStringList { shared };
    QTest::newRow("shared pending, signed in")
        << true << int(SyncStatus::Pending) << true << QStringList { shared, pending };
    QTest::newRow("conflict, signed out") << false << int(SyncStatus::Conflict) << false << QStringList { conflict };
    QTest::newRow("shared conflict") << true << int(SyncStatus::Conflict) << true << QStringList { shared, conflict };
    QTest::newRow("synced") << false << int(SyncStatus::Synced) << true << QStringList();
}

void TestNoteList::glyphToolTips()
{
    QFETCH(bool, shared);
    QFETCH(int, status);
    QFETCH(bool, syncEnabled);
    QFETCH(QStringList, expected);

    NoteListWidget list;
    list.resize(360, 300);
    list.setSyncEnabled(syncEnabled);
    const QString body = QStringLiteral("[{\"insert\":\"Alpha\\n\"}]");
    list.setNotes({ makeNote(QStringLiteral("a"), body, SyncStatus(status), shared) });
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const auto *delegate = qobject_cast<NoteListDelegate *>(list.itemDelegate());
    QVERIFY(delegate);
    const QModelIndex index = list.model()->index(0, 0);
    const QRect row = list.visualRect(index);

    const QList<NoteListGlyph> glyphs = delegate->glyphs(row, index);
    QStringList texts;
    for (const NoteListGlyph &glyph : glyphs)
        texts << delegate->glyphToolTip(row, index, glyph.rect.center());
    QCOMPARE(texts, expected);

    // Nothing over the title, the preview, or between two glyphs.
    const int glyphY = glyphs.isEmpty() ? row.top() + 20 : glyphs.first().rect.center().y();
    QCOMPARE(delegate->glyphToolTip(row, index, QPoint(row.left() + 40, glyphY)), QString());
    QCOMPARE(delegate->glyphToolTip(row, index, QPoint(row.right() - 30, row.center().y() + 10)), QString());
    if (glyphs.size() == 2) {
        const int between = (glyphs.at(0).rect.right() + glyphs.at(1).rect.left()) / 2;
        QCOMPARE(delegate->glyphToolTip(row, index, QPoint(between, glyphY)), QString());
    }

    // Each glyph is painted inside its square.
    QImage image(row.size(), QImage::Format_RGB32);
    QStyleOptionViewItem option;
    option.rect = QRect(QPoint(0, 0), row.size());
    option.palette = list.palette();
    option.state = QStyle::State_Enabled;
    {
        QPainter painter(&image);
        list.itemDelegate()->paint(&painter, option, index);
    }
    const QColor background(image.pixel(2, 2));
    for (const NoteListGlyph &glyph : delegate->glyphs(option.rect, index)) {
        int inked = 0;
        for (int y = glyph.rect.top(); y <= glyph.rect.bottom(); ++y)
            for (int x = glyph.rect.left(); x <= glyph.rect.right(); ++x)
                inked += QColor(image.pixel(x, y)) != background;
        QVERIFY2(inked > 10, qPrintable(delegate->glyphText(glyph.kind)));
    }

    // The view asks the delegate: a tooltip event over the first glyph shows its text.
    if (!glyphs.isEmpty()) {
        const QPoint at = glyphs.first().rect.center();
        QHelpEvent event(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
        QApplication::sendEvent(list.viewport(), &event);
        QCOMPARE(QToolTip::text(), expected.first());
    }
}

void TestNoteList::lazyRowsFarDown()
{
    LumoraTest::ScopedDataDir dir;
    AppState state;
    QVERIFY(state.initialize());
    // More rows than a few pages; note i is i minutes old, so row r shows note r.
    constexpr int Count = 230;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < Count; ++i) {
        Note note = makeNote(QStringLiteral("n%1").arg(i), QStringLiteral("[{\"insert\":\"Note %1\\npreview %1\\n\"}]").arg(i));
        note.updatedAt = note.createdAt = note.modifiedAt = now.addSecs(-60 * i);
        QVERIFY(state.notes()->insert(note));
    }
    NoteListWidget list;
    list.setRepository(state.notes());
    list.setRowIds(state.notes()->listRowIds());
    list.resize(400, 500);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QCOMPARE(list.count(), Count);

    for (const int target : {Count - 1, 150, 97, 33}) {
        list.scrollTo(list.model()->index(target, 0), QAbstractItemView::PositionAtCenter);
        QCoreApplication::processEvents();
        const QModelIndex shown = list.indexAt(list.viewport()->rect().center());
        QVERIFY(shown.isValid());
        const int row = shown.row();
        QVERIFY(qAbs(row - target) <= 3);
        QCOMPARE(shown.data(NoteListWidget::TitleRole).toString(), QStringLiteral("Note %1").arg(row));
        QCOMPARE(shown.data(NoteListWidget::PreviewRole).toString(), QStringLiteral("preview %1").arg(row));
        QCOMPARE(shown.data(NoteListWidget::NoteIdRole).toString(), QStringLiteral("n%1").arg(row));
        // The last row of a page and the first of the next.
        QCOMPARE(list.noteIdAt(63), QStringLiteral("n63"));
        QCOMPARE(list.noteIdAt(64), QStringLiteral("n64"));
    }
    list.selectNote(QStringLiteral("n201"));
    QCOMPARE(list.currentRow(), 201);
    QCOMPARE(list.currentNoteId(), QStringLiteral("n201"));
}

LUMORA_TEST_MAIN(TestNoteList)
#include "tst_notelist.moc"
