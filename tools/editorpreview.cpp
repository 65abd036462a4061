// Shows the note editor with a sample note that uses every kind of block, to
// look at the editor's rendering in the light or dark palette.
//   editorpreview [--dark]
#include "app/thememanager.h"
#include "ui/noteeditor.h"

#include <QApplication>
#include <QStringList>

namespace {

const char kSampleNote[] = R"json([
{"insert":"Weekly planning"},{"insert":"\n","attributes":{"header":1}},
{"insert":"Plain text with "},{"insert":"bold","attributes":{"bold":true}},{"insert":", "},
{"insert":"italic","attributes":{"italic":true}},{"insert":", "},{"insert":"struck","attributes":{"strike":true}},
{"insert":", "},{"insert":"inline code","attributes":{"code":true}},{"insert":" and a "},
{"insert":"link to Qt","attributes":{"link":"https://www.qt.io"}},{"insert":".\n"},
{"insert":"Goals"},{"insert":"\n","attributes":{"header":2}},
{"insert":"Ship the editor"},{"insert":"\n","attributes":{"list":"bullet"}},
{"insert":"Write the tests"},{"insert":"\n","attributes":{"list":"bullet"}},
{"insert":"First step"},{"insert":"\n","attributes":{"list":"ordered"}},
{"insert":"Second step"},{"insert":"\n","attributes":{"list":"ordered"}},
{"insert":"Done already"},{"insert":"\n","attributes":{"list":"checked"}},
{"insert":"Still to do"},{"insert":"\n","attributes":{"list":"unchecked"}},
{"insert":"Details"},{"insert":"\n","attributes":{"header":3}},
{"insert":"for (int i = 0; i < 3; ++i)"},{"insert":"\n","attributes":{"code-block":true}},
{"insert":"{"},{"insert":"\n","attributes":{"code-block":true}},
{"insert":"    qDebug() << i;"},{"insert":"\n","attributes":{"code-block":true}},
{"insert":"}"},{"insert":"\n","attributes":{"code-block":true}},
{"insert":"Simplicity is prerequisite for reliability."},{"insert":"\n","attributes":{"blockquote":true}},
{"insert":"It is the price of getting there."},{"insert":"\n","attributes":{"blockquote":true}},
{"insert":"Edsger W. Dijkstra"},{"insert":"\n","attributes":{"blockquote":true}},
{"insert":"A paragraph after the quote."},{"insert":"\n"},
{"insert":{"divider":"hr"}},{"insert":"\n"},
{"insert":{"table":"{\"cells\":[[\"Task\",\"Owner\",\"Due\"],[\"Editor\",\"Ana\",\"Mon\"],[\"Toolbar\",\"Ben\",\"Wed\"]],\"hasHeader\":true}"}},
{"insert":"\n"},
{"insert":"Centered closing line"},{"insert":"\n","attributes":{"align":"center"}},
{"insert":"Small print"},{"insert":"\n","attributes":{"header":6}}
])json";

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--dark")))
        QApplication::setPalette(ThemeManager::darkPalette());

    NoteEditor editor;
    editor.resize(900, 950);
    editor.setWindowTitle(QStringLiteral("NoteEditor preview"));
    editor.loadNote(QStringLiteral("preview"), QString::fromUtf8(kSampleNote));
    editor.show();
    return app.exec();
}
