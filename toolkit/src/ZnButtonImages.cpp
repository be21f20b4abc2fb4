#include "toolkit/ZnButtonImages.h"

void ZnButtonImages::setImages(const QString& normal, const QString& hover, const QString& pressed,
                               const QString& disabled) {
    setImages(normal, hover, pressed);
    m_strImages[kDisabled] = disabled;
    m_bNaturalSize = false;
}

void ZnButtonImages::setImages(const QString& normal, const QString& hover, const QString& pressed) {
    m_nState = kNormal;
    m_strImages[kNormal] = normal;
    m_strImages[kHover] = hover;
    m_strImages[kPressed] = pressed;
    m_bNaturalSize = true;
}

bool ZnButtonImages::moveTo(State state) {
    if (m_nState == kPlain) return false;
    m_nState = state;
    return true;
}

bool ZnButtonImages::enter() { return moveTo(kHover); }
bool ZnButtonImages::leave() { return moveTo(kNormal); }
bool ZnButtonImages::press() { return moveTo(kPressed); }
bool ZnButtonImages::release() { return moveTo(kHover); }

QString ZnButtonImages::currentImage(bool enabled) const {
    if (!enabled && !m_strImages[kDisabled].isEmpty()) return m_strImages[kDisabled];
    return m_strImages[m_nState];
}
