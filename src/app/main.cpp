#include "app/application.h"

int main(int argc, char *argv[])
{
    // Before the application object: "--help" must work without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const int early = CommandLine::handle(arguments);
    if (early >= 0)
        return early;

    Application app(argc, argv);
    return app.run();
}
