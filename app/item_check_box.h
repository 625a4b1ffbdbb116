#pragma once

#include <QCheckBox>
#include <QFont>

namespace cardwright {

// The font of the generated item controls: a face every supported system has (it also carries
// the Chinese captions), small enough for the usual captions to fit in front of the value box.
QFont ItemControlFont();

// The LABEL_ check box of a generated item. Its value box lies on top of its far end, `room`
// pixels from its left edge; the caption is painted only in front of it: in a smaller font when
// that makes it fit, else elided at the usual size (with the whole caption as tool tip).
// text() stays the whole caption.
class ItemCheckBox : public QCheckBox {
    Q_OBJECT

  public:
    ItemCheckBox(const QString& caption, int room, QWidget* parent);

    // The caption as it is painted.
    QString ShownCaption() const;
    // Pixels from the left edge to the end of the painted caption.
    int CaptionEnd() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int TextRoom() const;

    int room_;
};

}  // namespace cardwright
