// Placeholder until the main window lands.
#include "ui/Application.h"
#include <QApplication>

int runApplication(int &argc, char **argv, const QStringList &)
{
    QApplication app(argc, argv);
    return 0;
}
