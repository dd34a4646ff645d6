// The notifier's popup, prompts, tray icon and the Qt view of the controller.
#include "notifier/qt/notifier_dialogs.h"

#include "notifier/ipc_protocol.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDialogButtonBox>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <climits>

#include "suite/qt/qt_text.h"

namespace notifier {

namespace {
// 0xBE7F2B as a COLORREF is blue 0xBE, green 0x7F, red 0x2B.
const QColor kBarColour(0x2B, 0x7F, 0xBE);

QString Text(std::string_view bytes) {
    return suite::FromCp1252(bytes);
}

void WhiteBackground(QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::WindowText, Qt::black);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}
}  // namespace

QPixmap ProductImage(int id) {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = id == 160   ? QColor(0x3A, 0x9A, 0x5B)
                          : id == 159 ? kBarColour
                                      : QColor(0x80, 0x80, 0x80);
    painter.setBrush(colour);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(6, 6, 52, 52));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(28, 16, 8, 32));
    painter.drawRect(QRectF(16, 28, 32, 8));
    return pixmap;
}

QIcon TrayIconImage() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(kBarColour);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(8, 18, 4, 8));
    painter.drawRect(QRectF(14, 12, 4, 14));
    painter.drawRect(QRectF(20, 6, 4, 20));
    return QIcon(pixmap);
}

int LeadingPercent(std::string_view text) {
    return LeadingNumber(text);
}

ProgressPopup::ProgressPopup(QWidget* owner) : QDialog(owner) {
    setObjectName("101");
    WhiteBackground(this);
    m_text1 = new QLabel(Text(std::string(kInitialText)), this);
    m_text1->setObjectName("1010");
    m_text2 = new QLabel(this);
    m_text2->setObjectName("1011");
    m_product = new QLabel(this);
    m_product->setObjectName("1028");
    m_image = new QLabel(this);
    m_image->setObjectName("1030");
    m_image->setPixmap(ProductImage(159));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName("1016");
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    QPalette bar = m_bar->palette();
    bar.setColor(QPalette::Highlight, kBarColour);
    bar.setColor(QPalette::Base, Qt::white);
    bar.setColor(QPalette::Window, Qt::white);
    m_bar->setPalette(bar);
    m_percent = new QLabel("0%", m_bar);
    m_percent->setObjectName("1012");
    m_percent->setAlignment(Qt::AlignCenter);
    auto* barLayout = new QHBoxLayout(m_bar);
    barLayout->setContentsMargins(0, 0, 0, 0);
    barLayout->addWidget(m_percent);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* texts = new QVBoxLayout;
    texts->addWidget(m_product);
    texts->addWidget(m_text1);
    texts->addWidget(m_text2);
    texts->addWidget(m_bar);
    auto* top = new QHBoxLayout;
    top->addWidget(m_image);
    top->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setModal(false);
    RefreshPercentColours();
}

void ProgressPopup::SetTexts(const QString& text1, const QString& text2) {
    m_text1->setText(text1);
    m_text2->setText(text2);
    showNormal();
    raise();
}

void ProgressPopup::SetProgressPercent(std::string_view text) {
    m_lastPercent = LeadingPercent(text);
    m_bar->setValue(std::clamp(m_lastPercent, 0, 100));
    m_percent->setText(Text(text) + "%");
    RefreshPercentColours();
}

void ProgressPopup::SetProduct(const QString& text, const QPixmap& image, const QString& title) {
    m_product->setText(text);
    m_image->setPixmap(image);
    setWindowTitle(title);
}

void ProgressPopup::RefreshPercentColours() {
    QPalette p = m_percent->palette();
    p.setColor(QPalette::WindowText, m_lastPercent > 45 ? Qt::white : Qt::black);
    m_percent->setPalette(p);
    m_percent->setAutoFillBackground(false);
}

int PromptDialog::TemplateFor(std::string_view buttons) {
    if (buttons == "MB_OKCANCEL")
        return 135;
    if (buttons == "MB_RETRYCANCEL")
        return 136;
    if (buttons == "MB_YESNO")
        return 137;
    if (buttons == "MB_YESNOCANCEL")
        return 138;
    return 134;
}

