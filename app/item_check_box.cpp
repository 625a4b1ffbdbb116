#include "app/item_check_box.h"

#include <QFontMetrics>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace cardwright {

namespace {

constexpr double kItemPointSize = 9.0;
constexpr double kSmallestPointSize = 7.5;
constexpr double kPointStep = 0.5;
constexpr int kGapBeforeValueBox = 2;

// The trailing blank of "Caption: " paints nothing and needs no room.
QString Painted(const QString& caption) {
    QString text = caption;
    while (!text.isEmpty() && text.back().isSpace()) {
        text.chop(1);
    }
    return text;
}

}  // namespace

QFont ItemControlFont() {
    QFont font(QStringLiteral("WenQuanYi Zen Hei"));
    font.setPointSizeF(kItemPointSize);
    return font;
}

ItemCheckBox::ItemCheckBox(const QString& caption, int room, QWidget* parent)
    : QCheckBox(caption, parent), room_(room) {
    // The largest size that fits; a caption too long even for the smallest one keeps the usual
    // size and is elided.
    QFont font = ItemControlFont();
    const QString painted = Painted(caption);
    while (QFontMetrics(font).horizontalAdvance(painted) > TextRoom() &&
           font.pointSizeF() - kPointStep >= kSmallestPointSize) {
        font.setPointSizeF(font.pointSizeF() - kPointStep);
    }
    const QFont chosen =
        QFontMetrics(font).horizontalAdvance(painted) > TextRoom() ? ItemControlFont() : font;
    if (chosen != this->font()) {
        setFont(chosen);
    }
    if (ShownCaption() != caption) {
        setToolTip(caption);
    }
}

int ItemCheckBox::TextRoom() const {
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    const int spacing = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this);
    return room_ - indicator - spacing - kGapBeforeValueBox;
}

QString ItemCheckBox::ShownCaption() const {
    const QFontMetrics metrics(font());
    if (metrics.horizontalAdvance(Painted(text())) <= TextRoom()) {
        return text();
    }
    return metrics.elidedText(text(), Qt::ElideRight, TextRoom());
}

int ItemCheckBox::CaptionEnd() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = ShownCaption();
    const QRect contents = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    return contents.left() + QFontMetrics(font()).horizontalAdvance(Painted(option.text));
}

void ItemCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = ShownCaption();
    painter.drawControl(QStyle::CE_CheckBox, option);
}

}  // namespace cardwright
