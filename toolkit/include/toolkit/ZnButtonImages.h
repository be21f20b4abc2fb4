#pragma once
// The image states the toolkit's image buttons share (ZnStyleButton,
// ZnStyleButtonWidget): one image each for normal, hover, pressed and
// disabled, and the state the mouse has put the button in. Until images are
// set the button is in plain mode and paints as its base class; the mouse
// then changes nothing.
#include <QString>

class ZnButtonImages {
public:
    // Four images; an empty `disabled` means no disabled image.
    void setImages(const QString& normal, const QString& hover, const QString& pressed, const QString& disabled);
    // Three images meant to be drawn at their own size; the disabled image
    // keeps its value.
    void setImages(const QString& normal, const QString& hover, const QString& pressed);

    // Whether images were set.
    bool isImageMode() const { return m_nState != kPlain; }
    // Whether the last images set were the three meant for their own size.
    bool isNaturalSize() const { return m_bNaturalSize; }

    // The mouse entered (hover), left (normal), pressed (pressed) or released
    // (hover). Each returns whether the button is in image mode, in which case
    // its owner repaints; in plain mode nothing changes.
    bool enter();
    bool leave();
    bool press();
    bool release();

    // The image of the current state; a disabled button shows the disabled
    // image when it has one.
    QString currentImage(bool enabled) const;

private:
    enum State { kPlain = 0, kNormal = 1, kHover = 2, kPressed = 3, kDisabled = 4 };

    bool moveTo(State state);

    State m_nState = kPlain;
    QString m_strImages[5];
    bool m_bNaturalSize = false;
};
