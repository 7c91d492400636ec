// The floor for start-up time and memory: an empty Qt window of the main
// window's size and place, with nothing in it and nothing linked beside Qt.
// Whatever the program costs above this is its own.

#include <QApplication>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Quiralto bench - bare window"));
    window.setFixedSize(981, 479);
    window.move(196, 107);
    window.show();
    return application.exec();
}
