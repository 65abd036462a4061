#include "document/textformats.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"
#include "ui/imagelightbox.h"
#include "ui/noteeditor.h"

#include "testimages.h"
#include "testmain.h"

#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QGraphicsView>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>

#include <memory>

namespace {

using LumoraTest::pngOf;

// The positions of the attachment characters, in document order, with their ids.
QList<QPair<int, QString>> attachmentsIn(const QTextDocument *document)
{
    QList<QPair<int, QString>> found;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (format.objectType() == AttachmentObject) {
                QString id = format.property(EmbedValueProperty).toString();
                found.append({fragment.position(), id.remove(attachmentUrlPrefix())});
            }
        }
    }
    return found;
}

} // namespace

class TestAttachmentEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void insertFile_data();
    void insertFile();
    void insertRefused_data();
    void insertRefused();
    void pasteImage_data();
    void pasteImage();
    void dropFiles();
    void menuRemovesTheAttachment();
    void doubleClickOpensLightbox();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    // The middle of what is drawn for the attachment at position, in the
    // viewport.
    QPoint pointOn(int position) const;
    QStringList storedFiles() const;

    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_sources;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<NoteRepository> m_notes;
    std::unique_ptr<AttachmentRepository> m_attachments;
    std::unique_ptr<NoteEditor> m_editor;
};

void TestAttachmentEditor::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_sources = std::make_unique<QTemporaryDir>();
    m_database = std::make_unique<Database>();
    QVERIFY(m_database->open(databasePath()) && m_database->migrate());
    m_notes = std::make_unique<NoteRepository>(m_database.get());
    m_attachments = std::make_unique<AttachmentRepository>(m_database.get());
    Note note;
    note.id = QStringLiteral("n");
    note.body = QStringLiteral("[{\"insert\":\"First line\\n\"}]");
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    QVERIFY(m_notes->insert(note));
    m_editor = std::make_unique<NoteEditor>();
    m_editor->resize(800, 700);
    m_editor->setAttachmentRepository(m_attachments.get());
    m_editor->loadNote(note.id, note.body);
    m_editor->moveCursor(QTextCursor::End);
}

void TestAttachmentEditor::cleanup()
{
    m_editor.reset();
    m_attachments.reset();
    m_notes.reset();
    m_database.reset();
    m_sources.reset();
    m_dir.reset();
}

QString TestAttachmentEditor::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = m_sources->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

QPoint TestAttachmentEditor::pointOn(int position) const
{
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(position);
    const QRect caret = m_editor->cursorRect(cursor);
    return QPoint(caret.left() + 30, caret.center().y());
}

QStringList TestAttachmentEditor::storedFiles() const
{
    return QDir(m_attachments->directory()).entryList(QDir::Files | QDir::Hidden);
}

void TestAttachmentEditor::insertFile_data()
{
    QTest::addColumn<QString>("filename");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("mimeType");

    QTest::newRow("document") << QStringLiteral("report.pdf") << QByteArray("%PDF-1.4\n% body\n")
                              << QStringLiteral("application/pdf");
    QTest::newRow("picture") << QStringLiteral("chart.png") << pngOf(800, 600) << QStringLiteral("image/png");
    QTest::newRow("non-ASCII name") << QStringLiteral("Zusammenfassung für Ärzte ✓.txt") << QByteArray("plain text\n")
                                    << QStringLiteral("text/plain");
}

