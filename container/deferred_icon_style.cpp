// Icons made on first use, and the style that hands them out for the overflow buttons.
#include "container/deferred_icon_style.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <QWidget>
#include <optional>

namespace container {
namespace {

class DeferredIconEngine final : public QIconEngine {
  public:
    explicit DeferredIconEngine(std::function<QIcon()> make) : m_make(std::move(make)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        return Icon().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return Icon().availableSizes(mode, state);
    }
    QString iconName() override { return Icon().name(); }
    bool isNull() override { return Icon().isNull(); }
    QString key() const override { return QStringLiteral("CarrowlineDeferred"); }
    QIconEngine* clone() const override { return new DeferredIconEngine(*this); }

  private:
    QIcon& Icon() {
        if (!m_icon) {
            m_icon = m_make();
        }
        return *m_icon;
    }

    std::function<QIcon()> m_make;
    std::optional<QIcon> m_icon;
};

}  // namespace

QIcon DeferredIcon(std::function<QIcon()> make) {
    return QIcon(new DeferredIconEngine(std::move(make)));
}

CDeferredIconStyle::CDeferredIconStyle(const QString& key) : QProxyStyle(key) {}

QIcon CDeferredIconStyle::standardIcon(StandardPixmap which, const QStyleOption* option,
                                       const QWidget* widget) const {
    if (which != SP_ToolBarHorizontalExtensionButton && which != SP_ToolBarVerticalExtensionButton) {
        return QProxyStyle::standardIcon(which, option, widget);
    }
    // The caller's option does not outlive the call: its general part is kept (the direction is what
    // picks the arrow), as a plain option, since a style may cast an option by its kind.
    std::optional<QStyleOption> kept;
    if (option != nullptr) {
        kept.emplace();
        kept->direction = option->direction;
        kept->state = option->state;
        kept->rect = option->rect;
        kept->palette = option->palette;
        kept->fontMetrics = option->fontMetrics;
    }
    // Asked again with what was given, once the button is drawn; a widget gone by then is not asked about.
    QPointer<const QWidget> asker(widget);
    QPointer<QStyle> base(baseStyle());
    return DeferredIcon([base, which, kept, asker]() {
        return base ? base->standardIcon(which, kept ? &*kept : nullptr, asker.data()) : QIcon();
    });
}

void InstallDeferredIconStyle() {
    QApplication::setStyle(new CDeferredIconStyle(QApplication::style()->name()));
}

}  // namespace container
