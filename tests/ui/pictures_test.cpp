// SPDX-License-Identifier: MIT
#include "ui/form1.h"
#include "ui/pictures.h"

#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <utility>

using namespace ui;

namespace {

using ColourCounts = std::map<QRgb, int>;

ColourCounts count_colours(const QImage& image)
{
    ColourCounts counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000U];
    }
    return counts;
}

constexpr QRgb bright_red = 0xffff0000;
constexpr QRgb dark_red = 0xff800000;
constexpr QRgb light_grey = 0xffc0c0c0;
constexpr QRgb white = 0xffffffff;

TEST(LampPictures, HaveTheirSizeAndColourCounts)
{
    struct Case {
        const char* name;
        QPixmap picture;
        ColourCounts counts;
    };
    const Case cases[] {
        { "lit", lit_lamp_picture(),
            { { bright_red, 111 }, { dark_red, 99 }, { light_grey, 42 }, { white, 20 } } },
        { "unlit", unlit_lamp_picture(), { { dark_red, 210 }, { light_grey, 42 }, { white, 20 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.picture.isNull());
        EXPECT_EQ(c.picture.size(), QSize(16, 17));
        EXPECT_EQ(count_colours(c.picture.toImage()), c.counts);
    }
}

TEST(LampPictures, UnlitDiffersFromLitOnlyInTheFace)
{
    const QImage lit = lit_lamp_picture().toImage();
    const QImage unlit = unlit_lamp_picture().toImage();
    for (int y = 0; y < lit.height(); ++y) {
        for (int x = 0; x < lit.width(); ++x) {
            const QRgb want = lit.pixel(x, y) == bright_red ? dark_red : lit.pixel(x, y);
            EXPECT_EQ(unlit.pixel(x, y), want) << x << "," << y;
        }
    }
}

TEST(LampPictures, EveryLampShowsItsPictureUnscaled)
{
    auto form = std::make_unique<Form1>();
    const QImage lit = lit_lamp_picture().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage unlit = unlit_lamp_picture().toImage().convertToFormat(QImage::Format_RGB32);
    for (std::size_t k = 0; k < 8; ++k) {
        SCOPED_TRACE(k + 1);
        EXPECT_EQ(form->an[k]->grab().toImage().convertToFormat(QImage::Format_RGB32), lit);
        EXPECT_EQ(form->aus[k]->grab().toImage().convertToFormat(QImage::Format_RGB32), unlit);
    }
}

TEST(ProgramIcon, HasThreeSizesWithTransparentCorners)
{
    const QIcon icon = movanta_icon();
    for (int size : { 16, 32, 48 }) {
        SCOPED_TRACE(size);
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_TRUE(image.hasAlphaChannel());
        EXPECT_EQ(qAlpha(image.pixel(size - 1, 0)), 0);
    }
}

} // namespace
