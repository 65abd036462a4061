#include "app/appstate.h"
#include "app/thememanager.h"
#include "document/textformats.h"
#include "storage/attachmentrepository.h"
#include "storage/noterepository.h"
#include "ui/exportdialog.h"
#include "ui/mainwindow.h"
#include "ui/noteeditor.h"
#include "ui/noteoutput.h"
#include "ui/notewindow.h"
#include "ui/statusbar.h"

#include "testimages.h"
#include "testmain.h"

#include <QApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QUuid>
#include <QCheckBox>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPointer>
#include <QPrintPreviewWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <functional>
#include <memory>

Q_DECLARE_METATYPE(ExportFormat)

namespace {

QString shoppingBody()
{
    const auto op = [](const QJsonValue &insert, const QJsonObject &attributes = {}) {
        QJsonObject result { { QStringLiteral("insert"), insert } };
        if (!attributes.isEmpty())
            result.insert(QStringLiteral("attributes"), attributes);
        return result;
    };
    const QJsonArray ops {
        op(QStringLiteral("Shopping")),
        op(QStringLiteral("\n"), { { QStringLiteral("header"), 1 } }),
        op(QStringLiteral("Bread and ")),
        op(QStringLiteral("cheese"), { { QStringLiteral("bold"), true } }),
        op(QStringLiteral("\n"), { { QStringLiteral("list"), QStringLiteral("bullet") } }),
    };
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

// Answers the modal dialogs that come up, one handler per dialog in turn;
// records each dialog's title.
class DialogAnswers : public QObject
{
public:
    using Handler = std::function<void(QWidget *dialog)>;

    explicit DialogAnswers(QList<Handler> handlers)
        : m_handlers(std::move(handlers))
    {
        connect(&m_timer, &QTimer::timeout, this, &DialogAnswers::poll);
        m_timer.start(10);
    }

    QStringList titles;

private:
    void poll()
    {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || dialog == m_last)
            return;
        m_last = dialog;
        titles.append(dialog->windowTitle());
        // Handled after the dialog has started its loop.
        const Handler handler = m_handlers.isEmpty() ? Handler([](QWidget *d) { d->close(); }) : m_handlers.takeFirst();
        QTimer::singleShot(0, dialog, [handler, dialog] { handler(dialog); });
    }

    QTimer m_timer;
    QList<Handler> m_handlers;
    QPointer<QWidget> m_last;
};

DialogAnswers::Handler chooseFormat(ExportFormat format, bool bundle = false)
{
    return [format, bundle](QWidget *widget) {
        auto *dialog = qobject_cast<ExportDialog *>(widget);
        QVERIFY(dialog);
        dialog->formatButton(format)->setChecked(true);
        dialog->attachmentsBox()->setChecked(bundle);
        dialog->accept();
    };
}

DialogAnswers::Handler saveAs(const QString &path, QString *suggested)
{
    return [path, suggested](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        QVERIFY(dialog);
        *suggested = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        // Typed, as a user would: the dialog may still be filling in the
        // suggested name while its folder loads.
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        edit->setText(path);
        static_cast<QDialog *>(dialog)->accept();
    };
}

DialogAnswers::Handler readBox(QString *text)
{
    return [text](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        QVERIFY(box);
        *text = box->text();
        box->accept();
    };
}

} // namespace

class TestExportPrint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void printedCopyIsForPaper();
    void exportThroughTheDialog_data();
    void exportThroughTheDialog();
    void exportFailureIsShown();
    void cancelledDialogsWriteNothing();
    void noNoteSelected_data();
    void noNoteSelected();
    void printPreviewShowsThePages();
    void noteWindowExports();
    void printedCopyHoldsPictures();

private:
    void openNote(const QString &body);
    void openShoppingNote() { openNote(shoppingBody()); }

    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_main;
    QString m_id;
};

void TestExportPrint::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_state = std::make_unique<AppState>();
    QVERIFY(m_state->initialize());
    m_main = std::make_unique<MainWindow>(m_state.get());
}

void TestExportPrint::cleanup()
{
    m_main.reset();
    m_state.reset();
    m_dir.reset();
}

void TestExportPrint::openNote(const QString &body)
{
    m_main->newNote();
    m_id = m_main->openNoteId();
    QVERIFY(!m_id.isEmpty());
    std::optional<Note> note = m_state->notes()->byId(m_id);
    note->body = body;
    QVERIFY(m_state->notes()->update(*note));
    m_main->openNote(m_id, true);
}

