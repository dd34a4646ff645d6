// The container's style: the platform's own, except that the overflow buttons of the menu bar and the
// toolbars get their icon only when it is first drawn. Reading that icon's file makes Qt load every
// image-format plugin, which costs the start more than anything the window shows.
#pragma once

#include <QIcon>
#include <QProxyStyle>
#include <functional>

namespace container {

class CDeferredIconStyle final : public QProxyStyle {
  public:
    // Wraps a new instance of the style named `key` (the application's current one, as a rule).
    explicit CDeferredIconStyle(const QString& key);

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};

// Makes the application's style a CDeferredIconStyle over the style it has; call once, before any
// window is made.
void InstallDeferredIconStyle();

// An icon that calls `make` at its first use that needs pixmaps or sizes, and is that icon from then on.
QIcon DeferredIcon(std::function<QIcon()> make);

}  // namespace container