void TestAttachmentEditor::insertFile()
{
    QFETCH(QString, filename);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, mimeType);

    const QString path = writeFile(filename, bytes);
    QVERIFY(!path.isEmpty());
    QSignalSpy saved(m_editor.get(), &NoteEditor::savedStateChanged);
    QString error;
    QVERIFY2(m_editor->insertAttachmentFromPath(path, &error), qPrintable(error));

    const QList<Attachment> rows = m_attachments->forNote(QStringLiteral("n"));
    QCOMPARE(rows.size(), 1);
    const Attachment &row = rows.first();
    QCOMPARE(row.filename, filename);
    QCOMPARE(row.mimeType, mimeType);
    QCOMPARE(row.sizeBytes, qint64(bytes.size()));
    QCOMPARE(m_attachments->readFile(row.id), bytes);
    // The edit is reported like any other, so the note gets saved.
    QVERIFY(!saved.isEmpty());
    QCOMPARE(saved.first().first().toBool(), false);

    // On a line of its own after the line the cursor was on.
    const QString json = m_editor->currentJson();
    QCOMPARE(json, QStringLiteral("[{\"insert\":\"First line\"},{\"insert\":\"\\n\"},{\"insert\":{\"lumora-notes-attachment\":"
                                  "\"lumora-notes://attachment/%1\"}},{\"insert\":\"\\n\"},{\"insert\":\"\\n\"}]")
                       .arg(row.id));

    // Saved and opened again, in another editor: the same attachment, the same body.
    QCOMPARE(m_notes->saveEditedBody(QStringLiteral("n"), json), NoteRepository::SaveResult::Saved);
    NoteEditor reopened;
    reopened.setAttachmentRepository(m_attachments.get());
    reopened.loadNote(QStringLiteral("n"), m_notes->byId(QStringLiteral("n"))->body);
    const QList<QPair<int, QString>> objects = attachmentsIn(reopened.document());
    QCOMPARE(objects.size(), 1);
    QCOMPARE(objects.first().second, row.id);
    QCOMPARE(reopened.currentJson(), json);
}

void TestAttachmentEditor::insertRefused_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("empty file") << QStringLiteral("empty") << QStringLiteral("is empty");
    QTest::newRow("missing file") << QStringLiteral("missing") << QStringLiteral("cannot be read");
    QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("cannot be read");
    QTest::newRow("no note open") << QStringLiteral("no note") << QStringLiteral("Open a note");
    QTest::newRow("read-only note") << QStringLiteral("read-only") << QStringLiteral("Open a note");
}

void TestAttachmentEditor::insertRefused()
{
    QFETCH(QString, situation);
    QFETCH(QString, errorPart);

    QString path = writeFile(QStringLiteral("a.txt"), situation == QLatin1String("empty") ? QByteArray() : "text");
    if (situation == QLatin1String("missing"))
        path += QStringLiteral(".gone");
    else if (situation == QLatin1String("folder"))
        path = m_sources->path();
    else if (situation == QLatin1String("no note"))
        m_editor->clearNote();
    else if (situation == QLatin1String("read-only"))
        m_editor->setReadOnly(true);
    const QString before = m_editor->currentJson();

    QString error;
    QVERIFY(!m_editor->insertAttachmentFromPath(path, &error));
    QVERIFY2(error.contains(errorPart), qPrintable(error));
    QCOMPARE(m_editor->currentJson(), before);
    QVERIFY(m_attachments->forNote(QStringLiteral("n")).isEmpty());
    QVERIFY(storedFiles().isEmpty());
}

void TestAttachmentEditor::pasteImage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("asPicture");

    QTest::newRow("picture alone") << QString() << true;
    QTest::newRow("picture with its address") << QStringLiteral("https://example.com/p.png") << true;
    QTest::newRow("picture with text") << QStringLiteral("a table copied from a spreadsheet") << false;
}

void TestAttachmentEditor::pasteImage()
{
    QFETCH(QString, text);
    QFETCH(bool, asPicture);

    auto *data = new QMimeData;
    QImage image(300, 200, QImage::Format_ARGB32);
    image.fill(QColor(10, 200, 30));
    data->setImageData(image);
    if (!text.isEmpty())
        data->setText(text);
    QGuiApplication::clipboard()->setMimeData(data);
    QVERIFY(m_editor->canPaste());
    m_editor->paste();

    const QList<Attachment> rows = m_attachments->forNote(QStringLiteral("n"));
    QCOMPARE(rows.size(), asPicture ? 1 : 0);
    QCOMPARE(attachmentsIn(m_editor->document()).size(), asPicture ? 1 : 0);
    if (!asPicture) {
        QVERIFY(m_editor->toPlainText().contains(text));
        return;
    }
    QCOMPARE(rows.first().mimeType, QStringLiteral("image/png"));
    QVERIFY(rows.first().filename.startsWith(QLatin1String("Pasted image ")));
    QVERIFY(rows.first().filename.endsWith(QLatin1String(".png")));
    QImage stored;
    QVERIFY(stored.loadFromData(m_attachments->readFile(rows.first().id), "PNG"));
    QCOMPARE(stored.size(), QSize(300, 200));
    QCOMPARE(stored.pixelColor(150, 100), QColor(10, 200, 30));
    QCOMPARE(rows.first().sizeBytes, QFileInfo(m_attachments->filePath(rows.first().id)).size());
}

