#pragma once

#include <QIcon>
#include <QImage>

// Whether an icon's disabled image is plainly faded: at most half as opaque as its normal one.
inline bool looksPlainlyDisabled(const QIcon& icon, int extent = 16)
{
    const QImage off = icon.pixmap(extent, QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage on = icon.pixmap(extent, QIcon::Normal).toImage().convertToFormat(QImage::Format_ARGB32);
    if (on.isNull() || off.size() != on.size()) return false;
    long alphaOff = 0, alphaOn = 0;
    for (int y = 0; y < on.height(); ++y)
        for (int x = 0; x < on.width(); ++x) {
            alphaOff += qAlpha(off.pixel(x, y));
            alphaOn += qAlpha(on.pixel(x, y));
        }
    return alphaOn > 0 && alphaOff * 2 <= alphaOn;
}
