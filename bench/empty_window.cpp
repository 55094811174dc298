// An empty Qt window: the start-up time that any Qt Widgets program pays.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Empty"));
    window.resize(225, 235);
    window.show();
    return QApplication::exec();
}