void TestAttachmentEditor::dropFiles()
{
    const QString pdf = writeFile(QStringLiteral("dropped.pdf"), "%PDF-1.4\n");
    const QString png = writeFile(QStringLiteral("dropped.png"), pngOf(40, 30));
    QWidget *viewport = m_editor->viewport();

    // A folder among files is passed over; a folder alone is the text
    // edit's to handle and attaches nothing.
    for (const bool withFiles : {false, true}) {
        QMimeData data;
        QList<QUrl> urls{QUrl::fromLocalFile(m_sources->path())};
        if (withFiles)
            urls << QUrl::fromLocalFile(pdf) << QUrl::fromLocalFile(png);
        data.setUrls(urls);
        const QPointF at(40, 10);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        if (withFiles)
            QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        QCOMPARE(m_attachments->forNote(QStringLiteral("n")).size(), withFiles ? 2 : 0);
    }
    const QList<QPair<int, QString>> objects = attachmentsIn(m_editor->document());
    QCOMPARE(objects.size(), 2);
    QCOMPARE(m_attachments->byId(objects.at(0).second)->filename, QStringLiteral("dropped.pdf"));
    QCOMPARE(m_attachments->byId(objects.at(1).second)->filename, QStringLiteral("dropped.png"));
}

void TestAttachmentEditor::menuRemovesTheAttachment()
{
    const QString path = writeFile(QStringLiteral("notes.pdf"), QByteArray(1536, 'x'));
    QVERIFY(m_editor->insertAttachmentFromPath(path));
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
    const QList<QPair<int, QString>> objects = attachmentsIn(m_editor->document());
    QCOMPARE(objects.size(), 1);
    const auto [position, id] = objects.first();
    QWidget *viewport = m_editor->viewport();
    const QPoint on = pointOn(position);
    const QPoint beside(on.x() + 400, on.y()); // same line, past the chip
    QCOMPARE(m_editor->attachmentPositionAt(on), position);
    QCOMPARE(m_editor->attachmentPositionAt(beside), -1);

    QTimer::singleShot(50, this, [] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        for (QAction *action : menu->actions()) {
            if (action->text() == QLatin1String("Remove Attachment"))
                action->trigger();
        }
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, on, viewport->mapToGlobal(on));
    QApplication::sendEvent(viewport, &event);
    QVERIFY(attachmentsIn(m_editor->document()).isEmpty());
    QVERIFY(!m_attachments->byId(id));
    QVERIFY(storedFiles().isEmpty());
    QVERIFY(!m_editor->currentJson().contains(QLatin1String("lumora-notes-attachment")));
}

void TestAttachmentEditor::doubleClickOpensLightbox()
{
    const QString path = writeFile(QStringLiteral("wide.png"), pngOf(1000, 800));
    QVERIFY(m_editor->insertAttachmentFromPath(path));
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
    const int position = attachmentsIn(m_editor->document()).first().first;

    QTest::mouseDClick(m_editor->viewport(), Qt::LeftButton, {}, pointOn(position));
    QPointer<ImageLightbox> lightbox = m_editor->findChild<ImageLightbox *>();
    QVERIFY(lightbox);
    QVERIFY(QTest::qWaitForWindowExposed(lightbox));
    // Opened fitted: the whole picture in the view.
    const qreal fitted = lightbox->zoom();
    QVERIFY(fitted > 0 && fitted < 1);
    const QRectF shown = lightbox->view()->mapFromScene(QRectF(0, 0, 1000, 800)).boundingRect();
    QVERIFY(lightbox->view()->viewport()->rect().adjusted(-2, -2, 2, 2).contains(shown.toRect()));

    QTest::keyClick(lightbox, Qt::Key_Plus);
    QCOMPARE(lightbox->zoom(), fitted * 1.25);
    QTest::keyClick(lightbox, Qt::Key_0);
    QCOMPARE(lightbox->zoom(), fitted);

    QTest::keyClick(lightbox, Qt::Key_Escape);
    QTRY_VERIFY(!lightbox); // closed and deleted
}

LUMORA_TEST_MAIN(TestAttachmentEditor)
#include "tst_attachmenteditor.moc"
