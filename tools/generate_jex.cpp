// Writes a generated Joplin export archive (.jex) for trying and measuring
// the importer: lumora-generate-jex <file> [--notes N] [--pictures N] [--seed N]
#include "jexgenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes a generated Joplin export archive."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The .jex file to write."));
    const QCommandLineOption notes(QStringLiteral("notes"), QStringLiteral("Number of notes."), QStringLiteral("n"),
                                   QStringLiteral("10000"));
    const QCommandLineOption pictures(QStringLiteral("pictures"), QStringLiteral("Number of pictures."),
                                      QStringLiteral("n"), QStringLiteral("500"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Random seed."), QStringLiteral("n"),
                                  QStringLiteral("7"));
    parser.addOptions({notes, pictures, seed});
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    JexGeneratorOptions options;
    options.notes = parser.value(notes).toInt();
    options.pictures = parser.value(pictures).toInt();
    options.seed = parser.value(seed).toUInt();
    QString error;
    QTextStream err(stderr);
    if (!writeGeneratedJex(parser.positionalArguments().first(), options, &error)) {
        err << "lumora-generate-jex: " << error << Qt::endl;
        return 1;
    }
    return 0;
}
