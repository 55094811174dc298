// SPDX-License-Identifier: MIT
// An empty Qt window: the start-up time that any Qt Widgets program pays.
// With --text it shows one line of text at its natural size instead, which adds what every
// window with text pays before it shows: setting up the font database.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>
#include <memory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const bool text = argc > 1 && std::strcmp(argv[1], "--text") == 0;
    std::unique_ptr<QWidget> window = text ? std::make_unique<QLabel>(QStringLiteral("Empty"))
                                           : std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("Empty"));
    // The text window takes the size of its text, so that it meets its fonts before it
    // shows, as every window with text does.
    if (!text)
        window->resize(225, 235);
    window->show();
    return QApplication::exec();
}
