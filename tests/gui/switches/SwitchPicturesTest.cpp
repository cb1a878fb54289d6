// The compiled-in pictures: what some of them show, and their twice-size versions.
#include "resources/SwitchPictures.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <cmath>

namespace {

QImage Load(const char* name) {
    QImage image(QStringLiteral(":/") + name, "BMP");
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(SwitchPictures, PushButtonsShowTheirColours) {
    orvik::InitSwitchPictures();
    const QRgb red = qRgb(0xFF, 0, 0), darkRed = qRgb(0x80, 0, 0), green = qRgb(0, 0xFF, 0);
    for (const char* prefix : {"SWITCH", "SMSW"}) {
        const QString p = prefix;
        // A pixel of the button's face away from its words.
        const auto face = [&](const QString& name) {
            const QImage image = Load(qPrintable(name));
            return image.pixel(image.width() / 2, image.height() / 2 - image.height() / 6);
        };
        EXPECT_EQ(face(p + "3ON"), red);
        EXPECT_EQ(face(p + "3OFF"), darkRed);
        EXPECT_EQ(face(p + "4ON"), green);
        EXPECT_EQ(face(p + "4OFF"), red);
        // Undefined: dark red with grey hatching.
        const QImage udef = Load(qPrintable(p + "4UDEF"));
        const QRect inner(udef.width() / 3, udef.height() / 3, udef.width() / 3, udef.height() / 3);
        int grey = 0, dark = 0;
        for (int y = inner.top(); y <= inner.bottom(); ++y) {
            for (int x = inner.left(); x <= inner.right(); ++x) {
                grey += udef.pixel(x, y) == qRgb(0x80, 0x80, 0x80);
                dark += udef.pixel(x, y) == darkRed;
            }
        }
        EXPECT_GT(grey, 0) << prefix;
        EXPECT_GT(dark, grey) << prefix;
    }
}

TEST(SwitchPictures, RockerPanelAndLeverSwapBetweenTheSets) {
    // The rocker panel shows a pressed (grey) half; the lever switch stands on a plain plate.
    const auto pressedHalf = [](const char* name) {
        const QImage image = Load(name);
        int grey = 0;
        for (int y = 0; y < image.height() / 2; ++y)
            for (int x = 0; x < image.width(); ++x)
                grey += image.pixel(x, y) == qRgb(0x80, 0x80, 0x80);
        return grey > image.width() * image.height() / 8;
    };
    EXPECT_TRUE(pressedHalf("SWITCH1ON"));
    EXPECT_FALSE(pressedHalf("SWITCH2ON"));
    EXPECT_TRUE(pressedHalf("SMSW2ON"));
    EXPECT_FALSE(pressedHalf("SMSW1ON"));
}

// The pictures for scaled screens: the same drawings at twice the size, 16 colours as well,
// which shrunk back (four pixels averaged into one) look like the normal ones.
TEST(SwitchPictures, TwiceSizePicturesLookLikeTheNormalOnes) {
    orvik::InitSwitchPictures();
    for (const char* prefix : {"SWITCH", "SMSW"}) {
        for (const char* tail : {"1ON", "1OFF", "1UDEF", "2ON", "2OFF", "2UDEF", "3ON", "3OFF",
                                 "3UDEF", "4ON", "4OFF", "4UDEF"}) {
            const QString name = QString(prefix) + tail;
            SCOPED_TRACE(name.toStdString());
            const QImage raw(":/" + name + "@2x", "BMP");
            EXPECT_EQ(raw.colorCount(), 16);
            const QImage big = raw.convertToFormat(QImage::Format_RGB32);
            const QImage normal = Load(qPrintable(name));
            ASSERT_EQ(big.size(), normal.size() * 2);
            double sum = 0;
            int near = 0;
            for (int y = 0; y < normal.height(); ++y) {
                for (int x = 0; x < normal.width(); ++x) {
                    double d = 0;
                    for (int shift : {16, 8, 0}) {
                        double four = 0;
                        for (int i = 0; i < 4; ++i)
                            four += big.pixel(2 * x + i % 2, 2 * y + i / 2) >> shift & 0xFF;
                        d += std::abs(four / 4 - (normal.pixel(x, y) >> shift & 0xFF)) / 3;
                    }
                    sum += d;
                    near += d < 32;
                }
            }
            const int pixels = normal.width() * normal.height();
            EXPECT_LT(sum / pixels, 10.0);    // of 255
            EXPECT_GT(near, pixels * 9 / 10); // hatching and round edges differ a little
        }
    }
}