void TestExportPrint::printedCopyIsForPaper()
{
    QApplication::setPalette(ThemeManager::darkPalette());
    openNote(QStringLiteral("[{\"insert\":\"Title\"},{\"insert\":\"\\n\",\"attributes\":{\"header\":1}},"
                            "{\"insert\":\"run --fast\"},{\"insert\":\"\\n\",\"attributes\":{\"code-block\":true}},"
                            "{\"insert\":\"site\",\"attributes\":{\"link\":\"https://example.org\"}},"
                            "{\"insert\":\"\\n\"}]"));
    QTextDocument *source = m_main->editor()->document();
    const QString before = source->toHtml();
    const PrintableNote printable(source, m_state->attachments());
    QApplication::setPalette(ThemeManager::lightPalette());
    QTextDocument *copy = printable.document();
    QCOMPARE(copy->toPlainText(), source->toPlainText());
    // Sizes in pixels would print at the printer's resolution: on paper the
    // body is 12 pt, and no run keeps a pixel size.
    QCOMPARE(copy->defaultFont().pointSizeF(), 12.0);
    for (QTextBlock block = copy->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it)
            QVERIFY(!it.fragment().charFormat().hasProperty(QTextFormat::FontPixelSize));
    }
    // The editor shows code and links in its dark colours; paper gets the light ones.
    const QTextBlock code = copy->begin().next();
    QCOMPARE(code.begin().fragment().charFormat().foreground().color(), codeBlockTextColor(false));
    QCOMPARE(code.next().begin().fragment().charFormat().foreground().color(), linkColor(false));
    // Looking never writes: the editor's document is as it was.
    QCOMPARE(source->toHtml(), before);
}

void TestExportPrint::exportThroughTheDialog_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<bool>("bundle");
    QTest::addColumn<QString>("suggested");
    QTest::addColumn<QString>("expectedStart");
    QTest::newRow("markdown") << ExportFormat::Markdown << false << QStringLiteral("Shopping.md")
                              << QStringLiteral("# Shopping\n\n- Bread and **cheese**\n");
    QTest::newRow("plain text") << ExportFormat::PlainText << false << QStringLiteral("Shopping.txt")
                                << QStringLiteral("Shopping\nBread and cheese\n");
    QTest::newRow("pdf") << ExportFormat::Pdf << false << QStringLiteral("Shopping.pdf") << QStringLiteral("%PDF");
    QTest::newRow("bundle") << ExportFormat::Html << true << QStringLiteral("Shopping.zip") << QStringLiteral("PK");
}

void TestExportPrint::exportThroughTheDialog()
{
    QFETCH(ExportFormat, format);
    QFETCH(bool, bundle);
    QFETCH(QString, suggested);
    QFETCH(QString, expectedStart);
    openShoppingNote();
    QTemporaryDir target;
    const QString path = target.filePath(suggested);
    QString offered;
    DialogAnswers answers({ chooseFormat(format, bundle), saveAs(path, &offered) });
    m_main->exportCurrentNote();

    QCOMPARE(answers.titles, (QStringList { QStringLiteral("Export Note"), QStringLiteral("Export Note") }));
    QCOMPARE(offered, suggested);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith(expectedStart.toUtf8()));
    QCOMPARE(m_main->statusBarWidget()->currentMessage(), QStringLiteral("Exported to %1").arg(path));
}