PromptDialog::PromptDialog(std::string_view buttons, const QString& caption, const QString& text,
                           int lastPercent, const QPixmap& image, std::function<void(const char*)> answer,
                           QWidget* owner)
    : QDialog(owner), m_answer(std::move(answer)) {
    const int id = TemplateFor(buttons);
    setObjectName(QString::number(id));
    WhiteBackground(this);
    setWindowTitle(lastPercent != 0 ? QString("%1 (%2% complete)").arg(caption).arg(lastPercent) : caption);
    auto* label = new QLabel(text, this);
    label->setObjectName("1017");
    label->setWordWrap(true);
    auto* picture = new QLabel(this);
    picture->setObjectName("1030");
    picture->setPixmap(image);
    struct Button {
        const char* label;
        const char* word;
    };
    std::vector<Button> list;
    switch (id) {
        case 135:
            list = {{"OK", "OK"}, {"Cancel", "CANCEL"}};
            break;
        case 136:
            list = {{"&Retry", "RETRY"}, {"Cancel", "CANCEL"}};
            break;
        case 137:
            list = {{"&Yes", "YES"}, {"&No", "NO"}};
            break;
        case 138:
            list = {{"&Yes", "YES"}, {"&No", "NO"}, {"Cancel", "CANCEL"}};
            break;
        default:
            list = {{"OK", "OK"}};
            break;
    }
    auto* row = new QHBoxLayout;
    row->addStretch();
    bool first = true;
    for (const auto& b : list) {
        auto* button = new QPushButton(b.label, this);
        button->setObjectName(b.word);
        button->setAutoDefault(first);
        button->setDefault(first);
        first = false;
        const char* word = b.word;
        connect(button, &QPushButton::clicked, this, [this, word] { Answer(word); });
        row->addWidget(button);
    }
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(label, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(row);
    setModal(false);
}

void PromptDialog::Answer(const char* word) {
    if (m_done)
        return;
    m_done = true;
    hide();
    if (m_answer)
        m_answer(word);
}

void PromptDialog::Dismiss() {
    m_done = true;
    hide();
}

CSystemTray::CSystemTray(std::function<void()> activated)
    : m_activated(std::move(activated)),
      m_qtOnBus(StatusNotifierHostPresent(QDBusConnection::sessionBus())),
      m_icon(std::make_unique<QSystemTrayIcon>()) {
    const QString tip = "Halvex Carrowline System Tray Notifier";
    m_icon->setIcon(TrayIconImage());
    m_icon->setToolTip(tip);
    // An XEmbed tray reports the double click; a host on the bus reports one activation.
    QObject::connect(m_icon.get(), &QSystemTrayIcon::activated, m_icon.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (m_activated && (reason == QSystemTrayIcon::DoubleClick ||
                                             (m_qtOnBus && reason == QSystemTrayIcon::Trigger)))
                             m_activated();
                     });
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_qtOnBus || !bus.isConnected())
        return;
    m_item = std::make_unique<StatusNotifierItem>(bus, TrayIconImage(), tip, [this] {
        if (m_activated)
            m_activated();
    });
    m_watcher = std::make_unique<QDBusServiceWatcher>(
        kStatusNotifierWatcher, bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(m_watcher.get(), &QDBusServiceWatcher::serviceRegistered, m_watcher.get(),
                     [this] { OnTaskbarCreated(); });
    QObject::connect(m_watcher.get(), &QDBusServiceWatcher::serviceUnregistered, m_watcher.get(), [this] {
        m_onItem = false;
        Place();
    });
    m_onItem = bus.interface() && bus.interface()->isServiceRegistered(kStatusNotifierWatcher);
}

CSystemTray::~CSystemTray() = default;

void CSystemTray::ShowIcon() {
    if (!m_shown)
        AddIcon();
}

void CSystemTray::HideIcon() {
    if (m_shown)
        RemoveIcon();
}

void CSystemTray::AddIcon() {
    if (m_shown && !m_onItem)
        m_icon->hide();
    m_shown = true;
    Place();
}

void CSystemTray::RemoveIcon() {
    m_shown = false;
    Place();
}

void CSystemTray::OnTaskbarCreated() {
    if (!m_item)
        return;
    // A new watcher knows nothing of us: announce the item again.
    m_onItem = true;
    Place();
}

void CSystemTray::Place() {
    if (m_item) {
        if (m_shown && m_onItem)
            m_item->Register();
        else
            m_item->Unregister();
    }
    m_icon->setVisible(m_shown && !m_onItem);
}

