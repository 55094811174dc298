#pragma once

#include <QWidget>

#include <array>

class ChangeList;
class PollTimer;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The main window, the program's only one. It owns its controls and the timer
// for the whole run; the controls keep the names and places of the window's
// layout (layout.h) and are never created, moved or resized after this.
// At creation every lamp is visible and nothing is connected: the start-up work,
// the button handlers and the tick are attached by their own code.
class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QGroupBox* Frame6 = nullptr;

    QLineEdit* txt_port = nullptr;
    QLineEdit* txt_ausgabe = nullptr; // read-only, yet focusable and selectable
    QLineEdit* txt_list = nullptr;
    QLineEdit* txt_interval = nullptr;

    ChangeList* List1 = nullptr; // a child of the window lying over Frame3, not Frame3's
    QCheckBox* chk_255 = nullptr;

    QPushButton* btn_start = nullptr;
    QPushButton* btn_list = nullptr;
    QPushButton* btn_ende = nullptr;

    PollTimer* timer1 = nullptr; // disabled, 10 ms

    // The lamps of bits 0 to 7: an[0] is an1 (bit 0, rightmost), an[7] is an8.
    // Each on-lamp an[k] lies exactly over its off-lamp aus[k].
    std::array<QLabel*, 8> an {};
    std::array<QLabel*, 8> aus {};
};