void TestExportPrint::exportFailureIsShown()
{
    openShoppingNote();
    QTemporaryDir target;
    // Under a file instead of a folder: nothing can be written there.
    const QString blocker = target.filePath(QStringLiteral("plain-file"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString path = blocker + QStringLiteral("/Shopping.md");
    QString offered;
    QString warning;
    DialogAnswers answers({ chooseFormat(ExportFormat::Markdown), saveAs(path, &offered), readBox(&warning) });
    m_main->exportCurrentNote();
    QCOMPARE(answers.titles, (QStringList { QStringLiteral("Export Note"), QStringLiteral("Export Note"),
                                            QStringLiteral("Export Failed") }));
    QVERIFY2(warning.startsWith(QLatin1String("Failed to write file: ")), qPrintable(warning));
    QVERIFY(m_main->statusBarWidget()->currentMessage().isEmpty());
    QCOMPARE(QDir(target.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList { QStringLiteral("plain-file") });
}

void TestExportPrint::cancelledDialogsWriteNothing()
{
    openShoppingNote();
    QTemporaryDir target;
    {
        DialogAnswers answers({ [](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); } });
        m_main->exportCurrentNote();
        QCOMPARE(answers.titles, QStringList { QStringLiteral("Export Note") });
    }
    {
        DialogAnswers answers(
            { chooseFormat(ExportFormat::Html), [](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); } });
        m_main->exportCurrentNote();
        QCOMPARE(answers.titles.size(), 2);
    }
    QVERIFY(m_main->statusBarWidget()->currentMessage().isEmpty());
    QVERIFY(QDir(target.path()).isEmpty());
}

void TestExportPrint::noNoteSelected_data()
{
    QTest::addColumn<int>("command");
    QTest::newRow("export") << 0;
    QTest::newRow("print") << 1;
    QTest::newRow("print preview") << 2;
}

void TestExportPrint::noNoteSelected()
{
    QFETCH(int, command);
    m_main->openNote(QString(), false);
    QVERIFY(m_main->openNoteId().isEmpty());
    DialogAnswers answers({});
    const QList<void (MainWindow::*)()> commands { &MainWindow::exportCurrentNote, &MainWindow::printNote,
                                                   &MainWindow::printPreview };
    (m_main.get()->*commands.at(command))();
    QCOMPARE(m_main->statusBarWidget()->currentMessage(), QStringLiteral("No note selected"));
    QTest::qWait(50);
    QVERIFY(answers.titles.isEmpty());
}

void TestExportPrint::printPreviewShowsThePages()
{
    openShoppingNote();
    int pages = 0;
    DialogAnswers answers({ [&pages](QWidget *widget) {
        auto *preview = qobject_cast<QPrintPreviewDialog *>(widget);
        QVERIFY(preview);
        if (auto *pagesView = preview->findChild<QPrintPreviewWidget *>())
            pages = pagesView->pageCount();
        preview->reject();
    } });
    m_main->printPreview();
    QCOMPARE(answers.titles, QStringList { QStringLiteral("Print Preview \u2014 Shopping") });
    QCOMPARE(pages, 1);
}

void TestExportPrint::noteWindowExports()
{
    openShoppingNote();
    m_state->openNoteWindow(m_id);
    NoteWindow *window = m_state->noteWindow(m_id);
    QVERIFY(window);
    QTemporaryDir target;
    const QString path = target.filePath(QStringLiteral("from-window.html"));
    QString offered;
    DialogAnswers answers({ chooseFormat(ExportFormat::Html), saveAs(path, &offered) });
    window->output()->exportNote();
    QCOMPARE(answers.titles, (QStringList { QStringLiteral("Export Note"), QStringLiteral("Export Note") }));
    QCOMPARE(offered, QStringLiteral("Shopping.html"));
    QVERIFY2(QFileInfo::exists(path), qPrintable(window->statusBarWidget()->currentMessage()));
    QCOMPARE(window->statusBarWidget()->currentMessage(), QStringLiteral("Exported to %1").arg(path));
    QVERIFY(m_main->statusBarWidget()->currentMessage().isEmpty());
    window->close();
}

void TestExportPrint::printedCopyHoldsPictures()
{
    openNote(QString());
    const QByteArray png = LumoraTest::pngOf(300, 200, Qt::darkCyan);
    Attachment attachment;
    attachment.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    attachment.noteId = m_id;
    attachment.filename = QStringLiteral("sunset.png");
    attachment.mimeType = QStringLiteral("image/png");
    attachment.sizeBytes = png.size();
    attachment.createdAt = QDateTime::currentDateTimeUtc();
    QVERIFY(m_state->attachments()->insert(attachment));
    QVERIFY(m_state->attachments()->saveFile(attachment.id, png));
    const QJsonArray ops {
        QJsonObject { { QStringLiteral("insert"), QStringLiteral("Sunset\n") } },
        QJsonObject { { QStringLiteral("insert"),
                        QJsonObject { { QStringLiteral("lumora-notes-attachment"),
                                        QString(QStringLiteral("lumora-notes://attachment/") + attachment.id) } } } },
        QJsonObject { { QStringLiteral("insert"), QStringLiteral("\n") } },
    };
    QVERIFY(m_state->notes()->saveEditedBody(m_id, QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact)))
            == NoteRepository::SaveResult::Saved);
    m_main->openNote(m_id, true);

    // Printed: the paper copy draws the picture.
    QTemporaryDir target;
    const QString pdf = target.filePath(QStringLiteral("printed.pdf"));
    {
        const PrintableNote printable(m_main->editor()->document(), m_state->attachments());
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        printable.print(&writer);
    }
    if (QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty())
        QSKIP("pdfimages (poppler-utils) is not installed: the printed picture is not counted");
    QProcess process;
    process.start(QStringLiteral("pdfimages"), { QStringLiteral("-list"), pdf });
    QVERIFY(process.waitForFinished(30000));
    const QStringList lines =
        QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // Two header lines, then the picture.
    QCOMPARE(lines.size(), 3);
}

LUMORA_TEST_MAIN(TestExportPrint)
#include "tst_exportprint.moc"
