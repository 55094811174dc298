// SPDX-License-Identifier: MIT
// Building the window: its controls in their places, stacking, tab order and connections.
#include "ui/form1.h"

#include "core/layout.h"
#include "ui/change_list.h"
#include "ui/error_report.h"
#include "ui/pictures.h"
#include "ui/poll_timer.h"
#include "ui/record_menu.h"
#include "ui/text_from_start.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <string>

using namespace core;
using namespace port;
using namespace ui;

namespace {

// Names the widget and gives it its place from the layout table, converted
// from twips to pixels.
template <typename W> W* placed(W* widget, std::string_view name)
{
    const ControlPlace place = control_place(name).value();
    widget->setObjectName(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    widget->setGeometry(twips_to_pixels(place.left), twips_to_pixels(place.top),
        twips_to_pixels(place.width), twips_to_pixels(place.height));
    return widget;
}

QGroupBox* group_box(QWidget* parent, std::string_view name, const QString& caption)
{
    return placed(new QGroupBox(caption, parent), name);
}

QLineEdit* text_box(QWidget* parent, std::string_view name, const QString& text)
{
    return placed(new QLineEdit(text, parent), name);
}

QPushButton* push_button(QWidget* parent, std::string_view name, const QString& caption)
{
    auto* button = placed(new QPushButton(caption, parent), name);
    // The window has no default (Enter) or cancel (Escape) button.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLabel* lamp(QWidget* parent, const std::string& name, const QPixmap& picture)
{
    auto* label = placed(new QLabel(parent), name);
    // Shown at its natural size: the label is exactly as large as the picture.
    label->setPixmap(picture);
    label->setMargin(0);
    label->setContentsMargins(0, 0, 0, 0);
    return label;
}

} // namespace

Form1::Form1(QWidget* parent)
    : Form1(PortAccess {}, parent)
{
}

Form1::Form1(PortAccess port, QWidget* parent)
    : QWidget(parent,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
            | Qt::WindowSystemMenuHint)
    , port_(port)
    , reporter_(&show_error_report)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Movanta - Quendel - BETA"));
    setWindowIcon(movanta_icon());
    setFixedSize(twips_to_pixels(form_width_twips), twips_to_pixels(form_height_twips));

    // Created in the order the window holds them; the stacking is fixed below.
    Frame6 = group_box(this, "Frame6", QStringLiteral("Timeroptionenen"));
    chk_255 = placed(new QCheckBox(QStringLiteral("255 setzen"), Frame6), "chk_255");
    chk_255->setChecked(true);
    Frame5 = group_box(this, "Frame5", QStringLiteral("Interval"));
    txt_interval = text_box(Frame5, "txt_interval", QStringLiteral("50"));
    List1 = placed(new ChangeList(record_, this), "List1");
    // The list is a tab stop of its own and is scrolled with the keys.
    List1->setFocusPolicy(Qt::StrongFocus);
    Frame4 = group_box(this, "Frame4", QStringLiteral("in Liste"));
    txt_list = text_box(Frame4, "txt_list", QString());
    list_text_ = new TextFromStart(txt_list);
    Frame3 = group_box(this, "Frame3", QStringLiteral("Liste"));
    btn_list = push_button(this, "btn_list", QStringLiteral("Liste leeren"));
    Frame1 = group_box(this, "Frame1", QStringLiteral("Port"));
    txt_port = text_box(Frame1, "txt_port", QStringLiteral("888"));
    btn_ende = push_button(this, "btn_ende", QStringLiteral("Ende"));
    btn_start = push_button(this, "btn_start", QStringLiteral("Start"));

    timer1 = new PollTimer(this);
    timer1->setObjectName(QStringLiteral("timer1"));
    // Laid out disabled; Start sets the real interval before it enables the timer.
    timer1->setInterval(10);
    timer1->setEnabled(false);

    Frame2 = group_box(this, "Frame2", QStringLiteral("Ausgabe"));
    txt_ausgabe = text_box(Frame2, "txt_ausgabe", QStringLiteral("0"));
    txt_ausgabe->setReadOnly(true);

    const QPixmap lit = lit_lamp_picture();
    const QPixmap unlit = unlit_lamp_picture();
    for (std::size_t k = 0; k < 7; ++k)
        an[k] = lamp(this, "an" + std::to_string(k + 1), lit);
    for (std::size_t k = 0; k < 7; ++k)
        aus[k] = lamp(this, "aus" + std::to_string(k + 1), unlit);
    an[7] = lamp(this, "an8", lit);
    aus[7] = lamp(this, "aus8", unlit);

    // Of two overlapping siblings the one the window holds earlier lies on top:
    // each on-lamp over its off-lamp, List1 over Frame3. Lowering every child in
    // creation order leaves the first one on top.
    for (QObject* child : children()) {
        if (auto* widget = qobject_cast<QWidget*>(child))
            widget->lower();
    }

    // Tab indices 1, 2, 3, 5, 6, 9, 10, 12, 14; the group boxes and lamps take no focus.
    const std::array<QWidget*, 9> tab_chain { txt_ausgabe, btn_start, btn_ende, txt_port, btn_list,
        txt_list, List1, txt_interval, chk_255 };
    for (std::size_t i = 0; i + 1 < tab_chain.size(); ++i)
        setTabOrder(tab_chain[i], tab_chain[i + 1]);

    // The focusable control with the lowest tab index.
    txt_ausgabe->setFocus(Qt::OtherFocusReason);

    list_menu = new RecordMenu(
        List1, record_, [this](const std::exception& error) { report(error, false); });
    run_.set_sinks({ &record_ });

    connect(btn_start, &QPushButton::clicked, this, &Form1::btn_start_Click);
    connect(btn_list, &QPushButton::clicked, this, &Form1::btn_list_Click);
    connect(btn_ende, &QPushButton::clicked, this, &Form1::btn_ende_Click);
    connect(timer1, &PollTimer::tick, this, &Form1::timer1_Timer);

    // The window loads: the start-up work runs before it is first shown.
    Form_Load();
}

void Form1::setReporter(Reporter reporter) { reporter_ = std::move(reporter); }

// List1 and its menu read the record, which goes before QWidget deletes the children.
Form1::~Form1() { delete List1; }
