// quenvar: the desktop program.
#include <QApplication>
#include <QIcon>

#include "gui/QuenvarApp.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quenvar"));
    QApplication::setDesktopFileName(QStringLiteral("quenvar"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/quenvar/icon-48.png"));
    icon.addFile(QStringLiteral(":/quenvar/icon-256.png"));
    QApplication::setWindowIcon(icon);

    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    CQuenvarApp quenvar;
    return quenvar.InitInstance(arguments);
}
