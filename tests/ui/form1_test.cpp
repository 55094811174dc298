// SPDX-License-Identifier: MIT
#include "core/layout.h"
#include "ui/change_list.h"
#include "ui/form1.h"
#include "ui/poll_timer.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace core;

namespace {

// The window's layout as the design lays it out, in twips; independent of
// ui/layout.h on purpose. A tab index of -1 means the control takes no focus.
struct ExpectedControl {
    const char* name;
    const char* kind;
    const char* parent;
    const char* text;
    int left, top, width, height;
    int tab;
};

const std::vector<ExpectedControl> expected_controls {
    { "Frame6", "QGroupBox", "Form1", "Timeroptionenen", 120, 1680, 1815, 615, -1 },
    { "chk_255", "QCheckBox", "Frame6", "255 setzen", 120, 240, 1455, 255, 14 },
    { "Frame5", "QGroupBox", "Form1", "Interval", 1080, 960, 855, 615, -1 },
    { "txt_interval", "QLineEdit", "Frame5", "50", 120, 240, 615, 285, 12 },
    { "List1", "ChangeList", "Form1", "", 2160, 480, 975, 1620, 10 },
    { "Frame4", "QGroupBox", "Form1", "in Liste", 120, 960, 855, 615, -1 },
    { "txt_list", "QLineEdit", "Frame4", "", 120, 240, 615, 285, 9 },
    { "Frame3", "QGroupBox", "Form1", "Liste", 2040, 240, 1215, 2055, -1 },
    { "btn_list", "QPushButton", "Form1", "Liste leeren", 1080, 3000, 1215, 375, 6 },
    { "Frame1", "QGroupBox", "Form1", "Port", 120, 240, 855, 615, -1 },
    { "txt_port", "QLineEdit", "Frame1", "888", 120, 240, 615, 285, 5 },
    { "btn_ende", "QPushButton", "Form1", "Ende", 2400, 3000, 855, 375, 3 },
    { "btn_start", "QPushButton", "Form1", "Start", 120, 3000, 855, 375, 2 },
    { "Frame2", "QGroupBox", "Form1", "Ausgabe", 1080, 240, 855, 615, -1 },
    { "txt_ausgabe", "QLineEdit", "Frame2", "0", 120, 240, 615, 285, 1 },
    { "an8", "QLabel", "Form1", "", 240, 2520, 240, 255, -1 },
    { "an7", "QLabel", "Form1", "", 600, 2520, 240, 255, -1 },
    { "an6", "QLabel", "Form1", "", 960, 2520, 240, 255, -1 },
    { "an5", "QLabel", "Form1", "", 1320, 2520, 240, 255, -1 },
    { "an4", "QLabel", "Form1", "", 1800, 2520, 240, 255, -1 },
    { "an3", "QLabel", "Form1", "", 2160, 2520, 240, 255, -1 },
    { "an2", "QLabel", "Form1", "", 2520, 2520, 240, 255, -1 },
    { "an1", "QLabel", "Form1", "", 2880, 2520, 240, 255, -1 },
    { "aus8", "QLabel", "Form1", "", 240, 2520, 240, 255, -1 },
    { "aus7", "QLabel", "Form1", "", 600, 2520, 240, 255, -1 },
    { "aus6", "QLabel", "Form1", "", 960, 2520, 240, 255, -1 },
    { "aus5", "QLabel", "Form1", "", 1320, 2520, 240, 255, -1 },
    { "aus4", "QLabel", "Form1", "", 1800, 2520, 240, 255, -1 },
    { "aus3", "QLabel", "Form1", "", 2160, 2520, 240, 255, -1 },
    { "aus2", "QLabel", "Form1", "", 2520, 2520, 240, 255, -1 },
    { "aus1", "QLabel", "Form1", "", 2880, 2520, 240, 255, -1 },
};

QString caption_of(const QWidget* widget)
{
    if (auto* box = qobject_cast<const QGroupBox*>(widget))
        return box->title();
    if (auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    return {};
}

class Form1Test : public testing::Test {
protected:
    void show_active()
    {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    // The control a click at the centre of `widget` lands on, as its direct child of the form.
    [[nodiscard]] QWidget* topmost_at_centre_of(const QWidget* widget) const
    {
        QWidget* hit = form->childAt(widget->geometry().center());
        while (hit != nullptr && hit->parentWidget() != form.get())
            hit = hit->parentWidget();
        return hit;
    }

    std::unique_ptr<Form1> form = std::make_unique<Form1>();
};

TEST(TwipsToPixels, FifteenTwipsMakeOnePixel)
{
    struct Case {
        int twips, pixels;
    };
    for (const Case& c : { Case { 0, 0 }, Case { 15, 1 }, Case { 240, 16 }, Case { 255, 17 },
             Case { 3375, 225 }, Case { 3525, 235 } })
        EXPECT_EQ(twips_to_pixels(c.twips), c.pixels) << c.twips << " twips";
}

TEST_F(Form1Test, WindowHasItsTitleFixedSizeAndOnlyACloseBox)
{
    EXPECT_EQ(form->objectName(), "Form1");
    EXPECT_EQ(form->windowTitle(), "Movanta - Quendel - BETA");
    EXPECT_EQ(form->size(), QSize(225, 235));
    EXPECT_EQ(form->minimumSize(), QSize(225, 235));
    EXPECT_EQ(form->maximumSize(), QSize(225, 235));

    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(form->windowIcon().isNull());
}

TEST_F(Form1Test, EveryControlHasItsKindParentTextAndPlace)
{
    for (const ExpectedControl& want : expected_controls) {
        SCOPED_TRACE(want.name);
        auto* widget = form->findChild<QWidget*>(QString::fromLatin1(want.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), want.kind);
        ASSERT_NE(widget->parentWidget(), nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(want.parent));
        EXPECT_EQ(caption_of(widget), QString::fromUtf8(want.text));
        EXPECT_EQ(widget->geometry(),
            QRect(want.left / 15, want.top / 15, want.width / 15, want.height / 15));
        // The start-up work hides the on-lamps before the window is shown.
        EXPECT_EQ(widget->isVisibleTo(form.get()), !QString::fromLatin1(want.name).startsWith(QLatin1String("an")));
        EXPECT_TRUE(widget->isEnabled());
        EXPECT_EQ(widget->focusPolicy() != Qt::NoFocus, want.tab >= 0);
    }
}

TEST_F(Form1Test, PublicMembersAreTheNamedControls)
{
    const std::vector<std::pair<QObject*, const char*>> members { { form->Frame1, "Frame1" },
        { form->Frame2, "Frame2" }, { form->Frame3, "Frame3" }, { form->Frame4, "Frame4" },
        { form->Frame5, "Frame5" }, { form->Frame6, "Frame6" }, { form->txt_port, "txt_port" },
        { form->txt_ausgabe, "txt_ausgabe" }, { form->txt_list, "txt_list" },
        { form->txt_interval, "txt_interval" }, { form->List1, "List1" },
        { form->chk_255, "chk_255" }, { form->btn_start, "btn_start" },
        { form->btn_list, "btn_list" }, { form->btn_ende, "btn_ende" },
        { form->timer1, "timer1" } };
    for (const auto& [member, name] : members) {
        ASSERT_NE(member, nullptr) << name;
        EXPECT_EQ(member->objectName(), QString::fromLatin1(name));
    }
    for (std::size_t k = 0; k < 8; ++k) {
        EXPECT_EQ(form->an[k]->objectName(), QStringLiteral("an%1").arg(k + 1));
        EXPECT_EQ(form->aus[k]->objectName(), QStringLiteral("aus%1").arg(k + 1));
    }
}

TEST_F(Form1Test, ControlsStartInTheirLaidOutState)
{
    EXPECT_TRUE(form->chk_255->isChecked());
    EXPECT_EQ(form->List1->count(), 0U);
    EXPECT_EQ(form->timer1->parent(), form.get());
    EXPECT_FALSE(form->timer1->isEnabled());
    EXPECT_EQ(form->timer1->interval(), 10);

    EXPECT_TRUE(form->txt_ausgabe->isReadOnly());
    for (QLineEdit* edit : { form->txt_port, form->txt_list, form->txt_interval }) {
        SCOPED_TRACE(edit->objectName().toStdString());
        EXPECT_FALSE(edit->isReadOnly());
        EXPECT_TRUE(edit->alignment().testFlag(Qt::AlignLeft));
    }
    for (QPushButton* button : { form->btn_start, form->btn_list, form->btn_ende }) {
        SCOPED_TRACE(button->objectName().toStdString());
        EXPECT_FALSE(button->isDefault());
        EXPECT_FALSE(button->autoDefault());
    }
}

TEST_F(Form1Test, FocusStartsInAusgabeAndTabVisitsTheControlsInTabIndexOrder)
{
    show_active();
    ASSERT_EQ(QApplication::focusWidget(), form->txt_ausgabe);

    const QStringList cycle { "btn_start", "btn_ende", "txt_port", "btn_list", "txt_list", "List1",
        "txt_interval", "chk_255", "txt_ausgabe" };
    QStringList visited;
    for (qsizetype i = 0; i < cycle.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited, cycle);
}

TEST_F(Form1Test, EnterAndEscapeClickNothingWhereverTheFocusIs)
{
    show_active();
    std::vector<std::pair<QString, std::unique_ptr<QSignalSpy>>> clicks;
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*> {
             form->btn_start, form->btn_list, form->btn_ende, form->chk_255 })
        clicks.emplace_back(
            button->objectName(), std::make_unique<QSignalSpy>(button, &QAbstractButton::clicked));

    for (QWidget* target : std::initializer_list<QWidget*> { form->txt_ausgabe, form->btn_start,
             form->btn_ende, form->txt_port, form->btn_list, form->txt_list, form->List1,
             form->txt_interval, form->chk_255 }) {
        target->setFocus();
        for (Qt::Key key : { Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape })
            QTest::keyClick(target, key);
    }
    for (const auto& [name, spy] : clicks)
        EXPECT_EQ(spy->count(), 0) << name.toStdString();
    EXPECT_TRUE(form->chk_255->isChecked());
    EXPECT_TRUE(form->isVisible());
}

TEST_F(Form1Test, AusgabeRejectsTypingButCanBeSelected)
{
    show_active();
    form->txt_ausgabe->setFocus();
    QTest::keyClicks(form->txt_ausgabe, "12");
    QTest::keyClick(form->txt_ausgabe, Qt::Key_Backspace);
    EXPECT_EQ(form->txt_ausgabe->text(), "0");

    QTest::keyClick(form->txt_ausgabe, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(form->txt_ausgabe->selectedText(), "0");
}

TEST_F(Form1Test, EachOnLampCoversItsOffLampUntilHidden)
{
    for (std::size_t k = 0; k < 8; ++k) {
        SCOPED_TRACE(k + 1);
        EXPECT_EQ(form->an[k]->geometry(), form->aus[k]->geometry());
        // Hidden by the start-up work: the lamp shows unlit.
        EXPECT_EQ(topmost_at_centre_of(form->an[k]), form->aus[k]);
        form->an[k]->show();
        EXPECT_EQ(topmost_at_centre_of(form->an[k]), form->an[k]);
        form->an[k]->hide();
        EXPECT_EQ(topmost_at_centre_of(form->an[k]), form->aus[k]);
    }
}

TEST_F(Form1Test, LampsOverlapNothingButTheirPartners)
{
    const QList<QWidget*> siblings = form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (std::size_t k = 0; k < 8; ++k) {
        for (QWidget* other : siblings) {
            if (other == form->an[k] || other == form->aus[k])
                continue;
            EXPECT_FALSE(form->an[k]->geometry().intersects(other->geometry()))
                << form->an[k]->objectName().toStdString() << " overlaps "
                << other->objectName().toStdString();
        }
    }
}

TEST_F(Form1Test, ListLiesOnTopOfItsFrameWithoutBelongingToIt)
{
    EXPECT_EQ(form->List1->parentWidget(), form.get());
    EXPECT_TRUE(form->Frame3->geometry().contains(form->List1->geometry()));
    EXPECT_EQ(topmost_at_centre_of(form->List1), form->List1);

    form->Frame3->hide();
    EXPECT_TRUE(form->List1->isVisibleTo(form.get()));
}

} // namespace
