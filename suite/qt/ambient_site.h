// The container's ambient properties as an in-process control asks them: a control finds this on the nearest
// ancestor of its widget that implements it, beside the frame site of in-place menus. A control without such
// an ancestor is in run mode.
#pragma once

#include <QWidget>
#include <QtPlugin>

namespace suite {

class AmbientSite {
  public:
    virtual ~AmbientSite() = default;
    // False while the container designs its form rather than runs it.
    virtual bool UserMode() const = 0;
};

}  // namespace suite

#define CarrowlineAmbientSite_iid "com.carrowline.AmbientSite/1.0"
Q_DECLARE_INTERFACE(suite::AmbientSite, CarrowlineAmbientSite_iid)

namespace suite {

// The site of `widget`'s nearest ancestor that has one; null when none does.
inline const AmbientSite* FindAmbientSite(const QWidget* widget) {
    for (QWidget* at = widget ? widget->parentWidget() : nullptr; at; at = at->parentWidget()) {
        if (const auto* site = qobject_cast<AmbientSite*>(at))
            return site;
    }
    return nullptr;
}

}  // namespace suite