QtNotifierView::QtNotifierView()
    : m_tick(new QTimer(&m_main)), m_hide(new QTimer(&m_main)), m_watcher(new QFileSystemWatcher(&m_main)) {
    m_main.setWindowTitle("PelloryTray");
    m_main.setObjectName("PELLORYTRAY");
    m_main.setAttribute(Qt::WA_NativeWindow);
    m_main.winId();  // a native window that is never shown
    m_tick->setSingleShot(true);
    m_hide->setSingleShot(true);
    QObject::connect(m_hide, &QTimer::timeout, &m_main, [this] {
        if (m_popup)
            m_popup->hide();
    });
}

QtNotifierView::~QtNotifierView() {
    delete m_prompt;
}

void QtNotifierView::Attach(NotifierController& controller) {
    m_controller = &controller;
    QObject::connect(m_tick, &QTimer::timeout, &m_main, [this] {
        m_controller->OnTick();
        WatchFile();
    });
    // Lines are read as they come; the ticks still read for file systems without change notices.
    auto changed = [this] {
        if (!m_controller)
            return;
        m_controller->OnFileChanged();
        WatchFile();
    };
    QObject::connect(m_watcher, &QFileSystemWatcher::fileChanged, &m_main, changed);
    QObject::connect(m_watcher, &QFileSystemWatcher::directoryChanged, &m_main, changed);
}

void QtNotifierView::WatchFile() {
    if (!m_controller || m_controller->Closed() || m_controller->ReadPath().empty())
        return;
    const QString file = QString::fromStdString(m_controller->ReadPath().string());
    const QString folder = QString::fromStdString(m_controller->ReadPath().parent_path().string());
    if (!m_watcher->files().contains(file))
        m_watcher->addPath(file);
    if (!m_watcher->directories().contains(folder))
        m_watcher->addPath(folder);
}

void QtNotifierView::CreatePopup() {
    m_popup = std::make_unique<ProgressPopup>();
    m_popup->setWindowTitle("PelloryTray");
}

void QtNotifierView::SetPopupTexts(std::string_view text1, std::string_view text2) {
    if (!m_popup)
        CreatePopup();
    m_hide->stop();
    m_popup->SetTexts(Text(text1), Text(text2));
}

void QtNotifierView::SetProgressPercent(std::string_view text) {
    if (!m_popup)
        CreatePopup();
    m_popup->SetProgressPercent(text);
}

void QtNotifierView::HidePopupAfter(int milliseconds) {
    if (!m_popup)
        return;
    if (milliseconds <= 0) {
        m_hide->stop();
        m_popup->hide();
        return;
    }
    m_hide->start(milliseconds);
}

void QtNotifierView::ShowPromptDialog(std::string_view buttons, std::string_view caption,
                                      std::string_view text) {
    QString body = Text(text);
    body.replace("\\n", "\n");
    delete m_prompt;
    m_prompt = new PromptDialog(buttons, Text(caption), body, m_popup ? m_popup->LastPercent() : 0,
                                ProductImage(159), [this](const char* word) {
                                    // Deleted later: the answer runs inside the dialog's own signal.
                                    if (m_prompt)
                                        m_prompt->deleteLater();
                                    m_prompt = nullptr;
                                    if (m_controller)
                                        m_controller->OnPromptAnswer(word);
                                });
    m_prompt->show();
    m_prompt->raise();
    m_prompt->activateWindow();
}

void QtNotifierView::DismissDialog() {
    if (!m_prompt)
        return;
    m_prompt->Dismiss();
    m_prompt->deleteLater();
    m_prompt = nullptr;
}

void QtNotifierView::ChangeProduct(std::string_view text, std::string_view product, std::string_view title) {
    if (!m_popup)
        CreatePopup();
    m_popup->hide();
    const int id = product == "Vask" ? 160 : product == "Carrowline" ? 159 : 155;
    m_popup->SetProduct(Text(text), ProductImage(id), Text(title));
    m_popup->showNormal();
}

void QtNotifierView::Close() {
    DismissDialog();
    if (m_popup)
        m_popup->hide();
    m_tick->stop();
    m_hide->stop();
    m_tray.RemoveIcon();
    QCoreApplication::exit(0);
}

void QtNotifierView::ScheduleTick(int milliseconds) {
    m_tick->start(milliseconds);
}

bool QtNotifierView::RunCommandLine(const std::vector<std::string>& argv) {
    return notifier::RunCommandLine(argv);
}

}  // namespace notifier
